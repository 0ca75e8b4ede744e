// Unformatted I/O and buffer control: viWrite, viRead, viSetBuf, viFlush, viClear.
#include <cstring>

#include "session.h"
#include "visa/visa.h"

using namespace qx::visa;

namespace {

constexpr ViUInt16 setBufMask = VI_READ_BUF | VI_WRITE_BUF | VI_IO_IN_BUF | VI_IO_OUT_BUF;
constexpr ViUInt16 flushMask = VI_READ_BUF | VI_WRITE_BUF | VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD |
                               VI_IO_IN_BUF | VI_IO_OUT_BUF | VI_IO_IN_BUF_DISCARD | VI_IO_OUT_BUF_DISCARD;

bool both(ViUInt16 mask, ViUInt16 a, ViUInt16 b) { return (mask & a) && (mask & b); }

ViStatus firstError(ViStatus current, ViStatus next) { return current < 0 ? current : next; }

} // namespace

ViStatus viWrite(ViSession vi, ViConstBuf buffer, ViUInt32 count, ViUInt32 *returnCount)
{
    if (returnCount)
        *returnCount = 0;
    return withSession(vi, [&](Session &s) {
        if (!buffer && count > 0)
            return VI_ERROR_USER_BUF;
        const ViStatus status =
            s.send(std::string_view(reinterpret_cast<const char *>(buffer), buffer ? count : 0), true);
        if (status >= 0 && returnCount)
            *returnCount = count;
        return status;
    });
}

ViStatus viRead(ViSession vi, ViBuf buffer, ViUInt32 count, ViUInt32 *returnCount)
{
    if (returnCount)
        *returnCount = 0;
    return withSession(vi, [&](Session &s) {
        if (!buffer && count > 0)
            return VI_ERROR_USER_BUF;
        const ReadResult result = s.receive(count);
        if (!result.bytes.empty())
            std::memcpy(buffer, result.bytes.data(), result.bytes.size());
        if (returnCount)
            *returnCount = static_cast<ViUInt32>(result.bytes.size());
        if (result.status < 0)
            return result.status;
        switch (result.end) {
        case ReadEnd::End: return static_cast<ViStatus>(VI_SUCCESS);
        case ReadEnd::TermChar: return static_cast<ViStatus>(VI_SUCCESS_TERM_CHAR);
        case ReadEnd::Count: break;
        }
        return static_cast<ViStatus>(VI_SUCCESS_MAX_CNT);
    });
}

ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size)
{
    return withSession(vi, [&](Session &s) -> ViStatus {
        if (mask == 0 || (mask & ~setBufMask) != 0)
            return VI_ERROR_INV_MASK;
        if (size == 0 || size > maxBufferSize)
            return VI_ERROR_ALLOC;
        ViStatus status = VI_SUCCESS;
        if (mask & VI_WRITE_BUF) {
            status = s.flushWriteBuffer(true);
            s.writeBufferSize = size;
        }
        if (mask & VI_READ_BUF) {
            (void)s.flushReadBuffer(false);
            s.readBufferSize = size;
        }
        if (status >= 0 && (mask & (VI_IO_IN_BUF | VI_IO_OUT_BUF)))
            status = VI_WARN_NSUP_BUF; // the operating system sizes those
        return status;
    });
}

ViStatus viFlush(ViSession vi, ViUInt16 mask)
{
    return withSession(vi, [&](Session &s) -> ViStatus {
        if (mask == 0 || (mask & ~flushMask) != 0 || both(mask, VI_READ_BUF, VI_READ_BUF_DISCARD) ||
            both(mask, VI_WRITE_BUF, VI_WRITE_BUF_DISCARD) || both(mask, VI_IO_IN_BUF, VI_IO_IN_BUF_DISCARD) ||
            both(mask, VI_IO_OUT_BUF, VI_IO_OUT_BUF_DISCARD))
            return VI_ERROR_INV_MASK;
        ViStatus status = VI_SUCCESS;
        if (mask & VI_WRITE_BUF)
            status = s.flushWriteBuffer(true);
        if (mask & VI_WRITE_BUF_DISCARD)
            s.discardWriteBuffer();
        if (mask & (VI_READ_BUF | VI_READ_BUF_DISCARD))
            status = firstError(status, s.flushReadBuffer((mask & VI_READ_BUF) != 0));
        if (mask & (VI_IO_IN_BUF | VI_IO_IN_BUF_DISCARD))
            s.transport().discardInput();
        if (mask & VI_IO_OUT_BUF_DISCARD)
            s.transport().discardOutput();
        return status;
    });
}

ViStatus viClear(ViSession vi)
{
    return withSession(vi, [](Session &s) {
        s.discardWriteBuffer();
        (void)s.flushReadBuffer(false);
        s.forgetLateInput(); // the clear drops it anyway
        return s.transport().clear(s.attrs.timeoutMs);
    });
}
