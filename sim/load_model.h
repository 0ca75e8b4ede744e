// The load on one output phase and what a meter at the terminals reads from it.
// The load is a resistance R in series with a reactance, given by its power factor
// pf = cos(phi) = R / |Z|, so |Z| = R / pf. The source drives V into it; when V / |Z| would exceed
// the programmed current limit, the current stays at the limit and the voltage sags to I * |Z|.
#pragma once

#include <cmath>
#include <limits>
#include <span>
#include <string>

namespace qx::sim {

struct Load {
    double resistance = 100.0; // ohms; +infinity is an open circuit
    double powerFactor = 1.0;  // (0, 1]
    double crestFactor = std::sqrt(2.0); // peak / rms of the current; sqrt(2) for a linear load
};

inline Load openCircuit() { return Load{std::numeric_limits<double>::infinity(), 1.0, std::sqrt(2.0)}; }

// "" when usable, otherwise the problem in words.
std::string validateLoad(const Load &load);

// One phase as a meter reads it. All zero while nothing flows out (relay open, drop, 0 V).
struct PhaseMeasurement {
    double voltage = 0.0;       // V rms at the terminals
    double current = 0.0;       // A rms
    double realPower = 0.0;     // W
    double apparentPower = 0.0; // VA
    double powerFactor = 0.0;   // real / apparent, 0 when nothing flows
    double crestFactor = 0.0;   // peak / rms current, 0 when nothing flows
    double peakCurrent = 0.0;   // A
};

// The phase driven at `voltage` with `currentLimit` into `load`.
PhaseMeasurement measurePhase(double voltage, double currentLimit, const Load &load);

// All phases read together: mean voltage and current, summed powers, overall power factor,
// highest peak current and the crest factor that goes with it.
PhaseMeasurement combinePhases(std::span<const PhaseMeasurement> phases);

} // namespace qx::sim
