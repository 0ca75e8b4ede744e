// Virtual time that the test hands out, for code that keeps a pace on a thread of its own (a
// poller's ticker). Waits on the free threads (the test's own, where the clock was made, and any
// the test names: an instrument worker whose driver pauses must not hold it up) pass at once into
// the timeline; any other thread's wait ends only when the test lets the time come, or returns at
// once, no time passing, while released (so that it sees a stop).
#pragma once

#include "runtime/clock.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace qx::test {

class HeldClock : public runtime::Clock {
public:
    explicit HeldClock(runtime::Timeline &timeline) : timeline_(timeline) {}
    void sleep(double seconds, runtime::WaitKind kind) override
    {
        std::unique_lock lock(mutex_);
        if (std::find(free_.begin(), free_.end(), std::this_thread::get_id()) != free_.end())
            return now_ += seconds, timeline_.wait(seconds, kind);
        const double until = parkedAt_ = now_ + seconds;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_ || until <= allowed_ + kTolerance; });
        now_ = released_ ? now_ : std::max(now_, until);
    }
    double now() const override
    {
        const std::lock_guard lock(mutex_);
        return now_;
    }
    void free(std::thread::id thread)
    {
        const std::lock_guard lock(mutex_);
        free_.push_back(thread);
    }
    // Lets the held waits run to `time`; returns once one waits for a later one.
    void runTo(double time)
    {
        std::unique_lock lock(mutex_);
        allowed_ = time, changed_.notify_all();
        changed_.wait(lock, [&] { return parkedAt_ > allowed_ + kTolerance; });
    }
    void release(bool released)
    {
        const std::lock_guard lock(mutex_);
        released_ = released, parkedAt_ = -1.0, changed_.notify_all();
    }

    static constexpr double kTolerance = 1e-9;

private:
    runtime::Timeline &timeline_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread::id> free_{std::this_thread::get_id()};
    double now_ = 0.0, allowed_ = 0.0, parkedAt_ = -1.0;
    bool released_ = false;
};

} // namespace qx::test
