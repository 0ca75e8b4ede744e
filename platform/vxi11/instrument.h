// What a VXI-11 device server serves: an instrument behind a device name ("inst0", "gpib0,5"),
// and the protocol's error codes, flags and read reasons.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "vxi11/rpc_record.h"

namespace qx::vxi11 {

// Device_ErrorCode values.
namespace error {
inline constexpr long kNone = 0;
inline constexpr long kSyntax = 1;
inline constexpr long kNotAccessible = 3;
inline constexpr long kInvalidLink = 4;
inline constexpr long kParameter = 5;
inline constexpr long kChannelNotEstablished = 6;
inline constexpr long kNotSupported = 8;
inline constexpr long kOutOfResources = 9;
inline constexpr long kLocked = 11;
inline constexpr long kNoLockHeld = 12;
inline constexpr long kIoTimeout = 15;
inline constexpr long kIoError = 17;
inline constexpr long kInvalidAddress = 21;
inline constexpr long kAbort = 23;
inline constexpr long kChannelEstablished = 29;
} // namespace error

// Device_Flags bits.
namespace flag {
inline constexpr long kWaitLock = 0x01;
inline constexpr long kEnd = 0x08;
inline constexpr long kTermCharSet = 0x80;
} // namespace flag

// device_read reason bits.
namespace reason {
inline constexpr long kRequestCount = 0x01;
inline constexpr long kTermChar = 0x02;
inline constexpr long kEnd = 0x04;
} // namespace reason

// How long an instrument operation may take, and whether its client has aborted it meanwhile.
class IoWait {
public:
    IoWait(const Deadline &deadline, const std::atomic<bool> &abort) : deadline_(deadline), abort_(abort) {}
    bool aborted() const { return abort_.load(); }
    bool expired() const { return deadline_.remainingMs() == 0; }
    int remainingMs() const { return deadline_.remainingMs(); }
    const Deadline &deadline() const { return deadline_; }

private:
    const Deadline &deadline_;
    const std::atomic<bool> &abort_;
};

struct ReadReply {
    long error = error::kNone;
    long reason = 0; // reason bits, with error kNone
    std::string data;
};

// One served instrument. The server calls it from one link at a time.
class Instrument {
public:
    virtual ~Instrument() = default;
    // `end`: the bytes end a message (END on the bus the instrument is on).
    virtual long write(std::string_view data, bool end, const IoWait &wait) = 0;
    // Up to `max` bytes; stops at END, at `termChar` (0..255, or -1 for none) or at the count.
    virtual ReadReply read(std::size_t max, int termChar, const IoWait &wait) = 0;
    virtual long readStatusByte(unsigned char &, const IoWait &) { return error::kNotSupported; }
    virtual long trigger(const IoWait &) { return error::kNotSupported; }
    virtual long clear(const IoWait &) { return error::kNotSupported; }
    virtual long remote(const IoWait &) { return error::kNotSupported; }
    virtual long local(const IoWait &) { return error::kNotSupported; }
};

} // namespace qx::vxi11
