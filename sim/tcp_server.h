// The socket end of qxsim: raw SCPI on 127.0.0.1:PORT, one client at a time. Further clients
// wait in the listen queue until the present one disconnects.
#pragma once

#include "stream_peer.h"

#include <string>

namespace qx::sim {

class TcpServer {
public:
    TcpServer() = default;
    TcpServer(const TcpServer &) = delete;
    TcpServer &operator=(const TcpServer &) = delete;
    ~TcpServer();

    bool listen(int port, std::string &error); // port 0: any free port
    int port() const { return port_; }
    int listenFd() const { return listen_; }
    bool accept(); // takes the next client; false when none was waiting
    StreamPeer &client() { return client_; }

private:
    int listen_ = -1;
    int port_ = 0;
    StreamPeer client_;
};

} // namespace qx::sim
