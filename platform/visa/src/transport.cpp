#include "transport.h"

#include <algorithm>
#include <climits>

namespace qx::visa {

ReadResult ChunkedTransport::read(std::size_t max, const ReadRules &rules, ViUInt32 timeoutMs)
{
    ReadResult result;
    const Deadline deadline(timeoutMs);
    while (result.bytes.size() < max) {
        if (pending_.empty() && !pendingEnd_) {
            Chunk chunk = fetch(max - result.bytes.size(), deadline);
            if (chunk.status < 0) {
                result.status = chunk.status;
                return result;
            }
            pending_ = std::move(chunk.bytes);
            pendingEnd_ = chunk.end && rules.honourEnd;
            if (pending_.empty() && !pendingEnd_) {
                if (deadline.remainingMs() == 0) {
                    result.status = VI_ERROR_TMO;
                    return result;
                }
                continue;
            }
        }
        std::size_t taken = 0;
        ReadEnd stop = ReadEnd::Count;
        while (taken < pending_.size() && result.bytes.size() + taken < max) {
            const auto byte = static_cast<ViUInt8>(pending_[taken++]);
            if (rules.stopAtTermChar && byte == rules.termChar) {
                stop = rules.termCharIsEnd ? ReadEnd::End : ReadEnd::TermChar;
                break;
            }
            if (rules.lastBitMask != 0 && (byte & rules.lastBitMask) != 0) {
                stop = ReadEnd::End;
                break;
            }
        }
        result.bytes.append(pending_, 0, taken);
        pending_.erase(0, taken);
        if (pending_.empty() && pendingEnd_) {
            // END belongs to the last byte of the chunk, which this read has now taken.
            pendingEnd_ = false;
            stop = ReadEnd::End;
        }
        if (stop != ReadEnd::Count) {
            result.end = stop;
            return result;
        }
    }
    return result;
}

void ChunkedTransport::discardInput()
{
    pending_.clear();
    pendingEnd_ = false;
}

void ChunkedTransport::discardLateInput()
{
    discardInput();
    // What is still below the transport's own buffers: fetch with no time to wait, bounded so that
    // a babbling instrument cannot hold the caller.
    constexpr std::size_t maxDiscarded = 1u << 20;
    const Deadline now(0);
    for (std::size_t dropped = 0; dropped < maxDiscarded;) {
        const Chunk chunk = fetch(4096, now);
        if (chunk.status < 0 || chunk.bytes.empty())
            break;
        dropped += chunk.bytes.size();
    }
}

ViUInt32 ChunkedTransport::available()
{
    const std::size_t total = pending_.size() + availableBelow();
    return total > UINT32_MAX ? UINT32_MAX : static_cast<ViUInt32>(total);
}

namespace {

constexpr TransportClass transportClasses[] = {
    {ResourceKind::Serial, openSerialTransport},
    {ResourceKind::Gpib, openGpibTransport},
    {ResourceKind::TcpSocket, openTcpTransport},
    {ResourceKind::Vxi11, openVxi11Transport},
};

} // namespace

ViStatus openTransport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out)
{
    if (auto inProcess = openInProcessTransport(name)) {
        out = std::move(inProcess);
        return VI_SUCCESS;
    }
    const auto *entry = std::find_if(std::begin(transportClasses), std::end(transportClasses),
                                     [&](const TransportClass &c) { return c.kind == name.kind; });
    if (entry == std::end(transportClasses))
        return VI_ERROR_RSRC_NFOUND;
    return entry->open(name, openTimeoutMs, out);
}

} // namespace qx::visa
