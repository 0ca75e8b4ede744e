// The simulator that --simulate puts behind GPIB address 5 and COM port 1, in this process,
// so the front panel runs with no hardware.
#pragma once

#include <string>

namespace qx::app {

inline constexpr int kSimulatedGpibAddress = 5;
inline constexpr int kSimulatedComPort = 1;

// Attaches a simulator of `model` ("7101QX" or "7103QX") under "GPIB0::5::INSTR" and
// "ASRL1::INSTR" (one instrument behind both) for the rest of the process. When the environment
// variable QXSERIES_TRANSCRIPT names a file, the simulator writes its transcript there. False,
// with `error` set, when it cannot.
bool attachEmbeddedSimulator(const std::string &model, std::string &error);

} // namespace qx::app
