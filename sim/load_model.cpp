#include "load_model.h"

#include <algorithm>

namespace qx::sim {

std::string validateLoad(const Load &load)
{
    if (std::isnan(load.resistance) || !(load.resistance > 0.0))
        return "load resistance must be above 0 ohms (or open)";
    if (!std::isfinite(load.powerFactor) || load.powerFactor <= 0.0 || load.powerFactor > 1.0)
        return "load power factor must be above 0 and at most 1";
    if (!std::isfinite(load.crestFactor) || load.crestFactor < 1.0 || load.crestFactor > 10.0)
        return "load crest factor must be 1 to 10";
    return {};
}

PhaseMeasurement measurePhase(double voltage, double currentLimit, const Load &load)
{
    PhaseMeasurement m;
    if (!(voltage > 0.0))
        return m;
    m.voltage = voltage;
    if (std::isinf(load.resistance))
        return m;
    const double impedance = load.resistance / load.powerFactor;
    m.current = voltage / impedance;
    const double limit = std::max(currentLimit, 0.0);
    if (m.current > limit) {
        m.current = limit;
        m.voltage = limit * impedance;
    }
    if (!(m.current > 0.0))
        return m;
    m.apparentPower = m.voltage * m.current;
    m.realPower = m.apparentPower * load.powerFactor;
    m.powerFactor = load.powerFactor;
    m.crestFactor = load.crestFactor;
    m.peakCurrent = load.crestFactor * m.current;
    return m;
}

PhaseMeasurement combinePhases(std::span<const PhaseMeasurement> phases)
{
    PhaseMeasurement total;
    if (phases.empty())
        return total;
    for (const PhaseMeasurement &p : phases) {
        total.voltage += p.voltage;
        total.current += p.current;
        total.realPower += p.realPower;
        total.apparentPower += p.apparentPower;
        if (p.peakCurrent > total.peakCurrent)
            total.peakCurrent = p.peakCurrent;
    }
    const double n = static_cast<double>(phases.size());
    total.voltage /= n;
    total.current /= n;
    if (total.apparentPower > 0.0)
        total.powerFactor = total.realPower / total.apparentPower;
    if (total.current > 0.0)
        total.crestFactor = total.peakCurrent / total.current;
    return total;
}

} // namespace qx::sim
