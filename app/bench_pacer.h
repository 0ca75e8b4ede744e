// The pace of sequences and logs in the front panel: the platform's clock (virtual in tests),
// waits cut into tenths of a second so that an abort is seen soon.
#pragma once

#include "runner.h"
#include "runtime/clock.h"

#include <algorithm>

namespace qx::app {

class BenchPacer final : public sequence::Pacer {
public:
    double now() override { return runtime::currentClock().now(); }
    void sleep(double seconds, const std::atomic<bool> &abort) override
    {
        for (double left = seconds; left > 0.0 && !abort; left -= kSlice)
            runtime::Delay(std::min(left, kSlice));
    }

private:
    static constexpr double kSlice = 0.1;
};

} // namespace qx::app
