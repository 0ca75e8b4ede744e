// The driver's words for a failed call, as qxctl and sequence reports print them.
#pragma once

#include "zev_qx70.h"

#include <string>

namespace qx::sequence {

// "<the driver's message for status>[: <what the error information adds>] (status 0x...)".
// Reads (and so clears) the error information of `vi`, which may be VI_NULL (a failed open).
std::string failureText(ViSession vi, ViStatus status);

} // namespace qx::sequence
