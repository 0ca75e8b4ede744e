// The engine's own attributes, present in every session.
#pragma once

#include "option_string.h"
#include "session.h"

#include <string_view>

namespace qx::ivi {

struct SessionSetup {
    const DriverOptions &options;
    std::string_view prefix;
    ViSession resourceManager;
};

ViStatus addInherentAttributes(Session &session, const SessionSetup &setup);

} // namespace qx::ivi
