// The pseudo-terminal end of qxsim: a pty whose slave device a symbolic link names, so a
// controller opens it like a serial port. The simulator keeps a slave descriptor of its own open
// (never read), so a client that closes and reopens the line does not leave the master reading
// EIO, and the raw line settings survive between clients.
#pragma once

#include "stream_peer.h"

#include <string>

namespace qx::sim {

class PtyServer {
public:
    PtyServer() = default;
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;
    ~PtyServer(); // closes the pty and removes the link if it still points to it

    // Creates the pty and the link (replacing a stale symbolic link, never another file).
    bool open(const std::string &link, std::string &error);
    const std::string &slavePath() const { return slavePath_; }
    const std::string &link() const { return link_; }
    StreamPeer &peer() { return master_; }
    // Closes the line for good (close fault or a failing master); the link stays until exit.
    void hangUp();

private:
    StreamPeer master_;
    int slave_ = -1;
    std::string slavePath_;
    std::string link_;
};

} // namespace qx::sim
