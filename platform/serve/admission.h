// Who a door lets in and on what terms, the same for every door to a served instrument (the VXI-11
// channels, the raw SCPI sockets): the access of the client's address, the caps on connections in
// all and per address, and how long a connection may stay silent. The I/O and lock time-outs are
// capped by the conversation itself (ConversationOptions), whichever door a call comes through.
//
// Each door (each VXI-11 channel, the raw socket server) keeps its own count: an admitted
// connection holds a pass and is counted until the pass is released or destroyed.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serve/access.h"

namespace qx::serve {

struct AdmissionRules {
    AccessRules access;                                   // loopback only, unless widened
    std::size_t maxConnections = 64;                      // on each door
    std::size_t maxPerAddress = 16;                       // on each door, from one client address
    std::chrono::milliseconds idleTimeout{300000};        // a connection silent this long is closed
};

class Admission {
public:
    using Log = std::function<void(const std::string &)>;
    struct Counts;

    // A place in the door's count, given back when released or destroyed.
    class Pass {
    public:
        Pass() = default;
        Pass(Pass &&other) noexcept;
        Pass &operator=(Pass &&other) noexcept;
        Pass(const Pass &) = delete;
        Pass &operator=(const Pass &) = delete;
        ~Pass() { release(); }
        void release();
        explicit operator bool() const { return counts_ != nullptr; }

    private:
        friend class Admission;
        std::shared_ptr<Counts> counts_;
        std::uint32_t peer_ = 0;
    };

    struct Entry {
        Access access = Access::Refused; // Refused: not an allowed address; close at once
        bool overCap = false;            // allowed, but the door is full for this client
        Pass pass;                       // held by an admitted connection only
    };

    Admission(const AdmissionRules &rules, Log log);

    // The verdict on a client at `peer` (host byte order) connecting to `door` ("the core
    // channel"); a refusal is logged with the client's address and why.
    Entry admit(std::uint32_t peer, const std::string &door);
    std::size_t connections() const;
    const AdmissionRules &rules() const { return rules_; }

private:
    AdmissionRules rules_;
    Log log_;
    std::shared_ptr<Counts> counts_;
};

} // namespace qx::serve
