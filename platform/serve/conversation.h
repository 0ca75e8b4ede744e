// One conversation with one instrument, shared by every client that reaches it: the VXI-11 links
// of qxgate and of qxsim --vxi11, and any other door opened on the instrument. Each client is a
// party of the conversation.
//
// Who serializes instrument access:
// - Only the conversation's own worker thread calls the instrument. A door hands a party's call to
//   the conversation and waits for its outcome; no door code runs on the worker, and the worker
//   never waits on a door.
// - A call reaches the instrument only when no other party holds the lock (device_lock) and no
//   other party holds the turn. Of the calls that may go, the oldest goes first.
// - The turn: a party takes it with the first piece of a message and holds it until the message
//   ends (END). When the message holds a query (a '?' outside quoted strings, compound messages
//   included), the party keeps the turn until it has read the answer whole (END or the
//   termination character), its read ended without the answer (time-out, abort, error), it
//   writes again, it leaves, or it has done nothing for `turnHold`.
// - An answer that will not be read (its party gave up the turn before reading it whole) is read
//   off the instrument and thrown away, waiting at most `drain`, before anything else reaches the
//   instrument. A message a party left unfinished is ended with a device clear.
// - A brief hold (a lock taken with `brief`) keeps the others waiting, not refused, as a turn does.
// - Waits are bounded: a call waits for the lock at most its lock time-out (not at all without
//   the wait-lock flag) and for the turn and the instrument together at most its I/O time-out;
//   both are capped by the options. A party that leaves, or whose client `gone()` says has
//   vanished, has its call ended at once (abort) and its lock and turn released.
// - A read-only party may send only messages whose every unit is a query; anything else is
//   refused whole and never reaches the instrument, as are trigger, clear, remote, local and lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serve/access.h"
#include "vxi11/instrument.h"

namespace qx::serve {

using std::chrono::milliseconds;

struct ConversationOptions {
    milliseconds maxIoTimeout{120000};   // the longest I/O time-out a client may ask for
    milliseconds maxLockTimeout{120000}; // the longest wait for a lock a client may ask for
    milliseconds turnHold{10000};        // a turn left idle this long is taken back
    milliseconds drain{500};             // the longest wait for an answer nobody will read
    std::size_t maxHeldMessage = 1u << 20; // a read-only party's message, held until it ends
    // One line per event worth a trace (answers thrown away, refusals); may be empty.
    std::function<void(const std::string &)> log;
};

enum class Operation { Write, Read, ReadStatusByte, Trigger, Clear, Remote, Local, Lock };

struct Call {
    Operation operation = Operation::Write;
    std::string_view data; // Write: the bytes
    bool end = false;      // Write: they end the message
    std::size_t max = 0;   // Read: at most this many bytes
    int termChar = -1;     // Read: 0..255, or -1 for none
    std::uint32_t ioTimeoutMs = 0;
    std::uint32_t lockTimeoutMs = 0;
    bool waitLock = false; // wait up to the lock time-out for another party's lock
    // Lock: a brief hold, for a few messages that must go together (a phase selected, read and
    // coupled again). Other parties' calls wait for it to end within their I/O time-out, as for a
    // turn, instead of being refused as locked.
    bool brief = false;
};

struct Outcome {
    long error = vxi11::error::kNone;
    vxi11::ReadReply read; // Read
    unsigned char stb = 0; // ReadStatusByte
};

class Party;

class Conversation {
public:
    explicit Conversation(std::shared_ptr<vxi11::Instrument> instrument, ConversationOptions options = {});
    // Ends every call in progress and stops the worker.
    ~Conversation();
    Conversation(const Conversation &) = delete;
    Conversation &operator=(const Conversation &) = delete;

    // A new party; `who` names it in log lines ("link 7 of 10.0.0.2").
    std::shared_ptr<Party> join(Access access, std::string who);
    // The party is gone: its call in progress ends, its lock and turn are released.
    void leave(Party &party);

    // Runs one call for the party and waits for its outcome. `gone`, when given, is asked every
    // `gonePoll` while the call waits or runs; true ends the call with kAbort.
    Outcome run(Party &party, const Call &call, const std::function<bool()> &gone = {},
                milliseconds gonePoll = milliseconds(100));
    // Ends the party's call in progress, if any, with kAbort.
    void abort(Party &party);
    // kNone, or kNoLockHeld when the party holds no lock.
    long unlock(Party &party);
    bool holdsLock(const Party &party) const;

    const ConversationOptions &options() const;

    class State;

private:
    std::unique_ptr<State> state_;
};

} // namespace qx::serve
