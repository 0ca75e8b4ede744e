// A VXI-11 device server: the core channel (links, I/O, locks) and the abort channel over TCP,
// one thread per admitted client connection, serving conversations by device name.
//
// - Device names match without regard to case ("inst0", "gpib0,5"). Names given the same
//   conversation reach the same instrument, in the same order of turns and under the same lock.
// - Who may connect: loopback clients, and others as the access rules say (full or read-only); a
//   refused host's connection is closed and logged.
// - A link belongs to the connection that created it; its id is random. When the connection
//   closes or vanishes, its call in progress ends at once, its links are destroyed and their
//   locks released. device_abort ends a call of a link of the same client address only.
// - No client locks out the rest: connections are capped in all and per client address, each
//   channel on its own; a connection must create a link soon after it opens, finish a record it
//   started within a short time and call now and then (sooner while it holds a lock), or it is
//   closed. A connection over a cap has its first call answered "out of resources", then closed.
// - A malformed record or call closes its connection (or is answered with the RPC error that
//   says why); other clients are not disturbed.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serve/access.h"
#include "serve/admission.h"
#include "serve/conversation.h"

namespace qx::serve {

struct ServedDevice {
    std::string name;
    std::shared_ptr<Conversation> conversation;
};

// Who is admitted, and the caps and idle time-out, apply to each channel on its own.
struct ServerOptions : AdmissionRules {
    std::string listenAddress = "127.0.0.1"; // numeric IPv4; "0.0.0.0" for every interface
    std::uint16_t corePort = 0;               // 0: any free port
    std::uint32_t maxRecvSize = 64 * 1024;    // told to clients in create_link
    milliseconds firstLink{10000};            // a core connection without a link is closed after this
    milliseconds recordTimeout{5000};         // a record once started must end within this
    milliseconds lockIdleTimeout{60000};      // a connection one of whose links holds a lock is closed
                                              // after this long without a call
    // One line per request, refusal and error, for a trace (may be empty).
    std::function<void(const std::string &)> log;
};

class DeviceServer {
public:
    DeviceServer(std::vector<ServedDevice> devices, ServerOptions options);
    ~DeviceServer();
    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    // Opens the two channels and starts serving. False with the problem in words.
    bool start(std::string &problem);
    // Closes every connection (ending calls in progress) and waits for their threads.
    void stop();

    std::uint16_t corePort() const;
    std::uint16_t abortPort() const;
    std::size_t linkCount() const;

    class State;

private:
    std::unique_ptr<State> state_;
};

} // namespace qx::serve
