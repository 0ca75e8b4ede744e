// Output-drop tests: the start-phase state and angle, the drop command with or without a drop
// time, on one phase or all, and the start-phase settings read back.
#include "driver_state.h"
#include "errors.h"
#include "exchange.h"
#include "phase_selection.h"
#include "runtime/clock.h"
#include "runtime/popup.h"
#include "session_lock.h"
#include "status.h"
#include "zev_qx70.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <type_traits>

using qx::runtime::Delay;
using zev::nullAddress;

namespace {

// Any nonzero state turns the start phase on.
ViInt32 startState(ViInt32 startPhaseState) { return startPhaseState != 0 ? 1 : 0; }

bool singlePhaseModel(ViSession vi) { return zev::sessionState(vi).modelNumber == zev::kSinglePhaseModel; }

bool knownModel(ViSession vi) { return zev::knownModel(zev::sessionState(vi).modelNumber); }

// The angles at which the source can start its output after a drop.
constexpr ViReal64 startAngles[] = {0.0, 90.0, 180.0, 270.0};

// Before a drop on one phase the phases are uncoupled first.
using zev::kPhasePace;
using zev::kSettle;
using zev::scpi;
using zev::Scpi;
using zev::sendAndWait;

constexpr zev::PhaseStep dropPhaseSteps[] = {
    {0, Scpi::CouplePhases, kSettle, kSettle, true},
    {1, Scpi::UncouplePhases, kPhasePace, kPhasePace, false},
    {1, Scpi::SelectPhase, kPhasePace, kPhasePace, false},
    {2, Scpi::UncouplePhases, 0.0, kSettle, false},
    {2, Scpi::SelectPhase, kPhasePace, kPhasePace, false},
    {3, Scpi::UncouplePhases, kSettle, kSettle, false},
    {3, Scpi::SelectPhase, kPhasePace, kPhasePace, false},
};

ViStatus sendDrop(ViSession vi, ViSession io, double wait, ViReal64 dropTime, ViBoolean timedDrop)
{
    return timedDrop ? sendAndWait(vi, io, wait, scpi(Scpi::TimedDrop), dropTime)
                     : sendAndWait(vi, io, wait, scpi(Scpi::Drop));
}

// The frame of all four functions around their own steps, inside the caller's lock: unless
// simulating, mark a check as due, check the model and run the steps; then check the status and
// clear the instrument and the cache. A failed step skips the check and the clearing.
template <class Steps> ViStatus dropFrame(ViSession vi, bool (*modelOffers)(ViSession), Steps &&steps)
{
    if (!Ivi_Simulating(vi)) {
        const ViSession io = Ivi_IOSession(vi);
        ViStatus status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
        if (status < 0)
            return status;
        if (!modelOffers(vi))
            return ZEV_QX70_ERROR_NOT_SUPPORTED;
        status = steps(io);
        if (status < 0)
            return status;
    }
    return zev::checkStatusThenClear(vi);
}

// The instrument takes plain decimal numbers; not a number, an infinity or a magnitude that SCPI
// itself reads as infinite (9.9E37) would go out as "nan", "inf" or hundreds of digits.
bool plainNumber(ViReal64 value) { return std::isfinite(value) && std::fabs(value) < 9.9e37; }

struct NumberArgument {
    ViReal64 value;
    ViInt32 position;
    ViConstString name;
};

ViStatus checkNumbers(ViSession vi, std::initializer_list<NumberArgument> arguments)
{
    for (const NumberArgument &argument : arguments)
        if (!plainNumber(argument.value))
            return zev::recordParam(vi, IVI_ERROR_INVALID_VALUE, argument.position, argument.name);
    return VI_SUCCESS;
}

// 0 couples all phases, 1 to 3 select one; anything else would act on whatever was selected before.
ViStatus checkPhase(ViSession vi, ViInt16 phase, ViInt32 position)
{
    return zev::validPhase(phase) ? VI_SUCCESS : zev::recordParam(vi, IVI_ERROR_INVALID_VALUE, position, "Phase");
}

// The start-phase state and angle, each a whole number; each output changes once its answer is read.
ViStatus readStartPhase(ViSession vi, ViSession io, ViInt32 *startPhaseState, ViInt32 *startPhase)
{
    struct Query {
        Scpi command;
        ViInt32 *target;
    };
    for (const Query &query :
         {Query{Scpi::StartPhaseStateQuery, startPhaseState}, Query{Scpi::StartPhaseQuery, startPhase}}) {
        ViStatus status = zev::send(vi, io, qx::visa::RuntimeFormat{scpi(query.command)});
        if (status < 0)
            return status;
        zev::serialDelay(vi, kPhasePace);
        ViInt32 answer = 0;
        status = zev::receive(vi, io, "%d", &answer);
        if (status < 0)
            return status;
        zev::serialDelay(vi, kPhasePace);
        *query.target = answer;
    }
    return VI_SUCCESS;
}

// The query functions check their outputs (at parameter positions `position` and the next).
ViStatus checkOutputs(ViSession vi, const ViInt32 *startPhaseState, const ViInt32 *startPhase, ViInt32 position)
{
    if (!startPhaseState)
        return nullAddress(vi, position, "Null address for Start Phase State");
    if (!startPhase)
        return nullAddress(vi, position + 1, "Null address for Start Phase");
    return VI_SUCCESS;
}

} // namespace

ViStatus ZEV_QX70_DropCommands(ViSession vi, ViConstString channelName, ViInt32 startPhaseState,
                               ViReal64 startPhase, ViReal64 dropTime, ViReal64 voltage, ViBoolean timedDrop)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        const ViStatus checked = checkNumbers(vi, {{startPhaseState ? startPhase : 0.0, 4, "Start Phase"},
                                                   {timedDrop ? dropTime : 0.0, 5, "Drop Time"},
                                                   {voltage, 6, "Voltage"}});
        if (checked < 0)
            return checked;
        return dropFrame(vi, singlePhaseModel, [&](ViSession io) {
            // The output goes to 0 V behind a closed relay before the drop; these two report through
            // their own error information and do not stop the test.
            ZEV_QX70_GenerateACVoltage(vi, channelName, 0.0);
            ZEV_QX70_ConnectOutput(vi, channelName);
            const bool serial = zev::onSerialLine(vi);
            const double wait = serial ? zev::kStatusPause : kSettle;
            ViStatus status = sendAndWait(vi, io, wait, scpi(Scpi::SetStartPhaseState), startState(startPhaseState));
            if (status >= 0 && startPhaseState)
                status = sendAndWait(vi, io, wait, scpi(Scpi::SetStartPhase), startPhase);
            if (status >= 0)
                status = sendDrop(vi, io, wait, dropTime, timedDrop);
            if (status >= 0)
                status = sendAndWait(vi, io, (serial || startPhaseState) ? wait : 0.0, scpi(Scpi::SetVoltageNow),
                                     voltage);
            return status;
        });
    });
}

ViStatus ZEV_QX70_PhaseDropCommands(ViSession vi, ViConstString, ViInt32 startPhaseState, ViReal64 startPhase,
                                    ViReal64 dropTime, ViBoolean timedDrop, ViInt16 phase)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        ViStatus refusal = checkNumbers(vi, {{timedDrop ? dropTime : 0.0, 5, "Drop Time"}});
        if (refusal >= 0)
            refusal = checkPhase(vi, phase, 7);
        if (refusal < 0)
            return refusal;
        const ViStatus result = dropFrame(vi, knownModel, [&](ViSession io) {
            // An exact comparison: the source starts only at these four angles. The operator is told at
            // once; the caller gets the refusal once the instrument has been cleared as usual.
            if (std::find(std::begin(startAngles), std::end(startAngles), startPhase) == std::end(startAngles)) {
                qx::runtime::MessagePopup("Error Message",
                                          "\nOutput Drop function only supports 0, 90, 180, 270 phase angle");
                refusal = zev::recordParam(vi, IVI_ERROR_INVALID_VALUE, 4, "Start Phase");
                return static_cast<ViStatus>(VI_SUCCESS);
            }
            ViStatus status = zev::selectPhase(vi, io, dropPhaseSteps, phase);
            if (status < 0)
                return status;
            // GPIB gives the start phase longer to settle when it is on.
            const double wait = (!zev::onSerialLine(vi) && startPhaseState) ? kSettle : kPhasePace;
            status = sendAndWait(vi, io, wait, scpi(Scpi::SetStartPhaseState), startState(startPhaseState));
            if (status >= 0)
                status = sendAndWait(vi, io, wait, scpi(Scpi::SetStartPhase), startPhase);
            if (status >= 0)
                status = sendDrop(vi, io, kSettle, dropTime, timedDrop);
            return status;
        });
        return result < 0 ? result : refusal;
    });
}

ViStatus ZEV_QX70_DropSettingQuery(ViSession vi, ViConstString, ViInt32 *startPhaseState, ViInt32 *startPhase)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        const ViStatus status = checkOutputs(vi, startPhaseState, startPhase, 3);
        if (status < 0)
            return status;
        return dropFrame(vi, singlePhaseModel,
                         [&](ViSession io) { return readStartPhase(vi, io, startPhaseState, startPhase); });
    });
}

ViStatus ZEV_QX70_PhaseDropSettingQuery(ViSession vi, ViConstString, ViInt16 phase, ViInt32 *startPhaseState,
                                        ViInt32 *startPhase)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        ViStatus checked = checkOutputs(vi, startPhaseState, startPhase, 4);
        if (checked >= 0)
            checked = checkPhase(vi, phase, 3);
        if (checked < 0)
            return checked;
        return dropFrame(vi, knownModel, [&](ViSession io) {
            ViStatus status = zev::selectPhase(vi, io, zev::plainPhaseSelection, phase);
            if (status >= 0)
                status = readStartPhase(vi, io, startPhaseState, startPhase);
            if (status >= 0)
                Delay(kSettle);
            return status;
        });
    });
}
