#include "runner.h"

#include "failure_text.h"
#include "measurement_log.h"
#include "quantities.h"

namespace qx::sequence {
namespace {

constexpr char kChannel[] = "1";

void append(std::string &values, const std::string &name, const std::string &value)
{
    if (!values.empty())
        values += ';';
    values += name + '=' + value;
}

class StepRun {
public:
    StepRun(ViSession vi, Pacer &pacer, const std::atomic<bool> &abort) : vi_(vi), pacer_(pacer), abort_(abort) {}

    // Waits `seconds`, or less when an abort comes; false then.
    bool wait(double seconds)
    {
        if (abort_)
            return false;
        if (seconds > 0.0)
            pacer_.sleep(seconds, abort_);
        return !abort_;
    }

    // Runs the step once into `row`; the driver's status (negative: an error).
    ViStatus run(const Step &step, Row &row)
    {
        switch (step.kind) {
        case StepKind::Set: return set(step, row);
        case StepKind::Output: return output(step, row);
        case StepKind::Wait:
            append(row.values, "seconds", numberText(step.seconds));
            wait(step.seconds); // an abort ends the sequence once the row is told
            return VI_SUCCESS;
        case StepKind::Drop: return drop(step, row);
        case StepKind::Measure: return measure(step, row);
        case StepKind::Ramp: return ramp(step, row);
        }
        return VI_SUCCESS;
    }

private:
    ViStatus set(const Step &step, Row &row)
    {
        for (const Setting &s : step.settings) {
            const SettableQuantity &quantity = settable(s.quantity);
            const ViStatus status = quantity.set(vi_, kChannel, s.value);
            append(row.values, quantity.name,
                   s.quantity == Quantity::Range ? rangeName(s.value) : numberText(s.value));
            if (status != VI_SUCCESS)
                return status;
        }
        return VI_SUCCESS;
    }

    ViStatus output(const Step &step, Row &row)
    {
        append(row.values, "output", step.outputOn ? "on" : "off");
        return step.outputOn ? ZEV_QX70_ConnectOutput(vi_, kChannel) : ZEV_QX70_DisconnectOutput(vi_, kChannel);
    }

    ViStatus drop(const Step &step, Row &row)
    {
        const int phase = step.phase.value_or(ZEV_QX70_VAL_PHASE_ALL);
        if (step.angle)
            append(row.values, "angle", numberText(*step.angle));
        if (step.dropTime)
            append(row.values, "time", numberText(*step.dropTime));
        append(row.values, "phase", std::to_string(phase));
        return ZEV_QX70_PhaseDropCommands(vi_, kChannel, step.angle ? 1 : 0, step.angle.value_or(0.0),
                                          step.dropTime.value_or(0.0), step.dropTime ? VI_TRUE : VI_FALSE,
                                          static_cast<ViInt16>(phase));
    }

    // Each step's voltage at its moment on a schedule from the ramp's start, so that a slow setting
    // delays that step only, not all that follow. An abort stops it where it is.
    ViStatus ramp(const Step &step, Row &row)
    {
        const Ramp &ramp = step.ramp;
        append(row.values, "voltage", numberText(ramp.from) + ".." + numberText(ramp.to));
        append(row.values, "seconds", numberText(step.seconds));
        append(row.values, "steps", std::to_string(ramp.steps));
        const double start = pacer_.now();
        ViStatus warning = VI_SUCCESS;
        for (int index = 0; index <= ramp.steps; ++index) {
            if (index > 0 && !wait(start + step.seconds * index / ramp.steps - pacer_.now())) {
                row.detail = "stopped by the abort at " + numberText(ramp.value(index - 1)) + " V";
                return VI_SUCCESS; // the runner ends the sequence once the row is told
            }
            const ViStatus status = ZEV_QX70_GenerateACVoltage(vi_, kChannel, ramp.value(index));
            if (status < 0)
                return status;
            if (status > 0)
                warning = status;
        }
        return warning;
    }

    ViStatus measure(const Step &step, Row &row)
    {
        std::string outside;
        for (const std::string &name : step.kinds) {
            const MeasurementKind *kind = findMeasurement(name);
            ViReal64 value = 0.0;
            // By phase on both models (0: all coupled), as the front panel measures: the three-phase
            // model offers some kinds only so.
            const auto phase = static_cast<ViInt16>(step.phase.value_or(ZEV_QX70_VAL_PHASE_ALL));
            const ViStatus status = ZEV_QX70_PhaseMeasureOutput(vi_, kChannel, kind->type, phase, &value);
            if (status < 0)
                return status;
            append(row.values, name, numberText(value));
            row.readings.push_back({name, phase, value, kind->unit});
            for (const Expectation &e : step.expect)
                if (e.kind == name && (value < e.low || value > e.high))
                    append(outside, name,
                           numberText(value) + " outside [" + numberText(e.low) + ", " + numberText(e.high) + "]");
        }
        if (!outside.empty()) {
            row.verdict = Verdict::Fail;
            row.detail = outside;
        }
        return VI_SUCCESS;
    }

    ViSession vi_;
    Pacer &pacer_;
    const std::atomic<bool> &abort_;
};

std::string where(const Step &step, int run)
{
    std::string text = "step " + std::to_string(step.number);
    if (step.repeat > 1)
        text += ", run " + std::to_string(run);
    return text;
}

} // namespace

const char *verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass: return "pass";
    case Verdict::Fail: return "fail";
    case Verdict::Error: return "error";
    }
    return "?";
}

const char *endingName(Ending ending)
{
    switch (ending) {
    case Ending::Completed: return "completed";
    case Ending::Aborted: return "aborted";
    case Ending::Error: return "error";
    }
    return "?";
}

Summary runSequence(ViSession vi, const Sequence &sequence, Pacer &pacer, Observer &observer,
                    const std::atomic<bool> &abort)
{
    Summary summary;
    StepRun runner(vi, pacer, abort);
    const double start = pacer.now();
    auto endEarly = [&](Ending ending, const std::string &what) {
        summary.ending = ending;
        // Safe before anything else: the output off, whatever the run had made of it.
        const ViStatus off = ZEV_QX70_DisconnectOutput(vi, kChannel);
        summary.message = what + (off < 0 ? "; switching the output off failed: " + failureText(vi, off)
                                          : "; output switched off");
        return summary;
    };
    for (const Step &step : sequence.steps) {
        for (int run = 1; run <= step.repeat; ++run) {
            if (abort || (run > 1 && !runner.wait(step.interval)))
                return endEarly(Ending::Aborted, "aborted before " + where(step, run));
            observer.starting(step, run);
            Row row;
            row.step = step.number;
            row.run = run;
            row.kind = step.kind;
            row.started = utcTimestamp();
            const ViStatus status = runner.run(step, row);
            row.elapsed = pacer.now() - start;
            row.time = utcTimestamp();
            if (status < 0) {
                row.verdict = Verdict::Error;
                row.detail = failureText(vi, status);
            } else if (status > 0) {
                row.detail = "warning: " + failureText(vi, status);
            }
            ++summary.runs;
            (row.verdict == Verdict::Pass ? summary.passed : summary.failed) += 1;
            observer.finished(row);
            if (row.verdict == Verdict::Error)
                return endEarly(Ending::Error, "error in " + where(step, run) + ": " + row.detail);
            if ((step.kind == StepKind::Wait || step.kind == StepKind::Ramp) && abort)
                return endEarly(Ending::Aborted, "aborted during " + where(step, run));
        }
    }
    summary.message = "completed";
    return summary;
}

} // namespace qx::sequence
