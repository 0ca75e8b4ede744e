// The front panel's instrument worker: one thread that runs the callbacks' instrument work (the
// driver calls, their pauses and the panel updates between them, in the callbacks' own order),
// so that the user-interface thread never waits for the instrument.
//
// Jobs run one at a time in the order they came. A setting that has not been sent yet is not
// queued twice: the same setting changed again meanwhile (ten arrow presses on the voltage)
// replaces it in its place and runs once, with the latest value. An action (a drop, a
// measurement, a register operation) is queued each time: three presses are three drops. While
// jobs run, the wait cursor shows.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qx::app {

// What a job answers: an operator action on a panel or control, by event.
struct JobKey {
    int panel = 0;
    int control = 0; // 0 for a panel event
    int event = 0;
    bool operator==(const JobKey &) const = default;
};

class InstrumentWorker {
public:
    InstrumentWorker();
    ~InstrumentWorker(); // stop()
    InstrumentWorker(const InstrumentWorker &) = delete;
    InstrumentWorker &operator=(const InstrumentWorker &) = delete;

    // Queues the job; a setting (Merge::Latest) takes the place of a waiting job with the same
    // key instead. After stop() jobs are dropped.
    enum class Merge { Latest, Never };
    void submit(JobKey key, std::function<int()> job, Merge merge = Merge::Latest);
    // On the user-interface thread: waits until no job runs or waits, handling the toolkit's
    // events (and the worker's calls into it) meanwhile.
    void waitIdle();
    // The results of the jobs run since the last call, in order (taken away; the latest
    // kKeptResults when nobody took them).
    std::vector<int> takeResults();
    // Drops the jobs that wait and waits for the running one to end. Close the user interface
    // first, so that a job waiting for it gives up.
    void stop();

    static constexpr std::size_t kKeptResults = 64;

private:
    struct Job {
        JobKey key;
        std::function<int()> run;
        Merge merge = Merge::Latest;
    };
    void loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::vector<int> results_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the rest exists
};

// The program's one worker, started on first use.
InstrumentWorker &instrumentWorker();

} // namespace qx::app
