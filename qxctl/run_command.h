// qxctl run: a test sequence from a file (or a shipped one, by name), checked whole against the
// instrument before anything is sent, run with its progress on stderr, its report written row by
// row, and the source left safe when it ends early (Ctrl-C, an error).
#pragma once

#include "command_line.h"
#include "sequence.h"
#include "zev_qx70.h"

#include <atomic>
#include <optional>
#include <string>

namespace qx::ctl {

// The shipped sequences' names, comma separated (for the help).
std::string presetList();

// A path as given, or a shipped sequence's path; "" when neither exists.
std::string findSequence(const std::string &fileOrName);

// The command's sequence read and checked on its own, before the instrument is opened; none (and
// the refusal told) when the file is missing or wrong.
std::optional<sequence::Sequence> readSequenceCommand(const Command &command, bool json);

// What a run needs beyond its command: the resource the instrument was opened by, and what stops
// it (`abort`, set by the signal in `signal`).
struct RunContext {
    std::string resource;
    const std::atomic<bool> &abort;
    const std::atomic<int> &signal; // 0 while none came
};

// Checks the sequence against the open session's instrument, then runs it and files its test
// record; the exit status (0: every step passed and the record was kept). The abort stops it
// between runs and during waits.
int runSequenceCommand(ViSession vi, const Command &command, const sequence::Sequence &sequence, bool json,
                       const RunContext &context);

// run --check: the sequence checked against the shipped limits of the command's model, with no
// instrument; its steps and estimated duration printed. The exit status: 0 when the model can do
// it, 1 (the problem on stderr) when the file or the model refuses it.
int checkSequenceCommand(const Command &command, const sequence::Sequence &sequence, bool json);

// presets: each shipped sequence's name, estimated duration and title. The exit status.
int listPresets(bool json);

inline constexpr int kRefusedSequence = 2; // the file or the instrument's limits refused it: nothing sent

} // namespace qx::ctl
