// Connecting a TCP client socket within a time limit: every address of the host is tried in turn
// until one answers or the time is up.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/deadline.h"

namespace qx::runtime {

enum class ConnectFailure {
    None,
    NotFound, // the name does not resolve, or no address takes the connection
    TimedOut,
    System    // no socket could be made
};

// A connected, non-blocking, close-on-exec socket with TCP_NODELAY, or -1 with `why`.
int connectTcp(const std::string &host, std::uint16_t port, const Deadline &deadline, ConnectFailure &why);

} // namespace qx::runtime
