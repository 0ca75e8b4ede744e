// ONC RPC messages (RFC 5531) around the XDR routines rpcgen generates: calls with null
// credentials and their replies, for the client and the server side.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <rpc/rpc.h>

namespace qx::vxi11 {

// rpcgen's routines take a typed pointer; libtirpc stores them untyped.
template <class T> xdrproc_t xdrProc(bool_t (*routine)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(routine));
}

struct CallHeader {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
};

// A call with null credentials, its arguments encoded by `args`.
bool encodeCall(const CallHeader &header, xdrproc_t args, const void *argument, std::string &out);

// The xid a record carries in its first four bytes (calls and replies alike), 0 if too short.
std::uint32_t recordXid(std::string_view record);

enum class ReplyStatus {
    Ok,
    Refused,     // the server refused the call (version mismatch, authentication)
    Unavailable, // program, version or procedure not served
    GarbageArgs, // the server could not decode our arguments
    SystemError,
    Malformed    // not a reply we can decode
};
// Decodes a reply into `result`, whose heap parts (strings, opaque data) the caller frees with
// xdr_free(results, result).
ReplyStatus decodeReply(std::string_view record, xdrproc_t results, void *result);

// The server side: a received call, its header decoded at construction.
class CallDecoder {
public:
    explicit CallDecoder(std::string_view record);
    ~CallDecoder();
    CallDecoder(const CallDecoder &) = delete;
    CallDecoder &operator=(const CallDecoder &) = delete;

    bool valid() const { return valid_; }       // a call message at all
    bool rpcVersion2() const { return rpcVersion2_; }
    const CallHeader &header() const { return header_; }
    // Decodes the arguments; false when they do not parse.
    bool arguments(xdrproc_t args, void *argument);

private:
    std::string buffer_;
    XDR xdr_{};
    char credentials_[MAX_AUTH_BYTES]{};
    char verifier_[MAX_AUTH_BYTES]{};
    CallHeader header_;
    bool valid_ = false;
    bool rpcVersion2_ = false;
};

enum class AcceptStatus { Success, ProgramUnavailable, VersionMismatch, ProcedureUnavailable, GarbageArgs, SystemError };
// A reply accepting the call; with Success, `result` encoded by `results` follows. VersionMismatch
// names version 1 as the one served.
std::string encodeReply(std::uint32_t xid, AcceptStatus status, xdrproc_t results = nullptr,
                        const void *result = nullptr);
// A reply denying a call that is not RPC version 2.
std::string encodeRpcMismatch(std::uint32_t xid);

} // namespace qx::vxi11
