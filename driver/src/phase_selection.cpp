#include "phase_selection.h"

#include "driver_state.h"
#include "exchange.h"

namespace zev {
namespace {

const PhaseStep plainSteps[] = {
    {0, "INST:COUP 1", 0.03, 0.03, true},
    {1, "INST:NSEL 1", 0.03, 0.03, false},
    {2, "INST:NSEL 2", 0.03, 0.03, false},
    {3, "INST:NSEL 3", 0.03, 0.03, false},
};

} // namespace

const std::span<const PhaseStep> plainPhaseSelection{plainSteps};

ViStatus selectPhase(ViSession vi, ViSession io, std::span<const PhaseStep> steps, ViInt16 phase)
{
    const bool threePhase = sessionState(vi).modelNumber == 7103;
    for (const PhaseStep &step : steps) {
        if (step.phase != phase || (step.threePhaseOnly && !threePhase))
            continue;
        const ViStatus status = send(vi, io, qx::visa::RuntimeFormat{step.command});
        if (status < 0)
            return status;
        qx::runtime::Delay(onSerialLine(vi) ? step.serialWait : step.gpibWait);
    }
    return VI_SUCCESS;
}

} // namespace zev
