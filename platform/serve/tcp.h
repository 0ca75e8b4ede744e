// The TCP plumbing every door shares: listening, the port a listener got, whether a client has
// gone, and the event that wakes a door's accept loop.
#pragma once

#include <cstdint>
#include <string>

namespace qx::serve {

// A listening socket on a numeric IPv4 address (port 0: any free port), or -1 with the problem.
int listenOn(const std::string &address, std::uint16_t port, std::string &problem);
// The port a socket is bound to; 0 for none.
std::uint16_t boundPort(int fd);
// The client has closed its end (or its sending half), or the connection broke.
bool hungUp(int fd);

// An event descriptor an accept loop polls beside its listeners, so that another thread can wake it
// (to stop, or to look at its connections again). Closed when it goes.
class WakeEvent {
public:
    WakeEvent() = default;
    ~WakeEvent() { close(); }
    WakeEvent(const WakeEvent &) = delete;
    WakeEvent &operator=(const WakeEvent &) = delete;

    bool open();  // false when no descriptor can be made
    void close();
    int fd() const { return fd_; }
    void signal() const; // the next poll sees fd() readable
    void drain() const;  // after it was seen readable

private:
    int fd_ = -1;
};

} // namespace qx::serve
