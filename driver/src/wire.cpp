#include "wire.h"

namespace zev {

ViStatus readRawAnswer(ViSession io, ViChar (&text)[512])
{
    ViUInt32 received = 0;
    const ViStatus status = viRead(io, reinterpret_cast<ViBuf>(text), sizeof text - 1, &received);
    if (status < 0)
        return status;
    text[received < sizeof text ? received : sizeof text - 1] = '\0';
    // Bounded, so a babbling instrument cannot hold the caller.
    constexpr int kMaxChunks = 64;
    ViByte scratch[512];
    ViUInt32 count = 0;
    for (int chunk = 0; chunk < kMaxChunks && status == VI_SUCCESS_MAX_CNT; ++chunk)
        if (viRead(io, scratch, sizeof scratch, &count) != VI_SUCCESS_MAX_CNT)
            break;
    return VI_SUCCESS;
}

} // namespace zev
