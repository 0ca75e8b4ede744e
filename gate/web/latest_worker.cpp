#include "latest_worker.h"

#include <algorithm>

namespace qx::gate::web {
namespace {

void call(const std::function<void()> &f) noexcept
{
    try {
        if (f)
            f();
    } catch (...) {
        // A job's failure is its own to report.
    }
}

} // namespace

LatestWorker::LatestWorker() : thread_(&LatestWorker::loop, this) {}

LatestWorker::~LatestWorker() { stop(); }

bool LatestWorker::submit(Job job)
{
    std::function<void()> replaced;
    bool accepted = true;
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            accepted = false;
            replaced = std::move(job.dropped);
        } else {
            const auto same =
                std::find_if(queue_.begin(), queue_.end(), [&](const Job &j) { return j.key == job.key; });
            if (same != queue_.end()) {
                replaced = std::move(same->dropped);
                *same = std::move(job);
            } else {
                queue_.push_back(std::move(job));
            }
        }
    }
    wake_.notify_one();
    call(replaced);
    return accepted;
}

void LatestWorker::stop()
{
    std::deque<Job> left;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        left.swap(queue_);
    }
    wake_.notify_one();
    for (const Job &j : left)
        call(j.dropped);
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void LatestWorker::loop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        call(job.run);
    }
}

} // namespace qx::gate::web
