// Parses and carries out one SCPI program message (IEEE 488.2 / SCPI syntax) against the command
// table.
//
// - Program message units are separated by ';'. Headers are matched keyword by keyword in their
//   short or long form, any letter case; a keyword may carry the numeric suffix 1.
// - Header path rule of IEEE 488.2: a header with a leading ':' starts at the root; any other
//   compound header is taken relative to the path of the previous compound header in the same
//   message (its keywords less the last). So "OUTP:STAR:STAT 1;PHAS 90" sets the start phase, and
//   "INST:NSEL 2;:MEAS:VOLT?" needs the colon to leave the INST subsystem. Common commands (*CLS)
//   neither use nor change the path. Each message starts at the root.
// - A command error (-1xx) discards the rest of the message; execution errors (-2xx) do not.
// - The answers of the queries of one message are joined with ';'.
#pragma once

#include "command_table.h"

#include <string>
#include <string_view>
#include <vector>

namespace qx::sim {

struct MessageResult {
    std::string response;                     // joined answers, no terminator; empty without queries
    std::vector<const CommandRecord *> executed; // commands that ran without error, in order
};

// `message` is one program message without its terminator.
MessageResult executeMessage(std::string_view message, Instrument &instrument, double now);

// The table record a header names ("VOLT", "volt?", ":SYST:ERR?", "*RST"), or nullptr.
const CommandRecord *findCommand(std::string_view header);

} // namespace qx::sim
