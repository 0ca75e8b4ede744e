#include "callback_support.h"
#include "callbacks.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace qx::app {

std::unique_ptr<monitor::Poller> pollerOnWorker(JobKey key)
{
    return std::make_unique<monitor::Poller>(
        [key](std::function<void()> job) {
            instrumentWorker().submit(key, [job = std::move(job)] {
                job();
                return 0;
            });
        },
        liveSession); // called in the job, on the worker, which owns the session
}

void endMonitoring(std::unique_ptr<monitor::Poller> poller, monitor::Subscription subscription)
{
    if (poller)
        poller->stop();
    if (ui::ProcessSystemEvents() != 0) { // not the user-interface thread: nothing waits for it
        subscription.unsubscribe();
        return;
    }
    std::atomic<bool> ended{false};
    std::thread ending([&] {
        subscription.unsubscribe();
        ended = true;
    });
    while (!ended) {
        ui::ProcessSystemEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ending.join();
}

} // namespace qx::app
