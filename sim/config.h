// What distinguishes one simulated QX source from another: model, identity, hardware limits,
// the load on each phase and the length of an untimed output drop. Fixed while it runs, except
// the loads, which a test may change at any time through the Simulator.
#pragma once

#include "load_model.h"

#include <array>
#include <string>
#include <string_view>

namespace qx::sim {

enum class Model { QX7101, QX7103 };

inline constexpr int kMaxPhases = 3;
inline constexpr double kMaxDropSeconds = 60.0;

std::string_view modelName(Model model); // "7101QX", "7103QX"
int phaseCount(Model model);             // 1, 3
// Accepts "7101QX"/"7103QX" (any case) and the bare numbers "7101"/"7103".
bool parseModel(std::string_view text, Model &model);

struct Identity {
    std::string manufacturer = "ZE";
    std::string serialNumber = "SN000123";
    std::string firmware = "1.02";
};

// The instrument's own limits, answered by LIM:VOLT?, LIM:CURR?, LIM:FREQ:LOW?, LIM:FREQ:HIGH?.
// The high voltage range reaches voltage, the low range voltage / 2; the current limit is
// current on the low range and current / 2 on the high range.
struct Limits {
    double voltage = 300.0;
    double current = 9.2;
    double frequencyLow = 16.0;
    double frequencyHigh = 500.0;
};

struct Config {
    Model model = Model::QX7103;
    Identity identity;
    Limits limits;
    std::array<Load, kMaxPhases> loads{};
    double defaultDropSeconds = 0.1; // length of "OUTP:DROP" without a time
};

// A field of the identification answer: 1 to 32 printable characters without blanks, commas,
// semicolons or quotes, so the comma-separated answer always splits into its four fields.
bool identityFieldValid(std::string_view text);

// "" when the configuration is usable, otherwise the first problem in words.
std::string validateConfig(const Config &config);

} // namespace qx::sim
