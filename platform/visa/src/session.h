// An instrument session: the transport, the VISA attributes and the formatted I/O buffers.
// Every member is used with `mutex` held; `closed` is set by viClose under the same mutex.
#pragma once

#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "format_engine.h"
#include "transport.h"
#include "visa/resource_name.h"
#include "visa/serial_port.h"

namespace qx::visa {

struct SessionAttributes {
    ViUInt32 timeoutMs = 2000;
    std::optional<ViUInt32> lockTimeoutMs; // VXI-11 I/O calls; unset: timeoutMs
    ViUInt8 termChar = '\n';
    ViBoolean termCharEnabled = VI_FALSE;
    ViBoolean sendEndEnabled = VI_TRUE;
    ViUInt16 readBufferMode = VI_FLUSH_DISABLE;
    ViUInt16 writeBufferMode = VI_FLUSH_WHEN_FULL;
    ViUInt16 endIn = VI_ASRL_END_TERMCHAR;
    ViUInt16 endOut = VI_ASRL_END_NONE;
    SerialSettings serial;
};

inline constexpr std::size_t defaultBufferSize = 4096;
inline constexpr std::size_t maxBufferSize = 64u << 20;
// What one viScanf, or one flush of the read buffer, takes from an instrument that never ends its
// message, before it gives up.
inline constexpr std::size_t maxBytesPerFormattedRead = 1u << 20;

class Session final : public detail::ScanInput {
public:
    Session(ViSession handle, ViSession rm, ResourceName resource, std::unique_ptr<Transport> transport);

    std::mutex mutex;
    bool closed = false;
    const ViSession handle;
    const ViSession rm;
    const ResourceName resource;
    const std::string name; // canonical
    SessionAttributes attrs;

    Transport &transport() { return *transport_; }
    void close();

    // Raw transfers, with the session's END rules, time-out and the I/O trace.
    ViStatus send(std::string_view bytes, bool end);
    ReadResult receive(std::size_t max);

    // Formatted write buffer. `messageEnds` are offsets just past each line feed of the format
    // itself: the buffer is flushed there with END.
    ViStatus bufferedWrite(std::string_view bytes, const std::vector<std::size_t> &messageEnds);
    ViStatus flushWriteBuffer(bool end);
    void discardWriteBuffer() { writeBuffer_.clear(); }
    std::size_t writeBufferSize = defaultBufferSize;

    // Formatted read buffer.
    void beginFormattedRead();
    int peek(bool mayFetch) override;
    void advance() override;
    ViStatus failure() const override { return failure_; }
    // Empties the read buffer; with `drain`, also reads and drops the rest of a message whose END
    // has not arrived yet.
    ViStatus flushReadBuffer(bool drain);
    // After a device clear nothing late can come any more.
    void forgetLateInput() { lateInputPossible_ = false; }
    std::size_t readBufferSize = defaultBufferSize;

private:
    ReadRules readRules() const;
    void resetReadBuffer();

    std::unique_ptr<Transport> transport_;
    std::string writeBuffer_;
    std::string readBuffer_;
    std::size_t readPos_ = 0;
    bool haveMessage_ = false;  // the read buffer holds (part of) a message
    bool messageEnded_ = false; // ... and its END has arrived
    std::size_t bytesThisCall_ = 0;
    ViStatus failure_ = VI_SUCCESS;
    // A read timed out: its answer may still come, and must not answer the next query.
    bool lateInputPossible_ = false;
};

// The open session with this handle, or null (never a resource manager).
std::shared_ptr<Session> findSession(ViSession vi);
bool isResourceManager(ViSession vi) noexcept;

// Runs `body` on the locked, open session, or returns VI_ERROR_INV_OBJECT. Catches everything.
template <class Body>
ViStatus withSession(ViSession vi, Body &&body) noexcept
{
    try {
        const std::shared_ptr<Session> session = findSession(vi);
        if (!session)
            return VI_ERROR_INV_OBJECT;
        std::lock_guard lock(session->mutex);
        if (session->closed)
            return VI_ERROR_INV_OBJECT;
        return body(*session);
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

} // namespace qx::visa
