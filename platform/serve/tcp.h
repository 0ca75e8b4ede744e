// The TCP plumbing every door shares: listening, the port a listener got, and whether a client has
// gone.
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

} // namespace qx::serve
