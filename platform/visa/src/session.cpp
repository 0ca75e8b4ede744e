// Session I/O: END rules on the way out, termination rules on the way in, and the formatted
// read and write buffers.
#include "session.h"

#include <algorithm>

#include "visa/io_trace.h"

namespace qx::visa {

Session::Session(ViSession handle_, ViSession rm_, ResourceName resource_, std::unique_ptr<Transport> transport)
    : handle(handle_), rm(rm_), resource(std::move(resource_)), name(resource.canonical()),
      transport_(std::move(transport))
{
    // A socket has no END; it ends messages with the line feed, as SOCKET sessions do elsewhere.
    if (resource.kind == ResourceKind::TcpSocket)
        attrs.termCharEnabled = VI_TRUE;
}

void Session::close()
{
    if (!closed) {
        transport_->close();
        closed = true;
    }
}

ViStatus Session::send(std::string_view bytes, bool end)
{
    if (lateInputPossible_) {
        lateInputPossible_ = false;
        transport_->discardLateInput();
    }
    const bool wantEnd = end && attrs.sendEndEnabled;
    bool busEnd = false;
    bool sendBreakAfter = false;
    std::string adjusted;
    std::string_view out = bytes;
    if (resource.kind == ResourceKind::Serial) {
        // A serial line has no END signal: END_OUT says how to mark it, if at all.
        if (wantEnd && attrs.endOut == VI_ASRL_END_TERMCHAR) {
            adjusted.assign(bytes);
            adjusted += static_cast<char>(attrs.termChar);
            out = adjusted;
        } else if (wantEnd && attrs.endOut == VI_ASRL_END_LAST_BIT && !bytes.empty()) {
            const auto mask = static_cast<unsigned char>(1u << (attrs.serial.dataBits - 1));
            adjusted.assign(bytes);
            for (std::size_t i = 0; i < adjusted.size(); ++i) {
                const auto c = static_cast<unsigned char>(adjusted[i]);
                adjusted[i] = static_cast<char>(i + 1 == adjusted.size() ? (c | mask) : (c & ~mask));
            }
            out = adjusted;
        } else if (wantEnd && attrs.endOut == VI_ASRL_END_BREAK) {
            sendBreakAfter = true;
        }
    } else {
        busEnd = wantEnd;
    }
    ViStatus status = transport_->write(out, busEnd, attrs.timeoutMs);
    traceIo(name, TraceDirection::Write, out, busEnd ? "END" : "", status);
    if (status >= 0 && sendBreakAfter)
        status = transport_->sendBreak();
    return status;
}

ReadRules Session::readRules() const
{
    ReadRules rules;
    rules.termChar = attrs.termChar;
    if (resource.kind == ResourceKind::Serial) {
        rules.honourEnd = false;
        if (attrs.endIn == VI_ASRL_END_TERMCHAR) {
            rules.stopAtTermChar = true;
            rules.termCharIsEnd = true;
        } else if (attrs.endIn == VI_ASRL_END_LAST_BIT) {
            rules.lastBitMask = static_cast<ViUInt8>(1u << (attrs.serial.dataBits - 1));
        }
    }
    if (!rules.stopAtTermChar && attrs.termCharEnabled)
        rules.stopAtTermChar = true;
    return rules;
}

ReadResult Session::receive(std::size_t max)
{
    ReadResult result = transport_->read(max, readRules(), attrs.timeoutMs);
    // A read cut short leaves the rest of the answer to come; a later read that gets to its end
    // has taken it, and there is nothing left to throw away.
    if (result.status == VI_ERROR_TMO)
        lateInputPossible_ = true;
    else if (result.status >= 0 && result.end != ReadEnd::Count)
        lateInputPossible_ = false;
    const char *ending = result.end == ReadEnd::End ? "END" : (result.end == ReadEnd::TermChar ? "TERMCHAR" : "");
    traceIo(name, TraceDirection::Read, result.bytes, ending, result.status);
    return result;
}

ViStatus Session::flushWriteBuffer(bool end)
{
    if (writeBuffer_.empty())
        return VI_SUCCESS;
    const ViStatus status = send(writeBuffer_, end);
    writeBuffer_.clear();
    return status;
}

ViStatus Session::bufferedWrite(std::string_view bytes, const std::vector<std::size_t> &messageEnds)
{
    std::size_t pos = 0;
    for (std::size_t e = 0; e <= messageEnds.size(); ++e) {
        const std::size_t stop = e < messageEnds.size() ? std::min(messageEnds[e], bytes.size()) : bytes.size();
        while (pos < stop) {
            const std::size_t take = std::min(stop - pos, writeBufferSize - writeBuffer_.size());
            writeBuffer_.append(bytes.substr(pos, take));
            pos += take;
            // A full buffer goes out without END, unless the END flush follows at once.
            if (writeBuffer_.size() >= writeBufferSize && pos < stop)
                if (const ViStatus status = flushWriteBuffer(false); status < 0)
                    return status;
        }
        if (e < messageEnds.size())
            if (const ViStatus status = flushWriteBuffer(true); status < 0)
                return status;
    }
    if (attrs.writeBufferMode == VI_FLUSH_ON_ACCESS)
        return flushWriteBuffer(true);
    if (writeBuffer_.size() >= writeBufferSize)
        return flushWriteBuffer(false);
    return VI_SUCCESS;
}

void Session::resetReadBuffer()
{
    readBuffer_.clear();
    readPos_ = 0;
    haveMessage_ = false;
    messageEnded_ = false;
}

void Session::beginFormattedRead()
{
    bytesThisCall_ = 0;
    failure_ = VI_SUCCESS;
    if (readPos_ >= readBuffer_.size() && messageEnded_)
        resetReadBuffer(); // the last message is used up: the next input is a new one
}

int Session::peek(bool mayFetch)
{
    while (readPos_ >= readBuffer_.size()) {
        if (!mayFetch || (haveMessage_ && messageEnded_))
            return NoInput;
        if (bytesThisCall_ >= maxBytesPerFormattedRead) {
            failure_ = VI_ERROR_INV_RESPONSE;
            return Failed;
        }
        ReadResult result = receive(readBufferSize);
        if (result.status < 0) {
            // Whatever arrived before the failure is of no use to anybody.
            failure_ = result.status;
            resetReadBuffer();
            return Failed;
        }
        bytesThisCall_ += result.bytes.size();
        readBuffer_ = std::move(result.bytes);
        readPos_ = 0;
        haveMessage_ = true;
        messageEnded_ = result.end != ReadEnd::Count;
    }
    return static_cast<unsigned char>(readBuffer_[readPos_]);
}

void Session::advance()
{
    if (readPos_ < readBuffer_.size())
        ++readPos_;
}

ViStatus Session::flushReadBuffer(bool drain)
{
    const bool unfinished = haveMessage_ && !messageEnded_;
    resetReadBuffer();
    if (!drain || !unfinished)
        return VI_SUCCESS;
    for (std::size_t dropped = 0; dropped < maxBytesPerFormattedRead;) {
        const ReadResult result = receive(readBufferSize);
        if (result.status < 0)
            return result.status;
        if (result.end != ReadEnd::Count)
            return VI_SUCCESS;
        dropped += result.bytes.size();
    }
    return VI_SUCCESS;
}

} // namespace qx::visa
