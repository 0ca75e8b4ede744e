// Selecting one phase of the source, or coupling all three, before a measurement or an output drop.
#pragma once

#include "ivi/ivi.h"
#include "vocabulary.h"

#include <span>

namespace zev {

// One command of a phase selection and the wait after it on each link.
struct PhaseStep {
    ViInt16 phase; // 0 all phases coupled, 1 to 3 one phase
    Scpi command;
    double serialWait;
    double gpibWait;
    bool threePhaseOnly; // sent only to the three-phase model
};

// 0 couples all phases, 1 to 3 select one.
constexpr bool validPhase(ViInt16 phase) { return phase >= 0 && phase <= 3; }

// "INST:COUP 1" (three-phase model only) for 0, "INST:NSEL n" for 1 to 3, each paced 0.03 s.
extern const std::span<const PhaseStep> plainPhaseSelection;

// Sends the steps of `phase` in table order; a phase without steps selects nothing.
// A failed send is recorded and ends the selection.
ViStatus selectPhase(ViSession vi, ViSession io, std::span<const PhaseStep> steps, ViInt16 phase);

} // namespace zev
