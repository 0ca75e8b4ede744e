// qxctl log: the chosen kinds measured every interval, each row printed at once (CSV, or a JSON
// object per row) and kept in the CSV file and SQLite database asked for, until the duration is
// over or Ctrl-C comes.
#pragma once

#include "command_line.h"
#include "zev_qx70.h"

#include <atomic>
#include <string>

namespace qx::ctl {

// Why the log cannot start, found before anything is opened ("" when it can): a CSV file that
// exists and is not to be overwritten.
std::string logFileProblem(const Command &command);

// The exit status: 0 when it logged until the end asked for, 1 after an error (told on stderr).
// A row that takes longer than the interval is told on stderr, the first time and in a tally.
int runLogCommand(ViSession vi, const Command &command, bool json, const std::atomic<bool> &abort);

} // namespace qx::ctl
