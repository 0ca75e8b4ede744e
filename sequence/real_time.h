// The pace of a sequence or a log run outside the front panel: real time, with waits that an abort
// (Ctrl-C in qxctl) cuts short within a tenth of a second.
#pragma once

#include "runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace qx::sequence {

class RealTime final : public Pacer {
public:
    double now() override { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }
    void sleep(double seconds, const std::atomic<bool> &abort) override
    {
        const Clock::time_point end =
            Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        const Clock::duration slice = std::chrono::milliseconds(100); // how soon Ctrl-C is seen
        while (!abort && Clock::now() < end)
            std::this_thread::sleep_for(std::min(end - Clock::now(), slice));
    }

private:
    using Clock = std::chrono::steady_clock;
};

} // namespace qx::sequence
