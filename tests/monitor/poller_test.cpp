// The poller: the exact traffic of a poll and the snapshot it makes, a failed reading, the pace
// on its grid with missed ticks, jobs left in the executor, subscribers that lag.
#include "driver_fixture.h"
#include "held_clock.h"
#include "poller.h"

#include <gmock/gmock.h>

#include <ctime>
#include <deque>
#include <optional>

using namespace qx::test;
using namespace qx::monitor;
using ::testing::DoubleNear;
using ::testing::ElementsAre;

namespace {

constexpr double kTolerance = HeldClock::kTolerance;

// What a sink was handed; until() waits for the snapshot numbered `number` (the bound only ends a
// hang).
struct Seen {
    Sink sink()
    {
        return [this](const Snapshot &s) {
            const std::lock_guard lock(mutex);
            snapshots.push_back(s), numbers.push_back(s.number), changed.notify_all();
        };
    }
    std::vector<Snapshot> until(std::uint64_t number)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(20), [&] { return !numbers.empty() && numbers.back() >= number; });
        return snapshots;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Snapshot> snapshots;
    std::vector<std::uint64_t> numbers;
};

double utcSeconds(const std::string &utc)
{
    std::tm t{};
    strptime(utc.c_str(), "%Y-%m-%dT%H:%M:%S", &t);
    return static_cast<double>(timegm(&t)) + std::stoi(utc.substr(20, 3)) / 1000.0;
}

// The test's thread plays the instrument worker: it runs the queued polls when it chooses.
class Monitor : public DriverTest {
protected:
    ~Monitor() override { held.release(true), poller.reset(); }
    Poller &make(std::function<ViSession()> session)
    {
        return poller.emplace(
            [this](std::function<void()> job) {
                const std::lock_guard lock(jobsMutex);
                queuedAt.push_back(held.now()), jobs.push_back(std::move(job));
            },
            std::move(session));
    }
    void runJobs()
    {
        for (std::unique_lock lock(jobsMutex); !jobs.empty(); lock.lock()) {
            const std::function<void()> job = std::move(jobs.front());
            jobs.pop_front(), lock.unlock(), job();
        }
    }

    HeldClock held{timeline};
    qx::runtime::ScopedClock heldGuard{held};
    std::mutex jobsMutex;
    std::deque<std::function<void()>> jobs;
    std::vector<double> queuedAt; // the clock when each poll was queued
    std::optional<Poller> poller;
};

} // namespace

TEST_F(Monitor, APollIsTheChannelsMeasuredInOrderOnTheExecutor)
{
    device->answer("MEAS:VOLT?", "230.5");
    device->answer("MEAS:CURR?", "2.25");
    const ViSession vi = open(kGpib);
    Poller &p = make([vi] { return vi; });
    Seen seen;
    const Subscription subscription = p.subscribe(seen.sink());
    const std::vector<Channel> channels = {{"voltage", 1}, {"current", 1}};
    const double begin = held.now(); // after the opening's pauses
    ASSERT_TRUE(p.start(channels, 1.0));
    held.runTo(begin);
    EXPECT_EQ(events(), Events{}) << "the ticker itself reads nothing";
    runJobs();
    EXPECT_EQ(take(), (Events{"> INST:NSEL 1", "wait 0.03", "> MEAS:VOLT?", "> INST:NSEL 1", "wait 0.03", "> MEAS:CURR?"}));
    const Snapshot s = seen.until(1).at(0);
    EXPECT_EQ(std::tie(s.number, s.clock, s.channels, s.values, s.status, s.origin),
              std::make_tuple(1u, begin, channels, std::vector{230.5, 2.25}, VI_SUCCESS, Origin::Poll));

    device->silentOn("MEAS:CURR?");
    held.runTo(begin + 1.0);
    runJobs();
    const Snapshot failed = seen.until(2).at(1);
    EXPECT_EQ(std::tie(failed.status, failed.values, failed.error),
              std::make_tuple(VI_ERROR_TMO, std::vector<double>{},
                              "Timeout expired before operation completed (status 0xBFFF0015)"));
    EXPECT_EQ(errorInfo(vi), ErrorInfo{}) << "the failed reading took its error information";
    // Stamps keep to the clock, from the wall time when the poller began.
    EXPECT_NEAR(utcSeconds(s.utc), utcSeconds(utcTimestamp()), 60.0);
    EXPECT_NEAR(utcSeconds(failed.utc) - utcSeconds(s.utc), 1.0, 0.0015);
}

TEST_F(Monitor, TicksKeepToTheirGridAndQueueNoSecondPoll)
{
    Poller &p = make([] { return ViSession{VI_NULL}; });
    p.start({{"voltage", 0}}, 1.0);
    held.runTo(2.5);
    EXPECT_EQ(p.missedTicks(), 2u);
    runJobs(); // the poll runs late
    held.runTo(4.0);
    EXPECT_THAT(queuedAt, ElementsAre(DoubleNear(0.0, kTolerance), DoubleNear(3.0, kTolerance)));
    EXPECT_EQ(p.missedTicks(), 3u);
}

TEST_F(Monitor, AJobLeftInTheExecutorDoesNothingAfterARestartAStopOrTheEnd)
{
    int reads = 0;
    Poller &p = make([&] { return ++reads, ViSession{VI_NULL}; });
    p.start({{"voltage", 0}}, 1.0);
    held.runTo(0.0);
    held.release(true);
    p.start({{"current", 0}}, 1.0);
    held.release(false);
    held.runTo(0.0);
    runJobs();
    EXPECT_EQ(reads, 1) << "only the restarted pace's poll reads";

    held.runTo(1.0);
    held.release(true);
    p.stop(); // returns with the poll still queued
    EXPECT_FALSE(p.running());
    runJobs();
    held.release(false);
    p.start({{"voltage", 0}}, 1.0);
    held.runTo(1.0);
    held.release(true);
    poller.reset();
    runJobs();
    EXPECT_EQ(reads, 1);
}

TEST_F(Monitor, ASlowSinkSkipsToTheLatestWithoutStallingTheOthers)
{
    Poller &p = make([] { return ViSession{VI_NULL}; });
    std::promise<void> letGo;
    const std::shared_future<void> gate = letGo.get_future().share();
    Seen slow, fast;
    const Subscription slowOne = p.subscribe([&, add = slow.sink()](const Snapshot &s) { gate.wait(), add(s); });
    const Subscription fastOne = p.subscribe(fast.sink());
    {
        const auto publish = [&] { for (int i = 0; i < 100; ++i) p.publish({.origin = Origin::Sequence}); };
        std::jthread a(publish), b(publish);
    } // both publishers are done while the slow sink still waits
    fast.until(200);
    letGo.set_value();
    slow.until(200);
    for (const std::vector<std::uint64_t> &n : {fast.numbers, slow.numbers})
        EXPECT_TRUE(!n.empty() && n.back() == 200 && std::adjacent_find(n.begin(), n.end(), std::greater_equal{}) == n.end());
    EXPECT_EQ(slowOne.skipped() + slow.numbers.size(), 200u);
    EXPECT_EQ(fastOne.skipped() + fast.numbers.size(), 200u);
    EXPECT_LE(slow.numbers.size(), 2u);
}
