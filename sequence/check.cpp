// Whether an instrument can do a setting or a whole sequence: its limits, its model's phases, and
// the voltage range in force (for a sequence: the one it chose itself before each setting).
#include "sequence.h"

#include <charconv>
#include <cmath>
#include <string>

namespace qx::sequence {
namespace {

std::string stepText(const Step &step) { return "step " + std::to_string(step.number) + ": "; }

std::string beyond(const std::string &amount, const char *side, double limit, const char *unit, const char *bound)
{
    return amount + " is " + side + " this instrument's " + numberText(limit) + " " + unit + " " + bound;
}

// A selected range as its highest voltage; 0 while the sequence selected none.
double rangeVolts(double selector, const InstrumentLimits &limits)
{
    if (selector == ZEV_QX70_VAL_RANGE_LOW)
        return limits.voltage / 2.0;
    return selector == ZEV_QX70_VAL_RANGE_HIGH ? limits.voltage : 0.0;
}

struct ShippedModel {
    const char *name;
    InstrumentLimits limits;
};

// What each model reports as shipped (LIM:VOLT?, LIM:CURR?, LIM:FREQ:LOW?, LIM:FREQ:HIGH?).
constexpr ShippedModel kShippedModels[] = {
    {"7101QX", {ZEV_QX70_VAL_MODEL_7101QX, 300.0, 9.2, 16.0, 500.0}},
    {"7103QX", {ZEV_QX70_VAL_MODEL_7103QX, 300.0, 9.2, 16.0, 500.0}},
};

} // namespace

std::string numberText(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string limitProblem(Quantity quantity, double value, const InstrumentLimits &limits, double range)
{
    const SettableQuantity &q = settable(quantity);
    const std::string amount = numberText(value) + " " + q.unit;
    if (!std::isfinite(value))
        return std::string("a ") + q.name + " must be a finite number";
    if (value < 0.0 && quantity != Quantity::Frequency)
        return amount + ": a " + q.name + " cannot be negative";
    // The present range bounds the voltage; the high range halves the current.
    switch (quantity) {
    case Quantity::Voltage: {
        const double limit = range > 0.0 ? range : limits.voltage;
        const bool lowRange = range > 0.0 && range <= limits.voltage / 2.0;
        if (limits.voltage > 0.0 && value > limit)
            return beyond(amount, "above", limit, q.unit, lowRange ? "limit on the low range" : "limit");
        return {};
    }
    case Quantity::Current: {
        const bool halved = range > limits.voltage / 2.0;
        const double limit = halved ? limits.current / 2.0 : limits.current;
        if (limits.current > 0.0 && value > limit)
            return beyond(amount, "above", limit, q.unit, halved ? "limit on the high range" : "limit");
        return {};
    }
    case Quantity::Frequency:
        if (limits.frequencyHigh <= 0.0)
            return {};
        if (value < limits.frequencyLow)
            return beyond(amount, "below", limits.frequencyLow, q.unit, "minimum");
        if (value > limits.frequencyHigh)
            return beyond(amount, "above", limits.frequencyHigh, q.unit, "maximum");
        return {};
    case Quantity::Range:
        return {};
    }
    return {};
}

std::optional<InstrumentLimits> shippedLimits(std::string_view model)
{
    for (const ShippedModel &m : kShippedModels)
        if (model == m.name)
            return m.limits;
    return std::nullopt;
}

std::string checkAgainst(const Sequence &sequence, const InstrumentLimits &limits)
{
    const int lastPhase = limits.model == ZEV_QX70_VAL_MODEL_7101QX ? 1 : ZEV_QX70_VAL_PHASE_MAX;
    double range = 0.0;
    for (const Step &step : sequence.steps) {
        if (step.phase.value_or(0) > lastPhase)
            return stepText(step) + "phase " + std::to_string(*step.phase) + ": the 7101QX has phase 1 only";
        for (const Setting &setting : step.settings) {
            const double volts = rangeVolts(range, limits);
            if (const std::string problem = limitProblem(setting.quantity, setting.value, limits, volts);
                !problem.empty())
                return stepText(step) + problem;
            if (setting.quantity == Quantity::Range)
                range = setting.value;
        }
        if (step.kind == StepKind::Ramp)
            for (const double volts : {step.ramp.from, step.ramp.to})
                if (const std::string problem =
                        limitProblem(Quantity::Voltage, volts, limits, rangeVolts(range, limits));
                    !problem.empty())
                    return stepText(step) + "the ramp's " + problem;
    }
    return {};
}

} // namespace qx::sequence
