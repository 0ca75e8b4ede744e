// The option string of Ivi_SpecificDriverNew: comma-separated Name=Value assignments.
#pragma once

#include "ivi/ivi.h"

#include <string>
#include <string_view>

namespace qx::ivi {

struct DriverOptions {
    bool rangeCheck = true;
    bool queryInstrStatus = true; // so that a front panel's "" checks the instrument after each operation
    bool cache = true;
    bool simulate = false;
    bool recordCoercions = false;
    bool interchangeCheck = false;
    std::string driverSetup;
};

// Names and values are case-insensitive, white space around them is ignored, and DriverSetup takes
// the rest of the string, commas included. On failure returns IVI_ERROR_MISSING_OPTION_NAME,
// _MISSING_OPTION_VALUE, _BAD_OPTION_NAME or _BAD_OPTION_VALUE with `elaboration` naming the bad text.
ViStatus parseOptionString(std::string_view text, DriverOptions &options, std::string &elaboration);

} // namespace qx::ivi
