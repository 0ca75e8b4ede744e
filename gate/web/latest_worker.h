// The thread that owns one instrument's driver session: jobs run there one at a time, in order.
// A job given under the key of one still waiting takes its place (the latest wins), so a poll
// never queues behind another poll and a setting sent twice goes out once, with the newer value.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qx::gate::web {

class LatestWorker {
public:
    // `dropped` of a job is called (on the caller's thread) when a newer one takes its place or
    // the worker stops before running it.
    struct Job {
        std::string key;
        std::function<void()> run;
        std::function<void()> dropped;
    };

    LatestWorker();
    // stop()
    ~LatestWorker();
    LatestWorker(const LatestWorker &) = delete;
    LatestWorker &operator=(const LatestWorker &) = delete;

    // False, and `job.dropped` called, once stopped.
    bool submit(Job job);
    // Drops what waits, lets the job in hand finish and joins the thread.
    void stop();

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_; // under mutex_
    bool stopping_ = false; // under mutex_
    std::thread thread_;
};

} // namespace qx::gate::web
