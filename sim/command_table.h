// The instrument's command set as data: one record per header and form (setting or query), with
// the parameter it takes and the function that carries it out. Headers are written in SCPI
// notation: upper case is the short form, the whole word the long form, [ ] marks an optional
// keyword, so "[SOURce:]VOLTage:RANGe" matches VOLT:RANG, SOUR:VOLT:RANGE, volt:range and so on.
#pragma once

#include "instrument.h"

#include <span>
#include <string>
#include <string_view>

namespace qx::sim {

enum class ParamKind {
    None,           // no parameter
    Number,         // NRf with optional unit suffix, MIN/MAX where the record gives bounds
    OptionalNumber, // as Number, or nothing
    Integer,        // NRf rounded to a whole number, no suffix
    Boolean,        // ON | OFF | number (0 is off)
    Coupling,       // ALL | NONE | ON | OFF | number
    String,         // '...' or "..." string data
    QueryBound,     // a query that may ask MIN or MAX instead of the setting
};

enum class Unit { None, Volt, Ampere, Hertz, Second, Degree };

struct Argument {
    bool present = false;
    double number = 0.0; // Number/Integer/Boolean/Coupling (1 on, 0 off)
    std::string text;    // String
};

struct Reply {
    int error = 0;    // 0 or a negative SCPI error number
    std::string text; // the answer of a query, without terminator
};

// What a command sees: the instrument and the clock reading when the message arrived.
struct Context {
    Instrument &instrument;
    double now;
};

using Handler = Reply (*)(Context &, const Argument &);
using BoundsOf = Bounds (*)(const Instrument &);

struct CommandRecord {
    std::string_view header; // "*IDN" for common commands
    bool query;
    ParamKind param;
    Unit unit;
    BoundsOf bounds; // MIN/MAX values; nullptr where MIN/MAX are not accepted
    Handler handler;
};

std::span<const CommandRecord> commandTable();

// Answer formats: settings in the shortest text that reads back exactly, measurements to six
// significant digits, as a meter shows them.
std::string formatSetting(double value);
std::string formatMeasurement(double value);

} // namespace qx::sim
