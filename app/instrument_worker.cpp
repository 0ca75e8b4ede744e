#include "instrument_worker.h"

#include "ui/toolkit.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace qx::app {

InstrumentWorker::InstrumentWorker() : thread_([this] { loop(); }) {}

InstrumentWorker::~InstrumentWorker() { stop(); }

void InstrumentWorker::submit(JobKey key, std::function<int()> job, Merge merge)
{
    std::lock_guard lock(mutex_);
    if (stopping_)
        return;
    const auto waiting = std::find_if(queue_.begin(), queue_.end(),
                                      [&](const Job &j) { return j.key == key && j.merge == Merge::Latest; });
    if (merge == Merge::Latest && waiting != queue_.end())
        waiting->run = std::move(job); // in its place, with the latest value
    else
        queue_.push_back({key, std::move(job), merge});
    changed_.notify_all();
}


void InstrumentWorker::waitIdle()
{
    std::unique_lock lock(mutex_);
    while (running_ || !queue_.empty()) {
        lock.unlock();
        ui::ProcessSystemEvents();
        lock.lock();
        // Woken by the job's end; the bound only lets the worker's toolkit calls through.
        changed_.wait_for(lock, std::chrono::milliseconds(1), [&] { return !running_ && queue_.empty(); });
    }
}

std::vector<int> InstrumentWorker::takeResults()
{
    std::lock_guard lock(mutex_);
    return std::exchange(results_, {});
}

void InstrumentWorker::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        changed_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
}

void InstrumentWorker::loop()
{
    bool cursorShown = false;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        running_ = true;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (!cursorShown)
            cursorShown = ui::SetWaitCursor(1) == 0;
        int result = ui::UIE_INTERNAL;
        try {
            result = job.run();
        } catch (...) {
            // A job that throws ends there; the worker goes on with the next.
        }
        lock.lock();
        if (results_.size() == kKeptResults)
            results_.erase(results_.begin());
        results_.push_back(result);
        if (!queue_.empty())
            continue;
        lock.unlock();
        if (cursorShown)
            ui::SetWaitCursor(0);
        cursorShown = false;
        lock.lock();
        // Idle only once the cursor is back, so that whoever waits for idle sees it so.
        running_ = !queue_.empty();
        changed_.notify_all();
    }
}

InstrumentWorker &instrumentWorker()
{
    static InstrumentWorker *worker = new InstrumentWorker; // never destroyed: see stop()
    return *worker;
}

} // namespace qx::app
