// The raw SCPI socket door: each served device on a TCP port of its own (5025 by custom), each
// connection a party of the device's conversation, under the same admission as the VXI-11 server.
//
// - A message is a line: it ends at a line feed (a carriage return before it is dropped) and goes to
//   the instrument whole, with END. Empty lines are skipped.
// - A line holding a query is followed by a read of the answer (to END or a line feed, within
//   `ioTimeout`, which the conversation caps), written back to that connection only and ended
//   with a line feed. An answer that does not come is not written; the client's own time-out ends
//   its wait.
// - A line longer than the conversation's message cap is dropped whole and logged, and never
//   reaches the instrument; the connection goes on with the next line.
// - A connection that closes or breaks is gone: its call in progress ends at once and its turn is
//   released. One that closes only its sending half still gets the answers to what it sent. One
//   silent for the idle time-out is closed.
// - Read-only clients reach the instrument with queries only; the conversation refuses the rest.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serve/admission.h"
#include "serve/conversation.h"

namespace qx::serve {

struct SocketDevice {
    std::string name;     // for log lines
    std::uint16_t port = 0; // 0: any free port
    std::shared_ptr<Conversation> conversation;
};

// The caps apply to all the server's ports together.
struct SocketServerOptions : AdmissionRules {
    std::string listenAddress = "127.0.0.1"; // numeric IPv4; "0.0.0.0" for every interface
    milliseconds ioTimeout{10000};           // each wait for the instrument, before the cap
    // One line per request, refusal and error, for a trace (may be empty).
    std::function<void(const std::string &)> log;
};

class SocketServer {
public:
    SocketServer(std::vector<SocketDevice> devices, SocketServerOptions options);
    ~SocketServer();
    SocketServer(const SocketServer &) = delete;
    SocketServer &operator=(const SocketServer &) = delete;

    // Listens on every device's port and starts serving. False with the problem in words.
    bool start(std::string &problem);
    // Closes every connection (ending calls in progress) and waits for their threads.
    void stop();

    // The port of the device at `index`, as given to the constructor; 0 before start.
    std::uint16_t port(std::size_t index) const;
    std::size_t connectionCount() const;

    class State;

private:
    std::unique_ptr<State> state_;
};

} // namespace qx::serve
