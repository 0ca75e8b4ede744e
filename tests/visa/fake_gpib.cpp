#include "fake_gpib.h"

#include <algorithm>
#include <cstring>

using fake_gpib::bus;

extern "C" {
FAKE_GPIB_EXPORT volatile int ibsta = 0;
FAKE_GPIB_EXPORT volatile int iberr = 0;
FAKE_GPIB_EXPORT volatile long ibcntl = 0;
}

namespace {

constexpr int ERR = 0x8000, TIMO = 0x4000, END = 0x2000, CMPL = 0x0100; // ibsta bits
constexpr int REOS = 0x0400;                                             // ibeos: end reads at the EOS byte
constexpr int EABO = 6;
constexpr int descriptor = 3;

int status(int sta, int err = 0, long count = 0)
{
    ibsta = sta;
    iberr = err;
    ibcntl = count;
    return sta;
}

} // namespace

extern "C" {
FAKE_GPIB_EXPORT int ThreadIbsta() { return ibsta; }
FAKE_GPIB_EXPORT int ThreadIberr() { return iberr; }
FAKE_GPIB_EXPORT long ThreadIbcntl() { return ibcntl; }

FAKE_GPIB_EXPORT int ibdev(int board, int pad, int sad, int timeout, int sendEoi, int eos)
{
    fake_gpib::Bus &b = bus();
    if (b.failOpen >= 0) {
        status(ERR, std::exchange(b.failOpen, -1));
        return -1;
    }
    b.ibdev = {board, pad, sad, timeout, sendEoi, eos};
    b.online = true;
    b.eoi = sendEoi != 0;
    status(CMPL);
    return descriptor;
}

FAKE_GPIB_EXPORT int ibwrt(int, const void *buffer, long count)
{
    fake_gpib::Bus &b = bus();
    if (b.failWrite >= 0)
        return status(ERR, std::exchange(b.failWrite, -1));
    b.writes.push_back({std::string(static_cast<const char *>(buffer), static_cast<std::size_t>(count)), b.eoi});
    return status(CMPL, 0, count);
}

FAKE_GPIB_EXPORT int ibrd(int, void *buffer, long count)
{
    fake_gpib::Bus &b = bus();
    if (b.answers.empty())
        return status(ERR | TIMO, EABO);
    auto &[bytes, end] = b.answers.front();
    std::size_t n = std::min(static_cast<std::size_t>(count), bytes.size());
    const std::size_t eosAt = b.eosMode & REOS ? bytes.find(static_cast<char>(b.eosMode & 0xFF)) : std::string::npos;
    const bool eos = eosAt < n;
    if (eos)
        n = eosAt + 1;
    std::memcpy(buffer, bytes.data(), n);
    bytes.erase(0, n);
    const bool eoi = bytes.empty() && end;
    if (bytes.empty())
        b.answers.pop_front();
    return status(CMPL | (eoi || eos ? END : 0), 0, static_cast<long>(n));
}

// A device clear empties the instrument's output queue.
FAKE_GPIB_EXPORT int ibclr(int) { ++bus().clears, bus().answers.clear(); return status(CMPL); }
FAKE_GPIB_EXPORT int ibtmo(int, int timeout) { bus().timeoutCode = timeout; return status(CMPL); }
FAKE_GPIB_EXPORT int ibonl(int, int online) { bus().online = online != 0; return status(CMPL); }
FAKE_GPIB_EXPORT int ibeot(int, int sendEoi) { bus().eoi = sendEoi != 0; return status(CMPL); }
FAKE_GPIB_EXPORT int ibeos(int, int eos) { bus().eosMode = eos; return status(CMPL); }
}

fake_gpib::Bus &fake_gpib::bus()
{
    static Bus instance;
    return instance;
}
