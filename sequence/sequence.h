// A test sequence: a named list of steps read from a JSON file,
//   {"name": "...", "steps": [{"set": {"voltage": 230}}, {"output": "on"}, {"wait": 2},
//    {"drop": {"angle": 90, "time": 0.01, "phase": 0}, "repeat": 3, "interval": 10},
//    {"ramp": {"voltage": [230, 161], "seconds": 2, "steps": 10}},
//    {"measure": ["voltage", "current"], "phase": 1, "expect": {"voltage": [225, 235]}}]}
// A top-level "record": "required" (or "optional", the default) says whether a run needs an
// operator and an equipment under test named for its record; "description" is free text.
// Any step may carry "repeat" (runs, 1 or more) and "interval" (seconds of pause between one run
// and the next). Steps are numbered from 1 in file order.
#pragma once

#include "quantities.h"
#include "zev_qx70.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::sequence {

enum class StepKind { Set, Output, Wait, Drop, Measure, Ramp };
const char *stepKindName(StepKind kind);

inline const char *quantityName(Quantity quantity) { return settable(quantity).name; }

struct Setting {
    Quantity quantity;
    double value; // volts, hertz, amperes; for the range the selector 1.0 (low) or 2.0 (high)
};

struct Expectation {
    std::string kind; // a measurement kind's name
    double low;
    double high;
};

// A voltage ramp, software-timed: `from` at once, then `steps` even steps to `to`.
struct Ramp {
    double from = 0.0; // volts
    double to = 0.0;
    int steps = 1;
    // The voltage of step `index` (0: from), worked out from the index alone so that no rounding
    // builds up, and `to` exactly at the last.
    double value(int index) const
    {
        return index >= steps ? to : from + (to - from) * static_cast<double>(index) / static_cast<double>(steps);
    }
};

inline constexpr int kMostRampSteps = 1000;
inline constexpr double kRampStepSeconds = 0.2; // the default pace: a setting takes ~0.15 s over a serial line

struct Step {
    int number = 0; // 1-based, as the file counts
    StepKind kind = StepKind::Wait;
    std::vector<Setting> settings;  // set: in file order
    bool outputOn = false;          // output
    double seconds = 0.0;           // wait; ramp: its duration
    Ramp ramp;                      // ramp
    std::optional<double> angle;    // drop: start angle (none: at once)
    std::optional<double> dropTime; // drop: seconds (none: the drop the instrument was set for)
    std::vector<std::string> kinds; // measure: measurement kinds' names
    std::vector<Expectation> expect;
    std::optional<int> phase; // drop and measure; none: all phases
    int repeat = 1;
    double interval = 0.0;
};

struct Sequence {
    std::string name;
    std::vector<Step> steps;
    std::string description;
    bool recordRequired = false; // "record": "required"
};

struct ParsedSequence {
    std::optional<Sequence> sequence;
    std::string error; // "step 3: ..." when the file is refused
};

// Reads and checks a sequence text on its own (keys, types, values, angles, phases 0 to 3).
ParsedSequence parseSequence(std::string_view text);
ParsedSequence loadSequence(const std::string &path);

// The shipped sequences' folder: share/qxseries/sequences beside the running program's bin folder.
std::string shippedSequenceFolder();

// A step in words, as a list of steps shows it: "drop at 90°, 0.01 s, all phases; 3 runs 10 s apart".
std::string describeStep(const Step &step);

// What the connected instrument allows.
struct InstrumentLimits {
    ViInt32 model = 0; // ZEV_QX70_VAL_MODEL_*, 0 when unknown
    double voltage = 0.0;
    double current = 0.0;
    double frequencyLow = 0.0;
    double frequencyHigh = 0.0;
};

// The shortest text that reads back as the same number: 300, 6.67.
std::string numberText(double value);

// What is wrong with setting `quantity` to `value` on an instrument of `limits` whose present
// range reaches `rangeVolts` (0: not known), or "" when nothing is: "400 V is above this
// instrument's 300 V limit", "-5 V: a voltage cannot be negative". Unknown limits (0) are not
// checked.
std::string limitProblem(Quantity quantity, double value, const InstrumentLimits &limits, double rangeVolts);

// The limits a model ("7101QX", "7103QX") reports as shipped; none for another name.
std::optional<InstrumentLimits> shippedLimits(std::string_view model);

// The first step the instrument cannot do ("step 2: 350 V is above this instrument's 300 V
// limit"), or "" when it can do them all. Unknown limits (0) are not checked.
std::string checkAgainst(const Sequence &sequence, const InstrumentLimits &limits);

// About how long a run of the whole sequence takes, in seconds: its waits and ramps, the pauses
// between runs, and the instrument's pacing of each step run.
double estimatedSeconds(const Sequence &sequence);

// A duration as people read it: "45 s", "2 min 15 s", "1 h 5 min".
std::string durationText(double seconds);

} // namespace qx::sequence
