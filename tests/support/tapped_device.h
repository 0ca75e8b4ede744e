// A device that forwards to another (the simulator's), copying each write and answer into the
// virtual clock's timeline; `hook` sees a message before the instrument does.
#pragma once

#include "runtime/clock.h"
#include "visa/device.h"

#include <functional>
#include <memory>
#include <string>

namespace qx::test {

struct TappedDevice final : visa::Device {
    using Hook = std::function<void(const std::string &)>;
    TappedDevice(std::shared_ptr<visa::Device> d, runtime::Timeline &t, const Hook &h) : inner(std::move(d)), timeline(t), hook(h) {}
    bool write(std::string_view bytes, bool end) override
    {
        timeline.write(bytes);
        if (hook)
            hook(std::string(bytes));
        return inner->write(bytes, end);
    }
    visa::DeviceRead read(std::size_t max) override
    {
        visa::DeviceRead r = inner->read(max);
        if (r.status == visa::DeviceRead::Status::Data && !r.bytes.empty())
            timeline.read(r.bytes);
        return r;
    }
    void clear() override { inner->clear(); }

    std::shared_ptr<visa::Device> inner;
    runtime::Timeline &timeline;
    const Hook &hook;
};

} // namespace qx::test
