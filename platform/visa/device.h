// In-process instruments. A test or the simulator attaches a Device under a resource name
// ("ASRL1::INSTR", "GPIB0::5::INSTR"); viOpen, the GPIB probe and the RS-232 test open look
// here before they touch real hardware.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qx::visa {

struct DeviceRead {
    enum class Status {
        Data,   // bytes (possibly none yet complete) are returned
        Silent,   // the instrument has nothing to say: the caller's read times out
        Closed,   // the line is gone
        TimedOut  // the device waited the caller's time-out itself and nothing came
    };
    Status status = Status::Silent;
    std::string bytes;
    bool end = false; // the last byte ends the message (GPIB END)
};

class Device {
public:
    virtual ~Device() = default;
    // Bytes from the controller, exactly as sent. `end` is set when the write carried the END
    // indicator (GPIB EOI; on a serial line the '\n' in the bytes is the only message end).
    // Returns false when the line is closed.
    virtual bool write(std::string_view bytes, bool end) = 0;
    // Up to `max` bytes of the instrument's pending answer.
    virtual DeviceRead read(std::size_t max) = 0;
    // The same for a device whose answer takes time to come (one that forwards to an instrument
    // elsewhere): it may wait up to `timeoutMs` and then say TimedOut.
    virtual DeviceRead readWithin(std::size_t max, std::uint32_t /*timeoutMs*/) { return read(max); }
    // Device clear: drop any pending input and output.
    virtual void clear() {}
};

// Canonical form of a resource name for lookups: "ASRL<n>::INSTR", "GPIB<board>::<pad>[::<sad>]::INSTR"
// with upper-case class keywords and board numbers filled in, so "gpib::5::instr" and
// "GPIB0::5::INSTR" name the same device. Returns "" for a name that does not parse.
std::string canonicalResourceName(std::string_view resource);

// Attaches (or replaces) the device under the resource name. Returns false for a bad name.
bool attachDevice(std::string_view resource, std::shared_ptr<Device> device);
void detachDevice(std::string_view resource);
std::shared_ptr<Device> findDevice(std::string_view resource);

} // namespace qx::visa
