// The state of a QX source and every operation its command set reaches. Not thread-safe on its
// own: the Simulator serialises access. Operations return 0 or a negative SCPI error number and
// leave the state unchanged when they fail; the caller queues the error (raise()).
#pragma once

#include "config.h"
#include "error_queue.h"
#include "load_model.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx::sim {

enum class VoltageRange { Low, High };

struct PhaseSettings {
    double voltage = 0.0;      // V rms
    double currentLimit = 0.0; // A rms
    bool startPhaseOn = false;
    double startPhase = 0.0; // degrees
};

// Everything *SAV keeps and *RCL brings back.
struct Settings {
    VoltageRange range = VoltageRange::High;
    double frequency = 50.0;
    bool output = false; // output relay closed
    int displayMode = 0;
    // Coupled: settings go to every phase and measurements read the whole output. INST:NSEL
    // selects one phase and ends the coupling; INST:COUP ON restores it.
    bool coupled = true;
    int selectedPhase = 1;
    std::array<PhaseSettings, kMaxPhases> phases{};
};

struct DropRecord {
    double start = 0.0;    // clock seconds
    double duration = 0.0; // seconds
    int phase = 0;         // 0 when all phases dropped together, else 1..3
    bool timed = false;    // the command carried a time
    bool startPhaseOn = false;
    double startPhase = 0.0; // degrees, of the (first) dropped phase
};

struct Bounds {
    double min = 0.0;
    double max = 0.0;
};

class Instrument {
public:
    static constexpr int kRegisterCount = 10; // *SAV / *RCL / SYST:PON 0..9
    static constexpr int kMaxDisplayMode = 5;
    static constexpr std::size_t kDropHistory = 64;

    explicit Instrument(const Config &config);

    const Config &config() const { return config_; }
    int phases() const { return phaseCount(config_.model); }
    const Settings &settings() const { return settings_; }
    // Settings of the phase that queries read: the selected one.
    const PhaseSettings &selected() const;
    std::string identification() const; // "ZE,7103QX,SN000123,1.02"
    const std::string &serialNumber() const { return serialNumber_; }

    double rangeVolts() const;   // 150 (low) or 300 (high) with a 300 V limit
    double currentMax() const;   // for the present range
    Bounds voltageBounds() const { return {0.0, rangeVolts()}; }
    Bounds currentBounds() const { return {0.0, currentMax()}; }
    Bounds frequencyBounds() const { return {config_.limits.frequencyLow, config_.limits.frequencyHigh}; }
    Bounds rangeBounds() const { return {config_.limits.voltage / 2.0, config_.limits.voltage}; }
    static Bounds startPhaseBounds() { return {0.0, 360.0}; }
    static Bounds dropBounds() { return {0.0, kMaxDropSeconds}; }

    // Settings of the addressed phases (all when coupled).
    int setVoltage(double volts);
    int setCurrentLimit(double amperes);
    int setStartPhaseState(bool on);
    int setStartPhase(double degrees);
    // Global settings.
    int setFrequency(double hertz);
    // Volts up to half the limit select the low range, up to the limit the high range. Voltage
    // and current settings above the new range's maxima are lowered to them.
    int setRange(double volts);
    void setOutput(bool closed) { settings_.output = closed; }
    int setDisplayMode(int mode);
    void couple(bool on) { settings_.coupled = on; }
    int selectPhase(int phase);
    int setSerialNumber(const std::string &text);
    void setRemote(bool on) { remote_ = on; }
    bool remote() const { return remote_; }

    int save(int reg);
    int recall(int reg);
    int setPowerOnRegister(int reg);
    int powerOnRegister() const { return powerOnRegister_; }
    const std::array<Settings, kRegisterCount> &registers() const { return registers_; }
    void reset(); // *RST: settings to their defaults; queue, registers and identity stay
    // Power off and on: settings from the power-on register, local, queues cleared.
    void powerCycle();

    // OUTP:DROP: drops the addressed phases for `seconds` (default length when absent).
    int drop(std::optional<double> seconds, double now);
    const std::vector<DropRecord> &drops() const { return drops_; }
    bool dropping(int phase, double now) const; // phase 1..3

    int setLoad(int phase, const Load &load); // phase 1..3, or 0 for all
    const std::array<Load, kMaxPhases> &loads() const { return loads_; }
    // phase 1..3: that phase; 0: what MEAS reads now (coupled: the whole output, else selected).
    PhaseMeasurement measure(int phase, double now) const;

    // Status reporting (IEEE 488.2).
    void raise(int code);
    void raise(int code, std::string text);
    ErrorEntry nextError() { return errors_.pop(); }
    const ErrorQueue &errors() const { return errors_; }
    void clearStatus(); // *CLS
    std::uint8_t statusByte() const;
    std::uint8_t readEventStatus(); // *ESR? reads and clears
    std::uint8_t eventStatus() const { return esr_; }
    void setEventEnable(std::uint8_t mask) { ese_ = mask; }
    std::uint8_t eventEnable() const { return ese_; }
    void setServiceEnable(std::uint8_t mask) { sre_ = mask; }
    std::uint8_t serviceEnable() const { return sre_; }
    void operationComplete() { esr_ |= kOperationComplete; }

    static constexpr std::uint8_t kOperationComplete = 0x01;
    static constexpr std::uint8_t kPowerOn = 0x80;

private:
    Settings defaults() const;
    template <typename Fn> void forAddressed(Fn fn);
    bool addressed(int phaseIndex) const;

    Config config_;
    Settings settings_;
    std::array<Settings, kRegisterCount> registers_{};
    int powerOnRegister_ = 0;
    std::string serialNumber_;
    bool remote_ = false;
    std::array<Load, kMaxPhases> loads_{};
    std::vector<DropRecord> drops_;
    ErrorQueue errors_;
    std::uint8_t esr_ = kPowerOn;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
};

} // namespace qx::sim
