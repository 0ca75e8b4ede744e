// What each qxctl command asks of the driver, and what it gives back.
#pragma once

#include "command_line.h"
#include "zev_qx70.h"

#include <nlohmann/json.hpp>

#include <string>

namespace qx::ctl {

// The values a command gives, named and in the order they print.
using Values = nlohmann::ordered_json;

struct Outcome {
    ViStatus status = VI_SUCCESS;       // the first error, or the last warning, of the driver
    Values values = Values::object();   // what the command gives
    Values context = Values::object();  // what it was asked (shown in JSON only), e.g. the phase
};

// Runs the command on an open session.
Outcome runCommand(ViSession vi, const Command &command);

} // namespace qx::ctl
