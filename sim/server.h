// The event loop of qxsim: one poll() over the pty, the TCP listener and client, and a
// descriptor that becomes readable when the program is told to stop (a signalfd).
#pragma once

#include "pty_server.h"
#include "simulator.h"
#include "tcp_server.h"

namespace qx::sim {

// Either endpoint may be null. Returns when `stopFd` is readable.
void serve(Simulator &simulator, PtyServer *pty, TcpServer *tcp, int stopFd);

} // namespace qx::sim
