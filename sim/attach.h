// Puts a simulator into the in-process device registry, where viOpen, the GPIB probe and the
// RS-232 test open find it. Lives in its own library (qx_sim_attach) because it needs the VISA
// library; the model itself does not.
#pragma once

#include "sim_device.h"

#include <memory>
#include <string_view>

namespace qx::sim {

// Attaches a new device for `simulator` under `resourceName` ("ASRL1::INSTR", "GPIB0::5::INSTR"),
// replacing whatever was attached there. ASRL and TCPIP names get a stream link, all others a
// GPIB link. Several names may share one simulator. Returns nullptr for a name the registry
// refuses or a null simulator. Remove it with qx::visa::detachDevice(resourceName).
std::shared_ptr<SimDevice> attach(std::shared_ptr<Simulator> simulator, std::string_view resourceName);

} // namespace qx::sim
