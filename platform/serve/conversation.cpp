#include "serve/conversation.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <utility>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "runtime/deadline.h"
#include "serve/scpi_message.h"

namespace qx::serve {
namespace {

using Clock = std::chrono::steady_clock;
using runtime::Deadline;
namespace error = vxi11::error;
namespace reason = vxi11::reason;

// What a drain reads at a time, and how many reads it makes at most.
constexpr std::size_t kDrainChunk = 64 * 1024;
constexpr int kDrainReads = 64;

bool refusedToReaders(Operation operation)
{
    return operation != Operation::Write && operation != Operation::Read && operation != Operation::ReadStatusByte;
}

long long msUntil(Clock::time_point when)
{
    const auto left = std::chrono::duration_cast<milliseconds>(when - Clock::now()).count();
    return left > 0 ? left : 0;
}

enum class Hold { None, Message, Answer };

} // namespace

struct Request;

class Party {
public:
    Party(std::uint64_t number, Access level, std::string name) : id(number), access(level), who(std::move(name)) {}
    const std::uint64_t id;
    const Access access;
    const std::string who;
    // Used by the party's door only, one call at a time.
    MessageScan scan;
    std::string held; // a read-only party's message until it ends
    // Guarded by the conversation's mutex.
    bool gone = false;
    Request *current = nullptr;
};

struct Request {
    Request(Party &p, const Call &c) : party(p), call(c) {}
    Party &party;
    const Call &call;
    std::string_view data; // what a write sends
    bool asks = false;     // a write that ends a message holding a query
    Clock::time_point lockUntil;
    Clock::time_point ioUntil; // the longest wait for the lock, the turn and the instrument
    milliseconds io{0};        // the longest the instrument may take
    std::atomic<bool> abort{false};
    bool running = false;
    bool done = false;
    Outcome outcome;
    std::condition_variable changed;
};

class Conversation::State {
public:
    State(std::shared_ptr<vxi11::Instrument> instrument, ConversationOptions options)
        : instrument_(std::move(instrument)), options_(std::move(options))
    {
        worker_ = std::thread([this] { work(); });
    }

    ~State()
    {
        {
            std::lock_guard guard(mutex_);
            stopping_ = true;
            for (Request *r : queue_)
                r->changed.notify_one();
            if (running_)
                running_->abort = true;
        }
        work_.notify_one();
        worker_.join();
    }

    std::shared_ptr<Party> join(Access access, std::string who)
    {
        std::lock_guard guard(mutex_);
        return std::make_shared<Party>(++lastParty_, access, std::move(who));
    }

    void leave(Party &party)
    {
        {
            std::lock_guard guard(mutex_);
            party.gone = true;
            if (party.current) {
                party.current->abort = true;
                party.current->changed.notify_one();
            }
            if (lockOwner_ == party.id)
                lockOwner_ = 0;
            if (turnOwner_ == party.id && !(running_ && &running_->party == &party))
                giveUpTurn();
        }
        work_.notify_one();
    }

    Outcome run(Party &party, const Call &call, const std::function<bool()> &gone, milliseconds gonePoll)
    {
        Request request(party, call);
        if (std::optional<Outcome> settled = prepare(request))
            return *settled;
        Outcome outcome = submitAndWait(request, gone, gonePoll);
        if (call.operation == Operation::Write && (call.end || outcome.error != error::kNone)) {
            party.scan.reset();
            party.held.clear();
        }
        return outcome;
    }

    void abort(Party &party)
    {
        std::lock_guard guard(mutex_);
        if (party.current) {
            party.current->abort = true;
            party.current->changed.notify_one();
        }
    }

    long unlock(Party &party)
    {
        {
            std::lock_guard guard(mutex_);
            if (lockOwner_ != party.id)
                return error::kNoLockHeld;
            lockOwner_ = 0;
        }
        work_.notify_one();
        return error::kNone;
    }

    bool holdsLock(const Party &party) const
    {
        std::lock_guard guard(mutex_);
        return lockOwner_ == party.id;
    }

    const ConversationOptions &options() const { return options_; }

private:
    void log(const std::string &line) const
    {
        if (options_.log)
            options_.log(line);
    }

    // Settles what never reaches the instrument (refusals, the held pieces of a read-only
    // party's message); otherwise fills in what the request sends.
    std::optional<Outcome> prepare(Request &request)
    {
        Party &party = request.party;
        const Call &call = request.call;
        if (party.access == Access::ReadOnly && refusedToReaders(call.operation)) {
            log("refused for " + party.who + ": read-only clients may not do that");
            return Outcome{error::kNotSupported, {}, 0};
        }
        if (call.operation != Operation::Write)
            return std::nullopt;
        party.scan.feed(call.data);
        request.asks = call.end && party.scan.hasQuery();
        request.data = call.data;
        if (party.access != Access::ReadOnly)
            return std::nullopt;
        if (party.held.size() + call.data.size() > options_.maxHeldMessage) {
            log("refused for " + party.who + ": message too long");
            party.held.clear();
            party.scan.reset();
            return Outcome{error::kOutOfResources, {}, 0};
        }
        party.held.append(call.data);
        if (!call.end)
            return Outcome{};
        if (!party.scan.onlyQueries()) {
            log("refused for " + party.who + ": a read-only client's message that is not all queries");
            party.held.clear();
            party.scan.reset();
            return Outcome{error::kNotSupported, {}, 0};
        }
        request.data = party.held;
        return std::nullopt;
    }

    Outcome submitAndWait(Request &r, const std::function<bool()> &gone, milliseconds gonePoll)
    {
        const Call &call = r.call;
        const auto now = Clock::now();
        const auto io = std::min(milliseconds(call.ioTimeoutMs), options_.maxIoTimeout);
        const auto lock = std::min(milliseconds(call.lockTimeoutMs), options_.maxLockTimeout);
        r.lockUntil = call.waitLock ? now + lock : now;
        // The wait for a lock does not eat into the I/O time-out; a lock waits for the turn of
        // another party, which is short, as long as it may wait for a lock.
        r.io = io;
        r.ioUntil = call.operation == Operation::Lock ? std::max(r.lockUntil, now + options_.turnHold)
                                                      : now + io + (call.waitLock ? lock : milliseconds(0));
        auto nextLook = now + gonePoll;

        std::unique_lock guard(mutex_);
        if (r.party.gone || stopping_)
            return Outcome{error::kAbort, {}, 0};
        r.party.current = &r;
        queue_.push_back(&r);
        work_.notify_one();
        while (!r.done) {
            const auto at = Clock::now();
            const bool locked = lockOwner_ != 0 && lockOwner_ != r.party.id && !lockBrief_;
            if (!r.running) {
                long refusal = error::kNone;
                if (r.abort || r.party.gone || stopping_)
                    refusal = error::kAbort;
                else if (locked && at >= r.lockUntil)
                    refusal = error::kLocked;
                else if (at >= r.ioUntil)
                    refusal = call.operation == Operation::Lock ? error::kLocked : error::kIoTimeout;
                if (refusal != error::kNone) {
                    queue_.erase(std::find(queue_.begin(), queue_.end(), &r));
                    r.outcome.error = refusal;
                    break;
                }
            }
            if (r.running && !gone) {
                r.changed.wait(guard);
                continue;
            }
            auto wake = r.running ? nextLook : (locked ? std::min(r.lockUntil, r.ioUntil) : r.ioUntil);
            if (gone)
                wake = std::min(wake, nextLook);
            r.changed.wait_until(guard, wake);
            if (gone && !r.done && Clock::now() >= nextLook) {
                guard.unlock();
                const bool vanished = gone();
                guard.lock();
                nextLook = Clock::now() + gonePoll;
                if (vanished)
                    r.abort = true;
            }
        }
        r.party.current = nullptr;
        return r.outcome;
    }

    // --- the worker ---------------------------------------------------------------------------

    void work()
    {
        std::unique_lock guard(mutex_);
        while (!stopping_) {
            takeBackIdleTurn();
            if (orphan_ || unfinished_) {
                tidyLine(guard);
                continue;
            }
            Request *next = firstEligible();
            if (!next) {
                flushNotes(guard);
                if (hold_ != Hold::None)
                    work_.wait_until(guard, lastActivity_ + options_.turnHold);
                else
                    work_.wait(guard);
                continue;
            }
            if (next->call.operation == Operation::Write && turnOwner_ == next->party.id && hold_ == Hold::Answer) {
                giveUpTurn(); // it writes again without reading: the answer goes unread
                continue;
            }
            queue_.erase(std::find(queue_.begin(), queue_.end(), next));
            next->running = true;
            running_ = next;
            if (next->call.operation == Operation::Lock) {
                lockOwner_ = next->party.id;
                lockBrief_ = next->call.brief;
            } else {
                flushNotes(guard);
                guard.unlock();
                Outcome outcome = execute(*next);
                guard.lock();
                next->outcome = std::move(outcome);
                settle(*next);
            }
            running_ = nullptr;
            next->done = true;
            next->changed.notify_one();
        }
    }

    Request *firstEligible() const
    {
        for (Request *r : queue_) {
            const std::uint64_t id = r->party.id;
            if ((lockOwner_ == 0 || lockOwner_ == id) && (hold_ == Hold::None || turnOwner_ == id))
                return r;
        }
        return nullptr;
    }

    Outcome execute(Request &r)
    {
        Outcome o;
        const Deadline deadline(std::min<long long>(msUntil(r.ioUntil), r.io.count()));
        const vxi11::IoWait wait(deadline, r.abort);
        vxi11::Instrument &i = *instrument_;
        try {
            switch (r.call.operation) {
            case Operation::Write: o.error = i.write(r.data, r.call.end, wait); break;
            case Operation::Read:
                o.read = i.read(r.call.max, r.call.termChar, wait);
                o.error = o.read.error;
                break;
            case Operation::ReadStatusByte: o.error = i.readStatusByte(o.stb, wait); break;
            case Operation::Trigger: o.error = i.trigger(wait); break;
            case Operation::Clear: o.error = i.clear(wait); break;
            case Operation::Remote: o.error = i.remote(wait); break;
            case Operation::Local: o.error = i.local(wait); break;
            case Operation::Lock: break;
            }
        } catch (...) {
            o = Outcome{error::kIoError, {}, 0};
        }
        if (r.abort && o.error == error::kIoTimeout)
            o.error = error::kAbort;
        if (o.error != error::kNone)
            o.read.reason = 0;
        return o;
    }

    // Who holds the turn after a call.
    void settle(Request &r)
    {
        Party &party = r.party;
        const Outcome &o = r.outcome;
        const bool ok = o.error == error::kNone;
        const bool owner = turnOwner_ == party.id;
        lastActivity_ = Clock::now();
        switch (r.call.operation) {
        case Operation::Write:
            if (!ok) {
                if (owner)
                    releaseTurn();
                unfinished_ = true; // some of it may be on the line
                orphan_ = orphan_ || r.asks;
            } else if (!r.call.end || r.asks) {
                take(party, r.call.end ? Hold::Answer : Hold::Message);
            } else if (owner) {
                releaseTurn();
            }
            break;
        case Operation::Read:
            if (owner && hold_ == Hold::Answer) {
                if (!ok)
                    orphan_ = true; // it may still come
                if (!ok || (o.read.reason & (reason::kEnd | reason::kTermChar)))
                    releaseTurn();
            }
            break;
        case Operation::Clear:
            if (ok && owner) // the instrument dropped the message and its answer
                releaseTurn();
            break;
        default: break;
        }
        if (party.gone && turnOwner_ == party.id)
            giveUpTurn();
    }

    void take(const Party &party, Hold hold)
    {
        turnOwner_ = party.id;
        turnWho_ = party.who;
        hold_ = hold;
    }

    void releaseTurn()
    {
        hold_ = Hold::None;
        turnOwner_ = 0;
    }

    // The turn's owner will not finish: what it left on the line is tidied before anyone goes on.
    void giveUpTurn()
    {
        if (hold_ == Hold::Answer)
            orphan_ = true;
        if (hold_ == Hold::Message)
            unfinished_ = true;
        releaseTurn();
    }

    void takeBackIdleTurn()
    {
        if (hold_ == Hold::None || Clock::now() < lastActivity_ + options_.turnHold)
            return;
        const auto owners = [&](const Request *r) { return r->party.id == turnOwner_; };
        if (std::any_of(queue_.begin(), queue_.end(), owners))
            return;
        notes_.push_back("turn of " + turnWho_ + " taken back: nothing done for " +
                         std::to_string(options_.turnHold.count()) + " ms");
        giveUpTurn();
    }

    // Ends a message left unfinished and throws away an answer nobody will read.
    void tidyLine(std::unique_lock<std::mutex> &guard)
    {
        const bool clear = std::exchange(unfinished_, false);
        const bool drain = std::exchange(orphan_, false);
        flushNotes(guard);
        guard.unlock();
        std::string note;
        if (clear) {
            const Deadline deadline(options_.drain.count());
            const long e = callSafely([&] { return instrument_->clear(vxi11::IoWait(deadline, stopping_)); });
            note = "a message left unfinished, instrument cleared -> " + std::to_string(e);
        }
        if (drain) {
            const std::size_t thrown = drainAnswer();
            note += std::string(note.empty() ? "" : "; ") + "an answer nobody read: " + std::to_string(thrown) +
                    " bytes thrown away";
        }
        log(note);
        guard.lock();
    }

    std::size_t drainAnswer()
    {
        const Deadline deadline(options_.drain.count());
        std::size_t thrown = 0;
        for (int i = 0; i < kDrainReads; ++i) {
            vxi11::ReadReply r;
            try {
                r = instrument_->read(kDrainChunk, -1, vxi11::IoWait(deadline, stopping_));
            } catch (...) {
                break;
            }
            thrown += r.data.size();
            if (r.error != error::kNone || (r.reason & reason::kEnd))
                break;
        }
        return thrown;
    }

    template <class Body> static long callSafely(Body &&body)
    {
        try {
            return body();
        } catch (...) {
            return error::kIoError;
        }
    }

    void flushNotes(std::unique_lock<std::mutex> &guard)
    {
        if (notes_.empty())
            return;
        std::vector<std::string> notes;
        notes.swap(notes_);
        guard.unlock();
        for (const std::string &n : notes)
            log(n);
        guard.lock();
    }

    const std::shared_ptr<vxi11::Instrument> instrument_;
    const ConversationOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::deque<Request *> queue_;
    Request *running_ = nullptr;
    std::uint64_t lastParty_ = 0;
    std::uint64_t lockOwner_ = 0;
    bool lockBrief_ = false; // the lock is a brief hold: the others wait for it
    std::uint64_t turnOwner_ = 0;
    std::string turnWho_;
    Hold hold_ = Hold::None;
    Clock::time_point lastActivity_;
    bool orphan_ = false;     // an answer nobody will read may be on its way
    bool unfinished_ = false; // a message was left without its end
    std::vector<std::string> notes_;
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

Conversation::Conversation(std::shared_ptr<vxi11::Instrument> instrument, ConversationOptions options)
    : state_(std::make_unique<State>(std::move(instrument), std::move(options)))
{
}

Conversation::~Conversation() = default;

std::shared_ptr<Party> Conversation::join(Access access, std::string who)
{
    return state_->join(access, std::move(who));
}
void Conversation::leave(Party &party) { state_->leave(party); }
Outcome Conversation::run(Party &party, const Call &call, const std::function<bool()> &gone, milliseconds gonePoll)
{
    return state_->run(party, call, gone, gonePoll);
}
void Conversation::abort(Party &party) { state_->abort(party); }
long Conversation::unlock(Party &party) { return state_->unlock(party); }
bool Conversation::holdsLock(const Party &party) const { return state_->holdsLock(party); }
const ConversationOptions &Conversation::options() const { return state_->options(); }

} // namespace qx::serve
