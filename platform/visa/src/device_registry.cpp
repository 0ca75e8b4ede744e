// The in-process device registry of device.h.
#include <map>
#include <mutex>

#include "visa/device.h"

namespace qx::visa {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Device>, std::less<>> devices; // by canonical name
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

bool attachDevice(std::string_view resource, std::shared_ptr<Device> device)
{
    try {
        const std::string name = canonicalResourceName(resource);
        if (name.empty() || !device)
            return false;
        Registry &r = registry();
        std::lock_guard lock(r.mutex);
        r.devices[name] = std::move(device);
        return true;
    } catch (...) {
        return false;
    }
}

void detachDevice(std::string_view resource)
{
    try {
        const std::string name = canonicalResourceName(resource);
        Registry &r = registry();
        std::lock_guard lock(r.mutex);
        r.devices.erase(name);
    } catch (...) {
    }
}

std::shared_ptr<Device> findDevice(std::string_view resource)
{
    try {
        const std::string name = canonicalResourceName(resource);
        if (name.empty())
            return nullptr;
        Registry &r = registry();
        std::lock_guard lock(r.mutex);
        const auto it = r.devices.find(name);
        return it == r.devices.end() ? nullptr : it->second;
    } catch (...) {
        return nullptr;
    }
}

} // namespace qx::visa
