#include "fake_gpib.h"

#include <algorithm>
#include <cstring>

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

int status(int sta, int err, long count)
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
    fake_gpib::Bus &b = fake_gpib::bus();
    if (b.failOpen >= 0) {
        status(ERR, std::exchange(b.failOpen, -1), 0);
        return -1;
    }
    b.ibdev = {board, pad, sad, timeout, sendEoi, eos};
    b.online = true;
    b.eoi = sendEoi != 0;
    status(CMPL, 0, 0);
    return descriptor;
}

FAKE_GPIB_EXPORT int ibwrt(int, const void *buffer, long count)
{
    fake_gpib::Bus &b = fake_gpib::bus();
    if (b.failWrite >= 0)
        return status(ERR, std::exchange(b.failWrite, -1), 0);
    b.writes.push_back({std::string(static_cast<const char *>(buffer), static_cast<std::size_t>(count)), b.eoi});
    return status(CMPL, 0, count);
}

FAKE_GPIB_EXPORT int ibrd(int, void *buffer, long count)
{
    fake_gpib::Bus &b = fake_gpib::bus();
    if (b.answers.empty())
        return status(ERR | TIMO, EABO, 0);
    auto &[bytes, end] = b.answers.front();
    std::size_t n = std::min(static_cast<std::size_t>(count), bytes.size());
    bool eos = false;
    if (b.eosMode & REOS) {
        const std::size_t at = bytes.find(static_cast<char>(b.eosMode & 0xFF));
        if (at != std::string::npos && at < n) {
            n = at + 1;
            eos = true;
        }
    }
    std::memcpy(buffer, bytes.data(), n);
    bytes.erase(0, n);
    const bool last = bytes.empty();
    const bool eoi = last && end;
    if (last)
        b.answers.pop_front();
    return status(CMPL | (eoi || eos ? END : 0), 0, static_cast<long>(n));
}

FAKE_GPIB_EXPORT int ibclr(int)
{
    ++fake_gpib::bus().clears;
    fake_gpib::bus().answers.clear(); // a device clear empties the instrument's output queue
    return status(CMPL, 0, 0);
}

FAKE_GPIB_EXPORT int ibtmo(int, int timeout)
{
    fake_gpib::bus().timeoutCode = timeout;
    return status(CMPL, 0, 0);
}

FAKE_GPIB_EXPORT int ibonl(int, int online)
{
    fake_gpib::bus().online = online != 0;
    return status(CMPL, 0, 0);
}

FAKE_GPIB_EXPORT int ibeot(int, int sendEoi)
{
    fake_gpib::bus().eoi = sendEoi != 0;
    return status(CMPL, 0, 0);
}

FAKE_GPIB_EXPORT int ibeos(int, int eos)
{
    fake_gpib::bus().eosMode = eos;
    return status(CMPL, 0, 0);
}
}

namespace fake_gpib {
Bus &bus()
{
    static Bus instance;
    return instance;
}
} // namespace fake_gpib
