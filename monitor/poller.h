// The monitor's poller, one per instrument session: it reads chosen measurements at a steady
// pace and hands each reading, a timestamped Snapshot, to every subscriber. A front end that runs
// a sequence publishes the sequence's own readings through it as well, so live metering, logs and
// any other face get one stream and none of them runs a polling loop of its own.
//
// Threads
// - The ticker, the poller's one thread, only keeps the pace. It waits on the platform clock, in
//   slices of at most 0.1 s so that stop() is seen soon, and at each tick (start + n * interval,
//   whatever the polls took) hands one poll job to the executor. While a job still waits there, a
//   tick queues no second one and counts as missed.
// - The executor is the front end's: it runs the job on the thread that owns the instrument (the
//   panel's instrument worker), so that a poll never interleaves with other commands on the wire.
//   The session function and every driver call run inside that job. An executor that runs the job
//   at once (a command-line client) makes the ticker that thread; ticks that pass during a poll
//   then count as missed.
// - Each subscription has a thread of its own and a latest-value slot. Handing out a snapshot
//   overwrites the slot and never waits for a sink, so a slow sink stalls neither the poll nor the
//   other sinks. A sink is called on its subscription's thread, one call at a time, newer
//   snapshots always after older ones; those overwritten before it saw them count as skipped.
// - Every member function may be called from any thread, sinks included; not from the session
//   function, and stop() and start() not from within a poll job run at once by the ticker.
// - stop() waits for the ticker's present slice only, never for the executor: a job still queued
//   then does nothing, and once stop() returns the session function is not called and no polled
//   snapshot is handed out. The poller may be destroyed while its jobs still wait in the
//   executor; subscriptions may outlive it.
#pragma once

#include "snapshot.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qx::monitor {

// Runs a job on the front end's instrument thread, now or later.
using Executor = std::function<void(std::function<void()>)>;
using Sink = std::function<void(const Snapshot &)>;

namespace detail {
struct Hub;
struct Slot;
} // namespace detail

// A subscriber's place in a poller's stream; the sink is called until the handle goes.
class Subscription {
public:
    Subscription() = default;
    ~Subscription() { unsubscribe(); }
    Subscription(Subscription &&) noexcept = default;
    Subscription &operator=(Subscription &&other) noexcept;
    Subscription(const Subscription &) = delete;
    Subscription &operator=(const Subscription &) = delete;

    // Once it returns the sink is not called again; a sink that ends its own subscription
    // finishes its present call.
    void unsubscribe();
    // Snapshots overwritten before the sink saw them.
    std::uint64_t skipped() const;

private:
    friend class Poller;
    Subscription(std::shared_ptr<detail::Slot> slot, std::weak_ptr<detail::Hub> hub);

    std::shared_ptr<detail::Slot> slot_;
    std::weak_ptr<detail::Hub> hub_;
};

class Poller {
public:
    // `session` names the session to read, VI_NULL when there is none (nothing is read then).
    // Without an executor the polls run on the ticker.
    Poller(Executor executor, std::function<ViSession()> session);
    ~Poller(); // stop()
    Poller(const Poller &) = delete;
    Poller &operator=(const Poller &) = delete;

    // Polls `channels` every `interval` seconds, the first poll now; while running, starts the
    // pace afresh with the new choice. False, and nothing changed, for an interval that is not
    // a positive number of seconds.
    bool start(std::vector<Channel> channels, double interval);
    void stop();
    bool running() const;
    // Ticks since start() that queued no poll because the last one had not run yet.
    std::uint64_t missedTicks() const;

    // Hands out a snapshot read elsewhere (Origin::Sequence) like a polled one; a number of 0
    // gets the next number, an empty utc the time of its clock (the clock now when that is 0).
    void publish(Snapshot snapshot);
    [[nodiscard]] Subscription subscribe(Sink sink);

private:
    void pace(const std::stop_token &stop, std::uint64_t generation, double interval);
    void tick(std::uint64_t generation);

    Executor executor_;
    std::shared_ptr<detail::Hub> hub_; // shared with the poll jobs, which may outlive the poller
    std::mutex control_;               // one start() or stop() at a time
    std::jthread ticker_;
};

} // namespace qx::monitor
