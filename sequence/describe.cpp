#include "sequence.h"

#include <cstdio>

namespace qx::sequence {
namespace {

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string phaseText(const std::optional<int> &phase)
{
    return phase.value_or(0) == 0 ? "all phases" : "phase " + std::to_string(*phase);
}

std::string action(const Step &step)
{
    std::string text;
    switch (step.kind) {
    case StepKind::Set:
        for (const Setting &s : step.settings)
            text += std::string(text.empty() ? "set " : ", ") + quantityName(s.quantity) + " " +
                    (s.quantity == Quantity::Range ? (s.value == ZEV_QX70_VAL_RANGE_LOW ? "low" : "high")
                                                   : number(s.value));
        return text;
    case StepKind::Output: return step.outputOn ? "output on" : "output off";
    case StepKind::Wait: return "wait " + number(step.seconds) + " s";
    case StepKind::Drop:
        return "drop" + (step.angle ? " at " + number(*step.angle) + "\u00b0" : std::string()) +
               (step.dropTime ? ", " + number(*step.dropTime) + " s" : std::string()) + ", " + phaseText(step.phase);
    case StepKind::Measure:
        for (const std::string &kind : step.kinds)
            text += (text.empty() ? "measure " : ", ") + kind;
        text += " (" + phaseText(step.phase) + ")";
        for (const Expectation &e : step.expect)
            text += "; " + e.kind + " " + number(e.low) + " to " + number(e.high);
        return text;
    }
    return text;
}

} // namespace

std::string describeStep(const Step &step)
{
    std::string text = action(step);
    if (step.repeat > 1)
        text += "; " + std::to_string(step.repeat) + " runs " + number(step.interval) + " s apart";
    return text;
}

} // namespace qx::sequence
