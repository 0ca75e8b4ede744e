// Whether the connected instrument can do a sequence: its limits, its model's phases, and the
// voltage range the sequence itself chose before each setting.
#include "sequence.h"

#include <cstdio>
#include <string>

namespace qx::sequence {
namespace {

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string stepText(const Step &step) { return "step " + std::to_string(step.number) + ": "; }

// `range` is the range the sequence selected so far (0 while it selected none).
std::string checkSetting(const Setting &s, const InstrumentLimits &limits, double range)
{
    switch (s.quantity) {
    case Quantity::Voltage: {
        const double limit = range == ZEV_QX70_VAL_RANGE_LOW ? limits.voltage / 2.0 : limits.voltage;
        if (limits.voltage > 0.0 && s.value > limit)
            return "voltage " + number(s.value) + " V is above the " + number(limit) + " V limit" +
                   (range == ZEV_QX70_VAL_RANGE_LOW ? " of the low range" : "");
        return {};
    }
    case Quantity::Current: {
        const double limit = range == ZEV_QX70_VAL_RANGE_HIGH ? limits.current / 2.0 : limits.current;
        if (limits.current > 0.0 && s.value > limit)
            return "current " + number(s.value) + " A is above the " + number(limit) + " A limit" +
                   (range == ZEV_QX70_VAL_RANGE_HIGH ? " of the high range" : "");
        return {};
    }
    case Quantity::Frequency:
        if (limits.frequencyHigh > 0.0 && (s.value < limits.frequencyLow || s.value > limits.frequencyHigh))
            return "frequency " + number(s.value) + " Hz is outside " + number(limits.frequencyLow) + " to " +
                   number(limits.frequencyHigh) + " Hz";
        return {};
    case Quantity::Range:
        return {};
    }
    return {};
}

} // namespace

std::string checkAgainst(const Sequence &sequence, const InstrumentLimits &limits)
{
    const int lastPhase = limits.model == ZEV_QX70_VAL_MODEL_7101QX ? 1 : ZEV_QX70_VAL_PHASE_MAX;
    double range = 0.0;
    for (const Step &step : sequence.steps) {
        if (step.phase.value_or(0) > lastPhase)
            return stepText(step) + "phase " + std::to_string(*step.phase) + ": the 7101QX has phase 1 only";
        for (const Setting &setting : step.settings) {
            if (const std::string problem = checkSetting(setting, limits, range); !problem.empty())
                return stepText(step) + problem;
            if (setting.quantity == Quantity::Range)
                range = setting.value;
        }
    }
    return {};
}

} // namespace qx::sequence
