// Misbehaviour on demand, for reliability tests of the controller. The answer faults (silent,
// garbage, oversize, slow) act on every answer once `armAfter` messages have been received since
// the faults were set; the line closes once, after `closeAfter` messages; the error fault queues an
// instrument error each time the named command runs.
#pragma once

#include "command_table.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qx::sim {

struct ErrorAfterFault {
    std::string header; // a header as sent, e.g. "VOLT", "OUTP:DROP", "*IDN?"
    int code = -222;
    std::string text; // empty: the standard text of `code`
};

struct Faults {
    bool silent = false;          // no answer at all: the controller's read times out
    bool garbage = false;         // each answer replaced by bytes that are no number
    std::size_t oversize = 0;     // > 0: each answer padded to this many bytes
    double slowSeconds = 0.0;     // each answer delayed by this long
    std::size_t armAfter = 0;     // answer faults start after this many messages
    std::optional<std::size_t> closeAfter{}; // the line closes once this many messages were received
    std::optional<ErrorAfterFault> errorAfter{};
};

// "" when usable, otherwise the problem in words (an unknown header, a bad number).
std::string validateFaults(const Faults &faults);

// The bytes sent for an answer (terminator included) under the answer faults.
std::string applyAnswerFaults(const Faults &faults, std::string answer);

inline constexpr std::string_view kGarbageAnswer = "\x7F#@!?\xFF\xFE garbage \x01\x02";

} // namespace qx::sim
