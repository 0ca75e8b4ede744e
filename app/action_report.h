// What the operator learns of each action besides the popups: the steady panel's "Last action"
// line, and every failure, time-stamped, in the error history the operator can open.
#pragma once

#include "zev_qx70.h"

#include <string>
#include <vector>

namespace qx::app {

// What a failed call met: the instrument's own error (its number and text, as the driver's status
// check read it; empty when the failure was not the instrument's), and a description for the
// status line and the history. Reads and clears the session's error information.
struct FailureDetail {
    std::string instrumentError; // -222,"Data out of range"
    std::string description;
};
FailureDetail failureDetail(ViSession vi, ViStatus status);

// Before an action: error information left by earlier calls must not pass for the action's own.
void forgetFailures();
// Shows the outcome of `action` in the "Last action" line (`done` on success); a failure also
// goes to the history. Returns the failure's detail (empty on success).
FailureDetail reportAction(const char *action, ViStatus status, const char *done = "done");
// The local time of day, "18:45:02".
std::string timeOfDay();
// A failure found outside a session (a connection that could not be set up).
void recordFailure(const std::string &what);

// The history, oldest first; the latest kKeptFailures entries. Safe from any thread.
std::vector<std::string> errorHistory();
inline constexpr std::size_t kKeptFailures = 100;

} // namespace qx::app
