#include "poller.h"

#include "reading.h"
#include "runtime/clock.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>

namespace qx::monitor {
namespace {

constexpr double kSlice = 0.1;      // the longest wait between two looks at stop()
constexpr double kTolerance = 1e-9; // seconds of rounding that still count as on time

double clockNow() { return runtime::currentClock().now(); }

} // namespace

namespace detail {

// One subscriber: the latest snapshot it has not seen yet, and the thread that hands it over.
struct Slot {
    explicit Slot(Sink s) : sink(std::move(s)) {}

    void put(const std::shared_ptr<const Snapshot> &snapshot)
    {
        {
            const std::lock_guard lock(mutex);
            if (closing)
                return;
            if (latest)
                ++skipped;
            latest = snapshot;
        }
        changed.notify_one();
    }

    static void deliver(const std::shared_ptr<Slot> &self)
    {
        for (;;) {
            std::shared_ptr<const Snapshot> next;
            {
                std::unique_lock lock(self->mutex);
                self->changed.wait(lock, [&] { return self->closing || self->latest; });
                if (self->closing)
                    return;
                next = std::move(self->latest);
            }
            try {
                self->sink(*next);
            } catch (...) {
                // A sink's failure is its own business: the stream goes on.
            }
        }
    }

    void close()
    {
        {
            const std::lock_guard lock(mutex);
            closing = true;
            latest.reset();
        }
        changed.notify_one();
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach(); // the sink ended its own subscription: the loop ends when it returns
        else if (thread.joinable())
            thread.join();
    }

    const Sink sink;
    std::mutex mutex;
    std::condition_variable changed;
    std::shared_ptr<const Snapshot> latest; // under mutex
    std::uint64_t skipped = 0;              // under mutex
    bool closing = false;                   // under mutex
    std::thread thread;
};

// What the poller shares with its poll jobs and subscriptions.
struct Hub {
    explicit Hub(std::function<ViSession()> s) : session(std::move(s)) {}

    // The UTC time of a clock reading, on the wall time when the poller began: stamps keep to
    // their clock, and a virtual clock drives both.
    std::string utcAt(double clock) const
    {
        const std::chrono::duration<double> since(clock - clockStart);
        return utcText(wallStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
    }

    bool current(std::uint64_t g) const { return polling && generation == g; }

    // Under mutex, so that numbers and slots see one order.
    void handOut(Snapshot snapshot)
    {
        if (snapshot.number == 0)
            snapshot.number = ++lastNumber;
        if (snapshot.utc.empty()) {
            if (snapshot.clock == 0.0)
                snapshot.clock = clockNow();
            snapshot.utc = utcAt(snapshot.clock);
        }
        const auto shared = std::make_shared<const Snapshot>(std::move(snapshot));
        for (const std::shared_ptr<Slot> &slot : slots)
            slot->put(shared);
    }

    const std::function<ViSession()> session;
    const std::chrono::system_clock::time_point wallStart = std::chrono::system_clock::now();
    const double clockStart = clockNow();

    std::mutex mutex; // guards the rest
    bool polling = false;
    std::uint64_t generation = 0; // of start(): jobs of an earlier one do nothing
    bool queued = false;          // a poll job of this generation waits in the executor
    std::uint64_t missed = 0;
    std::vector<Channel> channels;
    std::uint64_t lastNumber = 0;
    std::vector<std::shared_ptr<Slot>> slots;
};

} // namespace detail

namespace {

// The poll job, on the executor's thread. It holds the hub only while it runs.
void poll(const std::weak_ptr<detail::Hub> &weak, std::uint64_t generation)
{
    const std::shared_ptr<detail::Hub> hub = weak.lock();
    if (!hub)
        return;
    Snapshot snapshot;
    ViSession vi = VI_NULL;
    {
        const std::lock_guard lock(hub->mutex);
        if (!hub->current(generation))
            return;
        hub->queued = false;
        snapshot.channels = hub->channels;
        if (hub->session)
            vi = hub->session(); // under the lock: after stop() it is not called again
    }
    if (vi == VI_NULL)
        return;
    snapshot.clock = clockNow();
    snapshot.utc = hub->utcAt(snapshot.clock);
    snapshot.status = measureChannels(vi, snapshot.channels, snapshot.values);
    if (snapshot.status < 0) {
        snapshot.values.clear();
        snapshot.error = readingFailure(vi, snapshot.status);
    }
    const std::lock_guard lock(hub->mutex);
    if (hub->current(generation))
        hub->handOut(std::move(snapshot));
}

} // namespace

Subscription::Subscription(std::shared_ptr<detail::Slot> slot, std::weak_ptr<detail::Hub> hub)
    : slot_(std::move(slot)), hub_(std::move(hub))
{
}

Subscription &Subscription::operator=(Subscription &&other) noexcept
{
    if (this != &other) {
        unsubscribe();
        slot_ = std::move(other.slot_);
        hub_ = std::move(other.hub_);
    }
    return *this;
}

void Subscription::unsubscribe()
{
    if (!slot_)
        return;
    if (const std::shared_ptr<detail::Hub> hub = hub_.lock()) {
        const std::lock_guard lock(hub->mutex);
        std::erase(hub->slots, slot_);
    }
    slot_->close();
    slot_.reset();
    hub_.reset();
}

std::uint64_t Subscription::skipped() const
{
    if (!slot_)
        return 0;
    const std::lock_guard lock(slot_->mutex);
    return slot_->skipped;
}

Poller::Poller(Executor executor, std::function<ViSession()> session)
    : executor_(std::move(executor)), hub_(std::make_shared<detail::Hub>(std::move(session)))
{
    if (!executor_)
        executor_ = [](const std::function<void()> &job) { job(); };
}

Poller::~Poller() { stop(); }

bool Poller::start(std::vector<Channel> channels, double interval)
{
    if (!(interval > 0.0) || !std::isfinite(interval))
        return false;
    const std::lock_guard control(control_);
    ticker_ = {}; // the last pace, if any, ends first
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(hub_->mutex);
        hub_->polling = true;
        generation = ++hub_->generation;
        hub_->queued = false;
        hub_->missed = 0;
        hub_->channels = std::move(channels);
    }
    ticker_ = std::jthread([this, generation, interval](std::stop_token stop) { pace(stop, generation, interval); });
    return true;
}

void Poller::stop()
{
    const std::lock_guard control(control_);
    {
        const std::lock_guard lock(hub_->mutex);
        hub_->polling = false;
    }
    ticker_ = {};
}

bool Poller::running() const
{
    const std::lock_guard lock(hub_->mutex);
    return hub_->polling;
}

std::uint64_t Poller::missedTicks() const
{
    const std::lock_guard lock(hub_->mutex);
    return hub_->missed;
}

void Poller::publish(Snapshot snapshot)
{
    const std::lock_guard lock(hub_->mutex);
    hub_->handOut(std::move(snapshot));
}

Subscription Poller::subscribe(Sink sink)
{
    auto slot = std::make_shared<detail::Slot>(std::move(sink));
    slot->thread = std::thread(&detail::Slot::deliver, slot);
    {
        const std::lock_guard lock(hub_->mutex);
        hub_->slots.push_back(slot);
    }
    return Subscription(std::move(slot), hub_);
}

void Poller::pace(const std::stop_token &stop, std::uint64_t generation, double interval)
{
    const double begin = clockNow();
    for (std::uint64_t n = 1;; ++n) {
        tick(generation);
        // Ticks that passed meanwhile (a poll the executor ran at once) are missed.
        for (const double now = clockNow(); begin + n * interval <= now + kTolerance; ++n) {
            const std::lock_guard lock(hub_->mutex);
            ++hub_->missed;
        }
        for (double left = begin + n * interval - clockNow(); left > kTolerance;
             left = begin + n * interval - clockNow()) {
            if (stop.stop_requested())
                return;
            runtime::currentClock().sleep(std::min(left, kSlice), runtime::WaitKind::Delay);
        }
        if (stop.stop_requested())
            return;
    }
}

void Poller::tick(std::uint64_t generation)
{
    {
        const std::lock_guard lock(hub_->mutex);
        if (!hub_->current(generation))
            return;
        if (hub_->queued) {
            ++hub_->missed;
            return;
        }
        hub_->queued = true;
    }
    try {
        executor_([hub = std::weak_ptr(hub_), generation] {
            try {
                poll(hub, generation);
            } catch (...) {
                // A poll that could not be made (no memory, a session function that threw) is
                // skipped; nothing of it reaches the front end's thread.
            }
        });
    } catch (...) {
        const std::lock_guard lock(hub_->mutex); // not queued after all: the next tick tries again
        hub_->queued = false;
    }
}

} // namespace qx::monitor
