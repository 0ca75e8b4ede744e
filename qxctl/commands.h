// What each qxctl command asks of the driver, and what it gives back.
#pragma once

#include "command_line.h"
#include "sequence.h"
#include "zev_qx70.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace qx::ctl {

// The values a command gives, named and in the order they print.
using Values = nlohmann::ordered_json;

struct Outcome {
    ViStatus status = VI_SUCCESS;       // the first error, or the last warning, of the driver
    std::string problem;                // the failure in words, where the driver's text would mislead
    std::vector<std::string> warnings;  // what the instrument did beyond what was asked
    Values values = Values::object();   // what the command gives
    Values context = Values::object();  // what it was asked (shown in JSON only), e.g. the phase
};

// Runs the command on an open session.
Outcome runCommand(ViSession vi, const Command &command);

// The limits the driver learnt when the session opened.
ViStatus readLimits(ViSession vi, sequence::InstrumentLimits &limits);

// Empties the instrument's error queue into `errors`, each entry as CODE,"MESSAGE".
ViStatus readErrorQueue(ViSession vi, std::vector<std::string> &errors);

} // namespace qx::ctl
