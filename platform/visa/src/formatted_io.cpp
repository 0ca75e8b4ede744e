// viPrintf / viScanf on a session: check first, then the I/O through the formatted buffers.
#include "format_engine.h"
#include "session.h"

namespace qx::visa::detail {

ViStatus printfArgs(ViSession vi, const char *format, const PrintArg *args, std::size_t count) noexcept
{
    return withSession(vi, [&](Session &s) {
        if (!format)
            return VI_ERROR_USER_BUF;
        std::string out;
        std::vector<std::size_t> messageEnds;
        if (const ViStatus status = formatOutput(format, args, count, out, messageEnds); status < 0)
            return status;
        const ViStatus status = s.bufferedWrite(out, messageEnds);
        if (status < 0)
            s.discardWriteBuffer(); // what did not go out is not sent later
        return status;
    });
}

ViStatus scanfArgs(ViSession vi, const char *format, const ScanArg *args, std::size_t count) noexcept
{
    return withSession(vi, [&](Session &s) {
        if (!format)
            return VI_ERROR_USER_BUF;
        if (const ViStatus status = checkScan(format, args, count); status < 0)
            return status;
        s.beginFormattedRead();
        std::vector<ScanValue> values;
        ViStatus status = scanFormatted(format, args, count, s, values);
        if ((status >= 0 || status == VI_ERROR_INV_RESPONSE) && s.attrs.readBufferMode == VI_FLUSH_ON_ACCESS) {
            const ViStatus flushed = s.flushReadBuffer(true);
            if (status >= 0 && flushed < 0)
                status = flushed;
        }
        if (status >= 0)
            commitScan(args, count, values);
        return status;
    });
}

} // namespace qx::visa::detail
