// One instrument shared by several parties: who reaches it when, and what each one gets back.
// Real threads with bounded waits; the instrument is an in-memory line that answers each message
// holding a query with "=<message>\n" and records everything in order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/conversation.h"

namespace {

using namespace std::chrono_literals;
using namespace qx::serve;
namespace error = qx::vxi11::error;

class Line final : public qx::vxi11::Instrument {
public:
    long write(std::string_view data, bool end, const qx::vxi11::IoWait &) override
    {
        std::lock_guard lock(mutex_);
        events_.push_back("w " + std::string(data) + (end ? "" : "..."));
        message_ += data;
        if (end && message_.find('?') != std::string::npos)
            output_ += "=" + message_ + "\n";
        if (end)
            message_.clear();
        return error::kNone;
    }

    qx::vxi11::ReadReply read(std::size_t max, int, const qx::vxi11::IoWait &wait) override
    {
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (!output_.empty()) {
                    const std::size_t line = output_.find('\n') + 1;
                    const std::size_t take = std::min(max, line);
                    const long why = take == line ? qx::vxi11::reason::kEnd : qx::vxi11::reason::kRequestCount;
                    qx::vxi11::ReadReply reply{error::kNone, why, output_.substr(0, take)};
                    output_.erase(0, take);
                    events_.push_back("r " + reply.data);
                    return reply;
                }
            }
            if (wait.aborted() || wait.expired())
                return {wait.aborted() ? error::kAbort : error::kIoTimeout, 0, {}};
            std::this_thread::sleep_for(1ms);
        }
    }

    long clear(const qx::vxi11::IoWait &) override
    {
        std::lock_guard lock(mutex_);
        events_.push_back("clear");
        output_.clear();
        message_.clear();
        return error::kNone;
    }

    std::vector<std::string> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::string message_;
    std::string output_;
};

Call writing(std::string_view data, bool end = true)
{
    Call c;
    c.operation = Operation::Write;
    c.data = data;
    c.end = end;
    c.ioTimeoutMs = 2000;
    return c;
}

Call reading(std::uint32_t timeoutMs = 2000, std::size_t max = 256)
{
    Call c;
    c.operation = Operation::Read;
    c.max = max;
    c.ioTimeoutMs = timeoutMs;
    return c;
}

Call of(Operation operation, bool waitLock = false, std::uint32_t lockTimeoutMs = 0)
{
    Call c;
    c.operation = operation;
    c.ioTimeoutMs = 2000;
    c.waitLock = waitLock;
    c.lockTimeoutMs = lockTimeoutMs;
    return c;
}

class Shared : public ::testing::Test {
protected:
    void start(ConversationOptions options = {})
    {
        options.drain = 100ms;
        conversation = std::make_unique<Conversation>(line, options);
        a = conversation->join(Access::Full, "a");
        b = conversation->join(Access::Full, "b");
    }
    std::string ask(Party &who, std::string_view query)
    {
        EXPECT_EQ(conversation->run(who, writing(query)).error, error::kNone);
        const Outcome o = conversation->run(who, reading());
        EXPECT_EQ(o.error, error::kNone);
        return o.read.data;
    }
    std::future<std::string> askLater(Party &who, std::string_view query)
    {
        return std::async(std::launch::async, [this, &who, query] { return ask(who, query); });
    }

    std::shared_ptr<Line> line = std::make_shared<Line>();
    std::unique_ptr<Conversation> conversation;
    std::shared_ptr<Party> a, b;
};

TEST_F(Shared, NoOtherMessageReachesTheInstrumentBetweenAQueryAndItsAnswer)
{
    start();
    ASSERT_EQ(conversation->run(*a, writing("*IDN?")).error, error::kNone);
    auto other = askLater(*b, "LIM:VOLT?");
    EXPECT_EQ(other.wait_for(150ms), std::future_status::timeout) << "b went out before a had its answer";
    // Read in two pieces: the turn is a's until the answer's end.
    const Outcome first = conversation->run(*a, reading(2000, 3));
    EXPECT_EQ(first.read.reason, qx::vxi11::reason::kRequestCount);
    EXPECT_EQ(other.wait_for(50ms), std::future_status::timeout);
    EXPECT_EQ(first.read.data + conversation->run(*a, reading()).read.data, "=*IDN?\n");
    EXPECT_EQ(other.get(), "=LIM:VOLT?\n");
    EXPECT_EQ(line->events(),
              (std::vector<std::string>{"w *IDN?", "r =*I", "r DN?\n", "w LIM:VOLT?", "r =LIM:VOLT?\n"}));

    // A message in pieces is not interleaved either, and a message without a query holds nothing.
    ASSERT_EQ(conversation->run(*a, writing("VOLT ", false)).error, error::kNone);
    auto setting = std::async(std::launch::async, [&] { return conversation->run(*b, writing("OUTP 1")).error; });
    EXPECT_EQ(setting.wait_for(100ms), std::future_status::timeout);
    ASSERT_EQ(conversation->run(*a, writing("120")).error, error::kNone);
    EXPECT_EQ(setting.get(), error::kNone);
    EXPECT_EQ(ask(*b, "*IDN?"), "=*IDN?\n");
}

TEST_F(Shared, AnAnswerNobodyWillReadIsThrownAwayBeforeAnyoneGoesOn)
{
    start();
    // The asker leaves without reading.
    ASSERT_EQ(conversation->run(*a, writing("*IDN?")).error, error::kNone);
    conversation->leave(*a);
    EXPECT_EQ(ask(*b, "LIM:VOLT?"), "=LIM:VOLT?\n");
    // The asker writes again without reading: it gets the answer to what it asked last.
    ASSERT_EQ(conversation->run(*b, writing("LIM:CURR?")).error, error::kNone);
    EXPECT_EQ(ask(*b, "LIM:FREQ?"), "=LIM:FREQ?\n");
    EXPECT_EQ(line->events(), (std::vector<std::string>{"w *IDN?", "r =*IDN?\n", "w LIM:VOLT?", "r =LIM:VOLT?\n",
                                                        "w LIM:CURR?", "r =LIM:CURR?\n", "w LIM:FREQ?",
                                                        "r =LIM:FREQ?\n"}));
}

TEST_F(Shared, ATurnLeftIdleIsTakenBackAndAnUnfinishedMessageIsCleared)
{
    ConversationOptions options;
    options.turnHold = 50ms;
    start(options);
    ASSERT_EQ(conversation->run(*a, writing("*IDN?")).error, error::kNone);
    EXPECT_EQ(ask(*b, "LIM:VOLT?"), "=LIM:VOLT?\n"); // a did nothing for 50 ms
    EXPECT_EQ(conversation->run(*a, reading(50)).error, error::kIoTimeout);

    ASSERT_EQ(conversation->run(*a, writing("VOLT 1", false)).error, error::kNone);
    conversation->leave(*a);
    ASSERT_EQ(conversation->run(*b, writing("OUTP 0")).error, error::kNone);
    const std::vector<std::string> events = line->events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
              (std::vector<std::string>{"w VOLT 1...", "clear", "w OUTP 0"}));
}

TEST_F(Shared, AReadOnlyPartyMayAskButChangesNothing)
{
    start();
    auto reader = conversation->join(Access::ReadOnly, "dashboard");
    ASSERT_EQ(conversation->run(*reader, writing("*IDN?;", false)).error, error::kNone);
    EXPECT_TRUE(line->events().empty()); // held until the message ends
    EXPECT_EQ(conversation->run(*reader, writing("LIM:VOLT?")).error, error::kNone);
    EXPECT_EQ(conversation->run(*reader, reading()).read.data, "=*IDN?;LIM:VOLT?\n");
    for (const char *message : {"*RST;*IDN?", "VOLT 300", "*IDN?;OUTP 1", "SYST:ERR?\nVOLT 1"})
        EXPECT_EQ(conversation->run(*reader, writing(message)).error, error::kNotSupported) << message;
    for (Operation o : {Operation::Trigger, Operation::Clear, Operation::Remote, Operation::Local, Operation::Lock})
        EXPECT_EQ(conversation->run(*reader, of(o)).error, error::kNotSupported);
    EXPECT_EQ(line->events(), (std::vector<std::string>{"w *IDN?;LIM:VOLT?", "r =*IDN?;LIM:VOLT?\n"}));
}

TEST_F(Shared, LocksWorkOnTopAndGoWithTheirParty)
{
    ConversationOptions options;
    options.maxLockTimeout = 200ms;
    start(options);
    ASSERT_EQ(conversation->run(*a, of(Operation::Lock)).error, error::kNone);
    EXPECT_TRUE(conversation->holdsLock(*a));
    EXPECT_EQ(conversation->run(*b, writing("OUTP 1")).error, error::kLocked);
    EXPECT_EQ(conversation->unlock(*b), error::kNoLockHeld);
    // A lock time-out beyond the cap waits as long as the cap allows.
    Call waiting = writing("OUTP 1");
    waiting.waitLock = true;
    waiting.lockTimeoutMs = 0xFFFFFFFF;
    EXPECT_EQ(conversation->run(*b, waiting).error, error::kLocked);
    auto queued = std::async(std::launch::async, [&] {
        waiting.lockTimeoutMs = 150;
        return conversation->run(*b, waiting).error;
    });
    EXPECT_EQ(ask(*a, "*IDN?"), "=*IDN?\n"); // the holder goes on meanwhile
    conversation->leave(*a);
    EXPECT_EQ(queued.get(), error::kNone);
    EXPECT_FALSE(conversation->holdsLock(*a));
    EXPECT_EQ(line->events().back(), "w OUTP 1");
    // A brief hold keeps the others waiting, within their I/O time-out, instead of refusing them.
    Call brief = of(Operation::Lock, true, 1000);
    brief.brief = true;
    ASSERT_EQ(conversation->run(*b, brief).error, error::kNone);
    const auto c = conversation->join(Access::Full, "c");
    std::atomic<bool> inWait{false}; // asked while c's call waits
    auto held = std::async(std::launch::async, [&] {
        return conversation->run(*c, writing("VOLT 5"), [&] { return !(inWait = true); }, 1ms).error;
    });
    for (int i = 0; i < 2000 && !inWait; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(ask(*b, "INST:NSEL 2;MEAS:VOLT?"), "=INST:NSEL 2;MEAS:VOLT?\n");
    EXPECT_EQ(conversation->run(*b, writing("INST:COUP 1")).error, error::kNone);
    EXPECT_TRUE(inWait && held.wait_for(0ms) == std::future_status::timeout) << "c waits for the hold";
    EXPECT_EQ(conversation->unlock(*b), error::kNone);
    EXPECT_EQ(held.get(), error::kNone);
    EXPECT_EQ(line->events().back(), "w VOLT 5"); // after the hold, not inside it
}

TEST_F(Shared, CallsEndAtTheCappedTimeOutAtAnAbortAndWhenTheirClientVanishes)
{
    ConversationOptions options;
    options.maxIoTimeout = 100ms;
    start(options);
    EXPECT_EQ(conversation->run(*a, reading(0xFFFFFFFF)).error, error::kIoTimeout);

    auto aborted = std::async(std::launch::async, [&] { return conversation->run(*a, reading(0xFFFFFFFF)).error; });
    std::this_thread::sleep_for(20ms);
    conversation->abort(*b); // not b's call
    EXPECT_EQ(aborted.wait_for(30ms), std::future_status::timeout);
    conversation->abort(*a);
    EXPECT_EQ(aborted.get(), error::kAbort);

    ConversationOptions patient;
    patient.maxIoTimeout = 60s;
    start(patient);
    ASSERT_EQ(conversation->run(*a, of(Operation::Lock)).error, error::kNone);
    std::atomic<bool> vanished{false};
    auto reading20s = std::async(std::launch::async, [&] {
        return conversation->run(*a, reading(20000), [&] { return vanished.load(); }, 5ms).error;
    });
    vanished = true;
    EXPECT_EQ(reading20s.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(reading20s.get(), error::kAbort);
    conversation->leave(*a);
    EXPECT_EQ(conversation->run(*b, of(Operation::Lock)).error, error::kNone);
}

} // namespace
