// The simulator served as a VXI-11 instrument: its GPIB link (END ends messages and answers)
// behind the device names "inst0" and "gpib0,<address>".
#pragma once

#include "simulator.h"

#include "vxi11/device_server.h"

#include <memory>
#include <vector>

namespace qx::sim {

std::vector<qx::vxi11::ServedDevice> vxi11Devices(const std::shared_ptr<Simulator> &simulator, int gpibAddress);

} // namespace qx::sim
