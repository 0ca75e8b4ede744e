#include "attach.h"

#include "runtime/strings.h"

namespace qx::sim {

std::shared_ptr<SimDevice> attach(std::shared_ptr<Simulator> simulator, std::string_view resourceName)
{
    try {
        if (!simulator)
            return nullptr;
        using qx::runtime::startsWithNoCase;
        const bool stream = startsWithNoCase(resourceName, "ASRL") || startsWithNoCase(resourceName, "TCPIP");
        auto device = std::make_shared<SimDevice>(std::move(simulator),
                                                  stream ? SimDevice::Link::Stream : SimDevice::Link::Gpib);
        if (!qx::visa::attachDevice(resourceName, device))
            return nullptr;
        return device;
    } catch (...) {
        return nullptr;
    }
}

} // namespace qx::sim
