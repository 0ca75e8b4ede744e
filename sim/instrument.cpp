#include "instrument.h"

#include <algorithm>
#include <cmath>

namespace qx::sim {
namespace {

using namespace scpi_error;

bool within(double value, Bounds bounds)
{
    return std::isfinite(value) && value >= bounds.min && value <= bounds.max;
}

// Event status bit that an error number sets (IEEE 488.2 standard event status register).
std::uint8_t eventBit(int code)
{
    if (code <= -100 && code > -200)
        return 0x20; // command error
    if (code <= -200 && code > -300)
        return 0x10; // execution error
    if (code <= -400 && code > -500)
        return 0x04; // query error
    return 0x08;     // device-dependent error
}

} // namespace

Instrument::Instrument(const Config &config)
    : config_(config), serialNumber_(config.identity.serialNumber), loads_(config.loads)
{
    settings_ = defaults();
    registers_.fill(settings_);
}

Settings Instrument::defaults() const
{
    Settings s;
    s.range = VoltageRange::High;
    s.frequency = std::clamp(50.0, config_.limits.frequencyLow, config_.limits.frequencyHigh);
    for (PhaseSettings &phase : s.phases)
        phase.currentLimit = config_.limits.current / 2.0;
    return s;
}

const PhaseSettings &Instrument::selected() const
{
    return settings_.phases.at(static_cast<std::size_t>(settings_.selectedPhase - 1));
}

std::string Instrument::identification() const
{
    return config_.identity.manufacturer + "," + std::string(modelName(config_.model)) + "," + serialNumber_ + "," +
           config_.identity.firmware;
}

double Instrument::rangeVolts() const
{
    return settings_.range == VoltageRange::Low ? config_.limits.voltage / 2.0 : config_.limits.voltage;
}

double Instrument::currentMax() const
{
    return settings_.range == VoltageRange::Low ? config_.limits.current : config_.limits.current / 2.0;
}

bool Instrument::addressed(int phaseIndex) const
{
    return settings_.coupled || phases() == 1 || phaseIndex == settings_.selectedPhase - 1;
}

template <typename Fn> void Instrument::forAddressed(Fn fn)
{
    for (int i = 0; i < phases(); ++i)
        if (addressed(i))
            fn(settings_.phases[static_cast<std::size_t>(i)]);
}

int Instrument::setVoltage(double volts)
{
    if (!within(volts, voltageBounds()))
        return DataOutOfRange;
    forAddressed([volts](PhaseSettings &p) { p.voltage = volts; });
    return 0;
}

int Instrument::setCurrentLimit(double amperes)
{
    if (!within(amperes, currentBounds()))
        return DataOutOfRange;
    forAddressed([amperes](PhaseSettings &p) { p.currentLimit = amperes; });
    return 0;
}

int Instrument::setStartPhaseState(bool on)
{
    forAddressed([on](PhaseSettings &p) { p.startPhaseOn = on; });
    return 0;
}

int Instrument::setStartPhase(double degrees)
{
    if (!within(degrees, startPhaseBounds()))
        return DataOutOfRange;
    forAddressed([degrees](PhaseSettings &p) { p.startPhase = degrees; });
    return 0;
}

int Instrument::setFrequency(double hertz)
{
    if (!within(hertz, frequencyBounds()))
        return DataOutOfRange;
    settings_.frequency = hertz;
    return 0;
}

int Instrument::setRange(double volts)
{
    if (!within(volts, Bounds{0.0, config_.limits.voltage}))
        return DataOutOfRange;
    settings_.range = volts <= config_.limits.voltage / 2.0 ? VoltageRange::Low : VoltageRange::High;
    const double vmax = rangeVolts();
    const double imax = currentMax();
    for (PhaseSettings &p : settings_.phases) {
        p.voltage = std::min(p.voltage, vmax);
        p.currentLimit = std::min(p.currentLimit, imax);
    }
    return 0;
}

int Instrument::setDisplayMode(int mode)
{
    if (mode < 0 || mode > kMaxDisplayMode)
        return DataOutOfRange;
    settings_.displayMode = mode;
    return 0;
}

int Instrument::selectPhase(int phase)
{
    if (phase < 1 || phase > phases())
        return DataOutOfRange;
    settings_.selectedPhase = phase;
    settings_.coupled = false;
    return 0;
}

int Instrument::setSerialNumber(const std::string &text)
{
    if (text.size() > 32)
        return TooMuchData;
    if (!identityFieldValid(text))
        return IllegalParameterValue;
    serialNumber_ = text;
    return 0;
}

int Instrument::save(int reg)
{
    if (reg < 0 || reg >= kRegisterCount)
        return DataOutOfRange;
    registers_[static_cast<std::size_t>(reg)] = settings_;
    return 0;
}

int Instrument::recall(int reg)
{
    if (reg < 0 || reg >= kRegisterCount)
        return DataOutOfRange;
    settings_ = registers_[static_cast<std::size_t>(reg)];
    return 0;
}

int Instrument::setPowerOnRegister(int reg)
{
    if (reg < 0 || reg >= kRegisterCount)
        return DataOutOfRange;
    powerOnRegister_ = reg;
    return 0;
}

void Instrument::reset() { settings_ = defaults(); }

void Instrument::powerCycle()
{
    settings_ = registers_[static_cast<std::size_t>(powerOnRegister_)];
    remote_ = false;
    drops_.clear();
    errors_.clear();
    esr_ = kPowerOn;
}

int Instrument::drop(std::optional<double> seconds, double now)
{
    const double length = seconds.value_or(config_.defaultDropSeconds);
    if (!within(length, dropBounds()))
        return DataOutOfRange;
    DropRecord record;
    record.start = now;
    record.duration = length;
    record.timed = seconds.has_value();
    record.phase = (settings_.coupled && phases() > 1) ? 0 : (phases() == 1 ? 1 : settings_.selectedPhase);
    const PhaseSettings &first = settings_.phases.at(static_cast<std::size_t>(record.phase == 0 ? 0 : record.phase - 1));
    record.startPhaseOn = first.startPhaseOn;
    record.startPhase = first.startPhase;
    if (drops_.size() >= kDropHistory)
        drops_.erase(drops_.begin());
    drops_.push_back(record);
    return 0;
}

bool Instrument::dropping(int phase, double now) const
{
    for (const DropRecord &d : drops_)
        if ((d.phase == 0 || d.phase == phase) && now >= d.start && now < d.start + d.duration)
            return true;
    return false;
}

int Instrument::setLoad(int phase, const Load &load)
{
    if (phase < 0 || phase > phases() || !validateLoad(load).empty())
        return IllegalParameterValue;
    for (int i = 0; i < kMaxPhases; ++i)
        if (phase == 0 || phase == i + 1)
            loads_[static_cast<std::size_t>(i)] = load;
    return 0;
}

PhaseMeasurement Instrument::measure(int phase, double now) const
{
    auto one = [&](int p) {
        if (!settings_.output || dropping(p, now))
            return PhaseMeasurement{};
        const PhaseSettings &s = settings_.phases.at(static_cast<std::size_t>(p - 1));
        return measurePhase(s.voltage, s.currentLimit, loads_.at(static_cast<std::size_t>(p - 1)));
    };
    if (phase >= 1 && phase <= phases())
        return one(phase);
    if (phase != 0)
        return {};
    if (!settings_.coupled || phases() == 1)
        return one(phases() == 1 ? 1 : settings_.selectedPhase);
    std::array<PhaseMeasurement, kMaxPhases> all{};
    for (int p = 1; p <= phases(); ++p)
        all[static_cast<std::size_t>(p - 1)] = one(p);
    return combinePhases(std::span<const PhaseMeasurement>(all.data(), static_cast<std::size_t>(phases())));
}

void Instrument::raise(int code) { raise(code, std::string(errorText(code))); }

void Instrument::raise(int code, std::string text)
{
    if (code == 0)
        return;
    errors_.push(code, std::move(text));
    esr_ |= eventBit(code);
}

void Instrument::clearStatus()
{
    errors_.clear();
    esr_ = 0;
}

std::uint8_t Instrument::statusByte() const
{
    std::uint8_t stb = 0;
    if (!errors_.empty())
        stb |= 0x04; // error/event queue not empty
    if (esr_ & ese_)
        stb |= 0x20; // event status summary
    if (stb & sre_ & 0xBF)
        stb |= 0x40; // master summary status
    return stb;
}

std::uint8_t Instrument::readEventStatus()
{
    const std::uint8_t value = esr_;
    esr_ = 0;
    return value;
}

} // namespace qx::sim
