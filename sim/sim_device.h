// The simulator as an in-process instrument (qx::visa::Device), for the device registry.
//
// How messages are framed and answers wait for the controller depends on the link:
// - Stream (serial line, socket): a message ends at '\n' only; END means nothing on a wire.
//   Answers queue up in order, as bytes on a wire would.
// - Gpib: a message ends at '\n' or at a write that carries END. One answer at a time, handed
//   out with END on its last byte. A new message that arrives before the previous answer was
//   read discards it and queues -410 "Query INTERRUPTED" (IEEE 488.2).
// A slow answer waits on the injected clock inside read(). After the close fault the device
// hands out what is left of the last answer, then reads report Closed and writes fail.
#pragma once

#include "simulator.h"

#include "visa/device.h"

#include <memory>
#include <mutex>
#include <string>

namespace qx::sim {

class SimDevice : public qx::visa::Device {
public:
    enum class Link { Stream, Gpib };
    static constexpr std::size_t kMaxInput = 64 * 1024; // unterminated input beyond this is dropped

    SimDevice(std::shared_ptr<Simulator> simulator, Link link);

    bool write(std::string_view bytes, bool end) override;
    qx::visa::DeviceRead read(std::size_t max) override;
    void clear() override;

    bool closed() const;
    Link link() const { return link_; }
    const std::shared_ptr<Simulator> &simulator() const { return simulator_; }

private:
    void deliver(std::string_view message);

    const std::shared_ptr<Simulator> simulator_;
    const Link link_;
    mutable std::mutex mutex_;
    std::string input_;
    std::string output_;
    double pendingDelay_ = 0.0;
    bool closing_ = false; // the close fault fired: the line goes once output_ is drained
};

} // namespace qx::sim
