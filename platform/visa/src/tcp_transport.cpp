// TCPIP SOCKET sessions: a raw SCPI socket, as LAN instruments and GPIB-LAN gateways offer.
// A socket has no END signal. Reads end at the termination character, which SOCKET sessions
// enable; a written message that carries END goes out ending in a line feed, which is how raw
// SCPI sockets and GPIB-LAN gateways mark the end of a message.
#include <cerrno>
#include <climits>
#include <string>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "runtime/tcp_connect.h"
#include "transport.h"

namespace qx::visa {
namespace {

constexpr ViUInt32 defaultOpenTimeoutMs = 2000;

bool peerGone(int err) { return err == ECONNRESET || err == EPIPE || err == ENOTCONN || err == ETIMEDOUT; }

class TcpTransport final : public ChunkedTransport {
public:
    explicit TcpTransport(int fd) : fd_(fd) {}
    ~TcpTransport() override { close(); }

    ViStatus write(std::string_view bytes, bool end, ViUInt32 timeoutMs) override
    {
        if (fd_ < 0)
            return VI_ERROR_CONN_LOST;
        if (end && (bytes.empty() || bytes.back() != '\n')) {
            std::string message(bytes);
            message += '\n';
            return send(message, timeoutMs);
        }
        return send(bytes, timeoutMs);
    }

    ViStatus send(std::string_view bytes, ViUInt32 timeoutMs)
    {
        const Deadline deadline(timeoutMs);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return peerGone(errno) ? VI_ERROR_CONN_LOST : VI_ERROR_IO;
            pollfd p{fd_, POLLOUT, 0};
            const int r = ::poll(&p, 1, deadline.remainingMs());
            if (r == 0)
                return VI_ERROR_TMO;
            if (r < 0 && errno != EINTR)
                return VI_ERROR_IO;
        }
        return VI_SUCCESS;
    }

    ViStatus clear(ViUInt32) override
    {
        discardInput();
        return fd_ < 0 ? VI_ERROR_CONN_LOST : VI_SUCCESS;
    }

    void close() override
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    void discardInput() override
    {
        ChunkedTransport::discardInput();
        char buffer[4096];
        while (fd_ >= 0 && ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
    }

protected:
    Chunk fetch(std::size_t max, const Deadline &deadline) override
    {
        Chunk chunk;
        if (fd_ < 0) {
            chunk.status = VI_ERROR_CONN_LOST;
            return chunk;
        }
        char buffer[4096];
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, deadline.remainingMs());
            if (r == 0) {
                chunk.status = VI_ERROR_TMO;
                return chunk;
            }
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                chunk.status = VI_ERROR_IO;
                return chunk;
            }
            const ssize_t n = ::recv(fd_, buffer, max < sizeof buffer ? max : sizeof buffer, 0);
            if (n > 0) {
                chunk.bytes.assign(buffer, static_cast<std::size_t>(n));
                return chunk;
            }
            if (n == 0 || peerGone(errno)) {
                chunk.status = VI_ERROR_CONN_LOST;
                return chunk;
            }
            if (errno != EINTR && errno != EAGAIN) {
                chunk.status = VI_ERROR_IO;
                return chunk;
            }
        }
    }

    ViUInt32 availableBelow() override
    {
        int count = 0;
        if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &count) != 0 || count < 0)
            return 0;
        return static_cast<ViUInt32>(count);
    }

private:
    int fd_;
};

} // namespace

ViStatus openTcpTransport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out)
{
    const Deadline deadline(openTimeoutMs == 0 ? defaultOpenTimeoutMs : openTimeoutMs);
    qx::runtime::ConnectFailure why = qx::runtime::ConnectFailure::None;
    const int fd = qx::runtime::connectTcp(name.host, name.port, deadline, why);
    if (fd < 0) {
        switch (why) {
        case qx::runtime::ConnectFailure::TimedOut: return VI_ERROR_TMO;
        case qx::runtime::ConnectFailure::System: return VI_ERROR_IO;
        default: return VI_ERROR_RSRC_NFOUND;
        }
    }
    out = std::make_unique<TcpTransport>(fd);
    return VI_SUCCESS;
}

} // namespace qx::visa
