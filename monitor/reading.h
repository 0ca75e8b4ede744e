// One reading of a session's measurements through the driver's public functions.
#pragma once

#include "snapshot.h"

#include <string>
#include <vector>

namespace qx::monitor {

// Measures every channel once, in order, by phase; stops at the first error. A kind that names no
// measurement gives ZEV_QX70_ERROR_INVALID_VALUE before anything is sent.
ViStatus measureChannels(ViSession vi, const std::vector<Channel> &channels, std::vector<double> &values);

// "<the driver's message>[: <what the error information adds>] (status 0x...)". Reads, and so
// clears, the session's error information, so that a failed reading leaves none behind for the
// next caller of the session to find.
std::string readingFailure(ViSession vi, ViStatus status);

} // namespace qx::monitor
