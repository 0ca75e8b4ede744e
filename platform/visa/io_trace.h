// The I/O trace for users debugging an instrument link. With QX_IO_TRACE=FILE (appended to) or
// QX_IO_TRACE=stderr, every write and read of every session is logged, one line each:
//   2025-01-31 14:02:03.123456 ASRL1::INSTR write "VOLT 120.000000\n"
//   2025-01-31 14:02:03.140211 GPIB0::5::INSTR read "120.0" END
//   2025-01-31 14:02:05.141002 GPIB0::5::INSTR read "" status 0xBFFF0015
// Programs built on this layer (the LAN gateway) add lines of their own with traceNote.
// The variable is read once, at the first I/O.
#pragma once

#include <string_view>

#include "visa/visadef.h"

namespace qx::visa {

enum class TraceDirection { Write, Read };

// `end`: the transfer carried END (a write with EOI, a read that stopped at END);
// `ending` is an extra word for reads ("TERMCHAR").
void traceIo(std::string_view resource, TraceDirection direction, std::string_view bytes, std::string_view ending,
             ViStatus status);

// One line of a program's own, time-stamped like the rest: "<time> <source> <text>".
void traceNote(std::string_view source, std::string_view text);

} // namespace qx::visa
