#include "serve/tcp.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qx::serve {

int listenOn(const std::string &address, std::uint16_t port, std::string &problem)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        problem = "not a numeric IPv4 address: " + address;
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) != 0 || ::listen(fd, 64) != 0) {
        problem = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t boundPort(int fd)
{
    sockaddr_in where{};
    socklen_t len = sizeof where;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&where), &len) != 0)
        return 0;
    return ntohs(where.sin_port);
}

bool hungUp(int fd)
{
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

bool WakeEvent::open()
{
    close();
    fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd_ >= 0;
}

void WakeEvent::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void WakeEvent::signal() const
{
    const std::uint64_t one = 1;
    (void)!::write(fd_, &one, sizeof one);
}

void WakeEvent::drain() const
{
    std::uint64_t count = 0;
    (void)!::read(fd_, &count, sizeof count);
}

} // namespace qx::serve
