// Values kept once for the whole driver, written while a session opens and read by every
// driver function. A session opened later overwrites them; a simulated open leaves them alone.
#pragma once

#include "visa/visatype.h"

#include <atomic>

namespace zev {

struct DriverState {
    std::atomic<ViInt16> serialInterface{0}; // 1: the instrument is on a serial line, 0: GPIB
    std::atomic<ViInt32> modelNumber{0};     // 7101, 7103, or 0 when unknown
    std::atomic<ViReal64> voltageLimit{0.0};
    std::atomic<ViReal64> currentLimit{0.0};
    std::atomic<ViReal64> frequencyLowLimit{0.0};
    std::atomic<ViReal64> frequencyHighLimit{0.0};
};

DriverState &driverState();

inline bool onSerialLine() { return driverState().serialInterface.load() != 0; }

} // namespace zev
