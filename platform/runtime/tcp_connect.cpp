#include "runtime/tcp_connect.h"

#include <cerrno>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qx::runtime {
namespace {

int connectAddress(const addrinfo &ai, const Deadline &deadline, ConnectFailure &why)
{
    const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
    if (fd < 0) {
        why = ConnectFailure::System;
        return -1;
    }
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            why = ConnectFailure::NotFound;
            ::close(fd);
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int r;
        do {
            r = ::poll(&p, 1, deadline.remainingMs());
        } while (r < 0 && errno == EINTR);
        int err = 0;
        socklen_t len = sizeof err;
        if (r == 0) {
            why = ConnectFailure::TimedOut;
            ::close(fd);
            return -1;
        }
        if (r < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            why = ConnectFailure::NotFound;
            ::close(fd);
            return -1;
        }
    }
    const int one = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    why = ConnectFailure::None;
    return fd;
}

} // namespace

int connectTcp(const std::string &host, std::uint16_t port, const Deadline &deadline, ConnectFailure &why)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *list = nullptr;
    const std::string service = std::to_string(port);
    why = ConnectFailure::NotFound;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list)
        return -1;
    int fd = -1;
    for (const addrinfo *ai = list; ai && fd < 0 && why != ConnectFailure::TimedOut; ai = ai->ai_next)
        fd = connectAddress(*ai, deadline, why);
    ::freeaddrinfo(list);
    return fd;
}

} // namespace qx::runtime
