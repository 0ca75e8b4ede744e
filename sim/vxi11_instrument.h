// The simulator served as a VXI-11 instrument: its GPIB link (END ends messages and answers)
// behind the device names "inst0" and "gpib0,<address>", one conversation for both.
#pragma once

#include "simulator.h"

#include "serve/vxi11_server.h"

#include <memory>
#include <vector>

namespace qx::sim {

std::vector<qx::serve::ServedDevice> vxi11Devices(const std::shared_ptr<Simulator> &simulator, int gpibAddress);

} // namespace qx::sim
