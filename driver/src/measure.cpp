// Measurements of the output: one query and one number, or voltage times current where the
// model has no power query. No status check: a measurement leaves the instrument's state alone.
#include "driver_state.h"
#include "errors.h"
#include "exchange.h"
#include "phase_selection.h"
#include "session_lock.h"
#include "zev_qx70.h"

using zev::nullAddress;

namespace {

// What a model that lacks the query gets instead.
enum class Elsewhere { Measure, Compute, Refuse };

// Serial-line waits around one query, seconds.
struct Pacing {
    double afterQuery;
    double afterReply;
};

constexpr Pacing kUnpaced{0.0, 0.0};
constexpr Pacing kPaced{zev::kPhasePace, zev::kPhasePace};
constexpr Pacing kReplyPaced{0.0, zev::kPhasePace};

using zev::Scpi;

struct Measurement {
    ViInt32 type;
    Scpi query;
    Elsewhere single; // ZEV_QX70_MeasureOutput on models other than the single-phase one
    Elsewhere phased; // ZEV_QX70_PhaseMeasureOutput on models the driver does not know
    Pacing direct;    // the query itself, in ZEV_QX70_PhaseMeasureOutput
    Pacing computed;  // each half of a computed power, in ZEV_QX70_PhaseMeasureOutput
};

constexpr Measurement measurements[] = {
    {ZEV_QX70_VAL_MEASURE_VOLTAGE, Scpi::MeasureVoltage, Elsewhere::Measure, Elsewhere::Measure, kPaced, kUnpaced},
    {ZEV_QX70_VAL_MEASURE_CURRENT, Scpi::MeasureCurrent, Elsewhere::Measure, Elsewhere::Measure, kPaced, kUnpaced},
    {ZEV_QX70_VAL_MEASURE_FREQUENCY, Scpi::FrequencyQuery, Elsewhere::Measure, Elsewhere::Measure, kPaced, kUnpaced},
    {ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, Scpi::MeasurePeakCurrent, Elsewhere::Refuse, Elsewhere::Refuse, kPaced,
     kUnpaced},
    {ZEV_QX70_VAL_MEASURE_CREST_FACTOR, Scpi::MeasureCrestFactor, Elsewhere::Refuse, Elsewhere::Refuse, kPaced, kUnpaced},
    {ZEV_QX70_VAL_MEASURE_APPARENT_POWER, Scpi::MeasureApparentPower, Elsewhere::Compute, Elsewhere::Compute, kPaced, kPaced},
    {ZEV_QX70_VAL_MEASURE_POWER_FACTOR, Scpi::MeasurePowerFactor, Elsewhere::Refuse, Elsewhere::Refuse, kReplyPaced,
     kUnpaced},
    {ZEV_QX70_VAL_MEASURE_REAL_POWER, Scpi::MeasureRealPower, Elsewhere::Refuse, Elsewhere::Compute, kPaced, kUnpaced},
};

const Measurement *findMeasurement(ViInt32 type)
{
    for (const Measurement &measurement : measurements)
        if (measurement.type == type)
            return &measurement;
    return nullptr;
}

// How the reply is read: framed like the command, or with a line feed on both links.
enum class Reply { Framed, LineFeed };

// One query and its number; `value` changes only when the number was read.
ViStatus exchange(ViSession vi, ViSession io, Scpi query, Reply reply, Pacing pacing, ViReal64 &value)
{
    ViStatus status = zev::send(vi, io, qx::visa::RuntimeFormat{zev::scpi(query)});
    if (status < 0)
        return status;
    zev::serialDelay(vi, pacing.afterQuery);
    ViReal64 answer = 0.0;
    status = reply == Reply::Framed ? zev::receive(vi, io, "%lf", &answer)
                                    : zev::receiveAsIs(vi, io, "%lf\n", &answer);
    if (status < 0)
        return status;
    zev::serialDelay(vi, pacing.afterReply);
    value = answer;
    return VI_SUCCESS;
}

// Voltage times current, stored only when both were read.
ViStatus computePower(ViSession vi, ViSession io, Pacing pacing, ViReal64 &power)
{
    ViReal64 voltage = 0.0;
    ViReal64 current = 0.0;
    ViStatus status = exchange(vi, io, Scpi::MeasureVoltage, Reply::LineFeed, pacing, voltage);
    if (status >= 0)
        status = exchange(vi, io, Scpi::MeasureCurrent, Reply::Framed, pacing, current);
    if (status < 0)
        return status;
    power = voltage * current;
    return VI_SUCCESS;
}

struct Rules {
    bool offered;  // the connected model has the measurement's own query
    bool phased;   // ZEV_QX70_PhaseMeasureOutput's rules and pacing
};

// A type the driver does not know is refused before anything is sent: the caller would otherwise
// get success and an unwritten value.
ViStatus checkType(ViSession vi, ViInt32 type)
{
    return findMeasurement(type) ? VI_SUCCESS
                                 : zev::recordParam(vi, IVI_ERROR_INVALID_VALUE, 3, "Measurement Type");
}

ViStatus measure(ViSession vi, const Measurement *measurement, Rules rules, ViReal64 &value)
{
    const ViSession io = Ivi_IOSession(vi);
    const Elsewhere elsewhere = rules.phased ? measurement->phased : measurement->single;
    if (rules.offered || elsewhere == Elsewhere::Measure)
        return exchange(vi, io, measurement->query, Reply::Framed, rules.phased ? measurement->direct : kUnpaced,
                        value);
    if (elsewhere == Elsewhere::Refuse)
        return ZEV_QX70_ERROR_NOT_SUPPORTED;
    return computePower(vi, io, rules.phased ? measurement->computed : kUnpaced, value);
}

} // namespace

ViStatus ZEV_QX70_MeasureOutput(ViSession vi, ViConstString, ViInt32 measurementType, ViReal64 *measurement)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!measurement)
            return nullAddress(vi, 4, "Null address for Measurement");
        const ViStatus checked = checkType(vi, measurementType);
        if (checked < 0)
            return checked;
        const ViInt32 model = zev::sessionState(vi).modelNumber;
        return measure(vi, findMeasurement(measurementType), Rules{model == zev::kSinglePhaseModel, false},
                       *measurement);
    });
}

ViStatus ZEV_QX70_PhaseMeasureOutput(ViSession vi, ViConstString, ViInt32 measurementType, ViInt16 phase,
                                     ViReal64 *measurement)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!measurement)
            return nullAddress(vi, 5, "Null address for Measurement");
        ViStatus status = checkType(vi, measurementType);
        if (status >= 0 && !zev::validPhase(phase))
            status = zev::recordParam(vi, IVI_ERROR_INVALID_VALUE, 4, "Phase");
        if (status >= 0)
            status = zev::selectPhase(vi, Ivi_IOSession(vi), zev::plainPhaseSelection, phase);
        if (status < 0)
            return status;
        const ViInt32 model = zev::sessionState(vi).modelNumber;
        return measure(vi, findMeasurement(measurementType), Rules{zev::knownModel(model), true},
                       *measurement);
    });
}
