#include "sim_device.h"

#include "runtime/clock.h"

#include <algorithm>

namespace qx::sim {

using qx::visa::DeviceRead;

SimDevice::SimDevice(std::shared_ptr<Simulator> simulator, Link link)
    : simulator_(simulator ? std::move(simulator) : std::make_shared<Simulator>()), link_(link)
{
}

void SimDevice::deliver(std::string_view message)
{
    if (link_ == Link::Gpib && !output_.empty()) {
        output_.clear();
        pendingDelay_ = 0.0;
        simulator_->raise(scpi_error::QueryInterrupted);
    }
    Delivery d = simulator_->receive(message);
    if (!d.bytes.empty()) {
        if (output_.empty())
            pendingDelay_ = d.delay;
        output_ += d.bytes;
    }
    if (d.close)
        closing_ = true;
}

bool SimDevice::write(std::string_view bytes, bool end)
{
    try {
        std::lock_guard lock(mutex_);
        if (closing_)
            return false;
        input_.append(bytes);
        std::size_t start = 0;
        for (std::size_t nl; !closing_ && (nl = input_.find('\n', start)) != std::string::npos; start = nl + 1)
            deliver(std::string_view(input_).substr(start, nl + 1 - start));
        input_.erase(0, start);
        if (end && link_ == Link::Gpib && !closing_ && !input_.empty()) {
            deliver(input_);
            input_.clear();
        }
        if (input_.size() > kMaxInput) {
            input_.clear();
            simulator_->raise(scpi_error::InputBufferOverrun);
        }
        return true;
    } catch (...) { // std::bad_alloc included: the line simply fails
        return false;
    }
}

DeviceRead SimDevice::read(std::size_t max)
{
    DeviceRead result;
    try {
        double delay = 0.0;
        {
            std::lock_guard lock(mutex_);
            if (output_.empty()) {
                result.status = closing_ ? DeviceRead::Status::Closed : DeviceRead::Status::Silent;
                return result;
            }
            std::swap(delay, pendingDelay_);
        }
        if (delay > 0.0)
            qx::runtime::currentClock().sleep(delay, qx::runtime::WaitKind::Delay);
        std::lock_guard lock(mutex_);
        if (output_.empty()) { // cleared while we waited
            result.status = closing_ ? DeviceRead::Status::Closed : DeviceRead::Status::Silent;
            return result;
        }
        const std::size_t n = std::min(max, output_.size());
        result.status = DeviceRead::Status::Data;
        result.bytes = output_.substr(0, n);
        output_.erase(0, n);
        result.end = link_ == Link::Gpib && output_.empty() && n > 0;
    } catch (...) {
        result = DeviceRead{};
        result.status = DeviceRead::Status::Closed;
    }
    return result;
}

void SimDevice::clear()
{
    std::lock_guard lock(mutex_);
    input_.clear();
    output_.clear();
    pendingDelay_ = 0.0;
}

bool SimDevice::closed() const
{
    std::lock_guard lock(mutex_);
    return closing_ && output_.empty();
}

} // namespace qx::sim
