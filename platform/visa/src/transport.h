// The byte path under a session: serial port, GPIB device, TCP socket or in-process device.
// Transports know bytes, END and time-outs; VISA attributes and buffers live in the session.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/deadline.h"
#include "visa/resource_name.h"
#include "visa/serial_port.h"
#include "visa/visadef.h"

namespace qx::visa {

// A VISA time-out counted from its creation; VI_TMO_INFINITE never expires.
class Deadline : public qx::runtime::Deadline {
public:
    explicit Deadline(ViUInt32 timeoutMs)
        : qx::runtime::Deadline(timeoutMs == VI_TMO_INFINITE ? -1 : static_cast<long long>(timeoutMs)),
          totalMs_(timeoutMs)
    {
    }
    ViUInt32 totalMs() const { return totalMs_; }

private:
    ViUInt32 totalMs_;
};

// Where a read stops besides the count.
struct ReadRules {
    bool honourEnd = true;       // the transport's END (GPIB EOI, in-process end flag) ends the read
    bool stopAtTermChar = false;
    bool termCharIsEnd = false;  // serial END_IN = TERMCHAR: the termination character is END
    ViUInt8 termChar = '\n';
    ViUInt8 lastBitMask = 0;     // serial END_IN = LAST_BIT: a byte with this bit set is END
};

enum class ReadEnd { Count, End, TermChar };

struct ReadResult {
    ViStatus status = VI_SUCCESS; // VI_SUCCESS, or the error that stopped the read
    std::string bytes;            // what arrived, also before an error
    ReadEnd end = ReadEnd::Count;
};

class Transport {
public:
    virtual ~Transport() = default;
    // Sends all bytes; `end` asks for the END indicator with the last byte where the bus has one.
    virtual ViStatus write(std::string_view bytes, bool end, ViUInt32 timeoutMs) = 0;
    // Reads up to `max` bytes; stops at END or the termination character as the rules say.
    virtual ReadResult read(std::size_t max, const ReadRules &rules, ViUInt32 timeoutMs) = 0;
    // Device clear: drop pending input and output, and clear the device where the bus can.
    virtual ViStatus clear(ViUInt32 timeoutMs) = 0;
    virtual void close() = 0;

    // Drop input that has arrived but was not read.
    virtual void discardInput() = 0;
    // Drop what the instrument sent after a read of ours timed out (a late answer) and whatever
    // else has arrived, so that it is not taken for the answer to the next query. Never waits.
    virtual void discardLateInput() { discardInput(); }
    virtual void discardOutput() {}
    // Bytes that arrived and wait to be read.
    virtual ViUInt32 available() { return 0; }
    // Serial line settings; in-process serial devices take any.
    virtual ViStatus configureSerial(const SerialSettings &) { return VI_SUCCESS; }
    virtual ViStatus sendBreak() { return VI_SUCCESS; }
    // For buses that time out by themselves (GPIB).
    virtual ViStatus setTimeout(ViUInt32) { return VI_SUCCESS; }
    virtual ViStatus setTermChar(bool, ViUInt8) { return VI_SUCCESS; }

    // Instrument control where the link has it (VXI-11; the others say VI_ERROR_NSUP_OPER).
    virtual ViStatus readStatusByte(ViUInt16 &, ViUInt32) { return VI_ERROR_NSUP_OPER; }
    virtual ViStatus trigger(ViUInt32) { return VI_ERROR_NSUP_OPER; }
    // VI_GPIB_REN_* modes.
    virtual ViStatus remoteLocal(ViUInt16, ViUInt32) { return VI_ERROR_NSUP_OPER; }
    // Exclusive lock of the instrument against other controllers, waiting up to `timeoutMs`.
    virtual ViStatus lock(ViUInt32) { return VI_ERROR_NSUP_OPER; }
    virtual ViStatus unlock() { return VI_ERROR_NSUP_OPER; }
    // The lock time-out that I/O calls carry; unset, it is the call's own time-out.
    virtual void setLockTimeout(std::optional<ViUInt32>) {}
};

// A transport that receives in chunks and keeps what a read did not take, so that a read can stop
// in the middle of a chunk at the termination character.
class ChunkedTransport : public Transport {
public:
    ReadResult read(std::size_t max, const ReadRules &rules, ViUInt32 timeoutMs) final;
    void discardInput() override;
    void discardLateInput() override;
    ViUInt32 available() override;

protected:
    struct Chunk {
        ViStatus status = VI_SUCCESS;
        std::string bytes;
        bool end = false; // the last byte carries END
    };
    // Waits for and returns some input, at most `max` bytes (more are kept for later reads).
    // Returns VI_ERROR_TMO when nothing came before the deadline.
    virtual Chunk fetch(std::size_t max, const Deadline &deadline) = 0;
    virtual ViUInt32 availableBelow() { return 0; }

private:
    std::string pending_;
    bool pendingEnd_ = false;
};

// One entry per resource class, picked by the kind of the parsed name.
struct TransportClass {
    ResourceKind kind;
    ViStatus (*open)(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out);
};

ViStatus openSerialTransport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out);
ViStatus openGpibTransport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out);
ViStatus openTcpTransport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out);
ViStatus openVxi11Transport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out);

// The in-process device attached under the name, if any.
std::unique_ptr<Transport> openInProcessTransport(const ResourceName &name);

// Opens the transport for a parsed name: an in-process device first, then the real resource.
ViStatus openTransport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out);

} // namespace qx::visa
