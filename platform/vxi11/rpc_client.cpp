#include "vxi11/rpc_client.h"

#include <random>

#include <unistd.h>

#include "runtime/tcp_connect.h"

namespace qx::vxi11 {
namespace {

// Replies larger than this are taken for a broken peer (device_read data is bounded far below).
constexpr std::size_t kMaxReply = 64u << 20;

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
    qx::runtime::ConnectFailure why = qx::runtime::ConnectFailure::None;
    fd_ = qx::runtime::connectTcp(host, port, Deadline(timeoutMs), why);
    if (fd_ < 0)
        return why == qx::runtime::ConnectFailure::TimedOut ? CallResult::TimedOut : CallResult::Disconnected;
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
