#include "sequence.h"

#include <cmath>
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
                    (s.quantity == Quantity::Range ? rangeName(s.value) : number(s.value));
        return text;
    case StepKind::Output: return step.outputOn ? "output on" : "output off";
    case StepKind::Wait: return "wait " + number(step.seconds) + " s";
    case StepKind::Drop:
        return "drop" + (step.angle ? " at " + number(*step.angle) + "\u00b0" : std::string()) +
               (step.dropTime ? ", " + number(*step.dropTime) + " s" : std::string()) + ", " + phaseText(step.phase);
    case StepKind::Ramp:
        return "ramp voltage " + number(step.ramp.from) + " V to " + number(step.ramp.to) + " V over " +
               number(step.seconds) + " s in " + std::to_string(step.ramp.steps) + " steps";
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

// The instrument's own pacing of one driver call, seconds: the driver's settling waits and status
// checks, and a drop's phase selection and clearing afterwards, as over a serial line.
struct Pacing {
    StepKind kind;
    double perCall;
};

constexpr Pacing kPacing[] = {
    {StepKind::Set, 0.15}, {StepKind::Output, 0.15}, {StepKind::Wait, 0.0},
    {StepKind::Drop, 0.4}, {StepKind::Measure, 0.15}, {StepKind::Ramp, 0.15}, // a ramp's last setting
};

double pacing(const Step &step)
{
    const std::size_t calls = step.kind == StepKind::Set       ? step.settings.size()
                              : step.kind == StepKind::Measure ? step.kinds.size()
                                                               : 1;
    for (const Pacing &p : kPacing)
        if (p.kind == step.kind)
            return p.perCall * static_cast<double>(calls);
    return 0.0;
}

} // namespace

double estimatedSeconds(const Sequence &sequence)
{
    double seconds = 0.0;
    for (const Step &step : sequence.steps) {
        // A timed drop runs on in the instrument while the sequence goes on: nothing waits for it.
        const double run = step.seconds + pacing(step);
        seconds += step.repeat * run + (step.repeat - 1) * step.interval;
    }
    return seconds;
}

std::string durationText(double seconds)
{
    const long total = std::lround(std::ceil(seconds));
    const long hours = total / 3600;
    const long minutes = total / 60 % 60;
    if (hours > 0)
        return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
    if (minutes > 0)
        return std::to_string(minutes) + " min " + std::to_string(total % 60) + " s";
    return std::to_string(total) + " s";
}

std::string describeStep(const Step &step)
{
    std::string text = action(step);
    if (step.repeat > 1)
        text += "; " + std::to_string(step.repeat) + " runs " + number(step.interval) + " s apart";
    return text;
}

} // namespace qx::sequence
