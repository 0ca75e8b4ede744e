// What each qxctl command asks of the driver, and what it gives back.
#pragma once

#include "command_line.h"
#include "zev_qx70.h"

#include <nlohmann/json.hpp>

#include <array>
#include <string>

namespace qx::ctl {

struct Measurement {
    const char *name; // as the command line names it
    ViInt32 type;     // ZEV_QX70_VAL_MEASURE_*
};

inline constexpr std::array<Measurement, 8> kMeasurements{{
    {"voltage", ZEV_QX70_VAL_MEASURE_VOLTAGE},
    {"current", ZEV_QX70_VAL_MEASURE_CURRENT},
    {"frequency", ZEV_QX70_VAL_MEASURE_FREQUENCY},
    {"peak-current", ZEV_QX70_VAL_MEASURE_PEAK_CURRENT},
    {"crest-factor", ZEV_QX70_VAL_MEASURE_CREST_FACTOR},
    {"apparent-power", ZEV_QX70_VAL_MEASURE_APPARENT_POWER},
    {"power-factor", ZEV_QX70_VAL_MEASURE_POWER_FACTOR},
    {"power", ZEV_QX70_VAL_MEASURE_REAL_POWER},
}};

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
