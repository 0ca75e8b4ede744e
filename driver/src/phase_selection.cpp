#include "phase_selection.h"

#include "driver_state.h"
#include "exchange.h"

namespace zev {
namespace {

const PhaseStep plainSteps[] = {
    {0, Scpi::CouplePhases, kSettle, kSettle, true},
    {1, Scpi::SelectPhase, kSettle, kSettle, false},
    {2, Scpi::SelectPhase, kSettle, kSettle, false},
    {3, Scpi::SelectPhase, kSettle, kSettle, false},
};

} // namespace

const std::span<const PhaseStep> plainPhaseSelection{plainSteps};

ViStatus selectPhase(ViSession vi, ViSession io, std::span<const PhaseStep> steps, ViInt16 phase)
{
    const bool threePhase = sessionState(vi).modelNumber == kThreePhaseModel;
    for (const PhaseStep &step : steps) {
        if (step.phase != phase || (step.threePhaseOnly && !threePhase))
            continue;
        // A selection carries its phase; coupling and uncoupling take no argument.
        const ViStatus status = step.command == Scpi::SelectPhase
                                    ? send(vi, io, scpi(Scpi::SelectPhase), phase)
                                    : send(vi, io, qx::visa::RuntimeFormat{scpi(step.command)});
        if (status < 0)
            return status;
        qx::runtime::Delay(onSerialLine(vi) ? step.serialWait : step.gpibWait);
    }
    return VI_SUCCESS;
}

} // namespace zev
