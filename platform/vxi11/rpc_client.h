// An ONC RPC client on one TCP connection, with a time-out per call. A reply that comes after its
// call timed out is recognised by its xid and dropped, so it never answers a later call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"

namespace qx::vxi11 {

enum class CallResult {
    Ok,
    TimedOut,     // no reply within the time-out; the connection stays usable
    Disconnected, // the connection is gone (or could not be made)
    Failed        // the server refused the call or its reply did not decode
};

class RpcClient {
public:
    RpcClient() = default;
    ~RpcClient();
    RpcClient(const RpcClient &) = delete;
    RpcClient &operator=(const RpcClient &) = delete;

    // Connects to host:port (a name or a numeric IPv4/IPv6 address) within `timeoutMs`.
    // TimedOut or Disconnected on failure.
    CallResult connect(const std::string &host, std::uint16_t port, long long timeoutMs);
    bool connected() const { return fd_ >= 0; }
    void close();

    // Calls program/version/procedure; `timeoutMs` < 0 waits for ever. `result` is decoded only on
    // Ok; the caller frees its heap parts with xdr_free.
    CallResult call(std::uint32_t program, std::uint32_t version, std::uint32_t procedure, xdrproc_t args,
                    const void *argument, xdrproc_t results, void *result, long long timeoutMs);

    // The reply status of the last call that got one.
    ReplyStatus lastReplyStatus() const { return lastReply_; }

private:
    int fd_ = -1;
    std::unique_ptr<RecordStream> stream_;
    std::uint32_t nextXid_ = 0;
    ReplyStatus lastReply_ = ReplyStatus::Ok;
};

} // namespace qx::vxi11
