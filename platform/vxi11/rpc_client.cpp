#include "vxi11/rpc_client.h"

#include <cerrno>
#include <chrono>
#include <random>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qx::vxi11 {
namespace {

// Replies larger than this are taken for a broken peer (device_read data is bounded far below).
constexpr std::size_t kMaxReply = 64u << 20;

int connectOne(const addrinfo &ai, const Deadline &deadline, CallResult &result)
{
    const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
    if (fd < 0)
        return -1;
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
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
        if (r == 0)
            result = CallResult::TimedOut;
        if (r <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            ::close(fd);
            return -1;
        }
    }
    const int one = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

RpcClient::~RpcClient() { close(); }

void RpcClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    stream_.reset();
}

CallResult RpcClient::connect(const std::string &host, std::uint16_t port, long long timeoutMs)
{
    close();
    const Deadline deadline(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *list = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list)
        return CallResult::Disconnected;
    CallResult result = CallResult::Disconnected;
    for (const addrinfo *ai = list; ai && fd_ < 0 && result != CallResult::TimedOut; ai = ai->ai_next)
        fd_ = connectOne(*ai, deadline, result);
    ::freeaddrinfo(list);
    if (fd_ < 0)
        return result;
    stream_ = std::make_unique<RecordStream>(fd_);
    // xids start at a random point so that a reconnecting client's calls never match the replies
    // a server may still send to an earlier connection's calls.
    nextXid_ = static_cast<std::uint32_t>(std::random_device{}());
    return CallResult::Ok;
}

CallResult RpcClient::call(std::uint32_t program, std::uint32_t version, std::uint32_t procedure, xdrproc_t args,
                           const void *argument, xdrproc_t results, void *result, long long timeoutMs)
{
    if (fd_ < 0)
        return CallResult::Disconnected;
    const Deadline deadline(timeoutMs);
    const CallHeader header{++nextXid_, program, version, procedure};
    std::string message;
    if (!encodeCall(header, args, argument, message))
        return CallResult::Failed;
    if (const StreamResult sent = stream_->send(message, deadline); sent != StreamResult::Ok) {
        if (sent == StreamResult::TimedOut)
            return CallResult::TimedOut;
        close();
        return CallResult::Disconnected;
    }
    for (;;) {
        std::string reply;
        const StreamResult received = stream_->receive(reply, kMaxReply, deadline);
        if (received == StreamResult::TimedOut)
            return CallResult::TimedOut;
        if (received != StreamResult::Ok) {
            close();
            return CallResult::Disconnected;
        }
        if (recordXid(reply) != header.xid)
            continue; // the late reply to a call that timed out
        lastReply_ = decodeReply(reply, results, result);
        return lastReply_ == ReplyStatus::Ok ? CallResult::Ok : CallResult::Failed;
    }
}

} // namespace qx::vxi11
