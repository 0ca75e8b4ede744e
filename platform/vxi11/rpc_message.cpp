#include "vxi11/rpc_message.h"

#include <cstring>

namespace qx::vxi11 {
namespace {

constexpr u_int kHeaderRoom = 64; // a call or reply header with null credentials

bool_t xdrNothing(XDR *, void *) { return TRUE; }

// Encodes with `fill` into a buffer of `size` bytes; false when it does not fit.
template <class Fill> bool encodeInto(std::size_t size, std::string &out, Fill &&fill)
{
    out.assign(size, '\0');
    XDR xdr;
    xdrmem_create(&xdr, out.data(), static_cast<u_int>(out.size()), XDR_ENCODE);
    const bool ok = fill(&xdr);
    if (ok)
        out.resize(xdr_getpos(&xdr));
    xdr_destroy(&xdr);
    return ok;
}

// An enum field as decoded from the wire, which may hold any number: read as the integer it is.
template <class Enum> std::int32_t wire(const Enum &field)
{
    static_assert(sizeof(Enum) == sizeof(std::int32_t));
    std::int32_t value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

std::size_t encodedSize(xdrproc_t proc, const void *value)
{
    return proc && value ? xdr_sizeof(proc, const_cast<void *>(value)) : 0;
}

} // namespace

bool encodeCall(const CallHeader &header, xdrproc_t args, const void *argument, std::string &out)
{
    rpc_msg call{};
    call.rm_xid = header.xid;
    call.rm_direction = CALL;
    call.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    call.rm_call.cb_prog = header.program;
    call.rm_call.cb_vers = header.version;
    call.rm_call.cb_proc = header.procedure;
    call.rm_call.cb_cred = _null_auth;
    call.rm_call.cb_verf = _null_auth;
    return encodeInto(kHeaderRoom + encodedSize(args, argument), out, [&](XDR *xdr) {
        return xdr_callmsg(xdr, &call) && (!args || args(xdr, const_cast<void *>(argument)));
    });
}

std::uint32_t recordXid(std::string_view record)
{
    if (record.size() < 4)
        return 0;
    std::uint32_t xid = 0;
    for (std::size_t i = 0; i < 4; ++i)
        xid = (xid << 8) | static_cast<unsigned char>(record[i]);
    return xid;
}

ReplyStatus decodeReply(std::string_view record, xdrproc_t results, void *result)
{
    std::string buffer(record);
    XDR xdr;
    xdrmem_create(&xdr, buffer.data(), static_cast<u_int>(buffer.size()), XDR_DECODE);
    rpc_msg reply{};
    reply.acpted_rply.ar_verf = _null_auth;
    reply.acpted_rply.ar_results.where = static_cast<caddr_t>(result);
    reply.acpted_rply.ar_results.proc = results;
    const bool decoded = xdr_replymsg(&xdr, &reply);
    xdr_destroy(&xdr);
    // A verifier body, if the server sent one, was allocated by the decoder.
    const bool accepted = wire(reply.rm_direction) == REPLY && wire(reply.rm_reply.rp_stat) == MSG_ACCEPTED;
    if (accepted && reply.acpted_rply.ar_verf.oa_base && reply.acpted_rply.ar_verf.oa_base != _null_auth.oa_base)
        ::free(reply.acpted_rply.ar_verf.oa_base);
    if (wire(reply.rm_direction) != REPLY)
        return ReplyStatus::Malformed;
    if (!accepted)
        return wire(reply.rm_reply.rp_stat) == MSG_DENIED ? ReplyStatus::Refused : ReplyStatus::Malformed;
    switch (wire(reply.acpted_rply.ar_stat)) {
    case SUCCESS:
        return decoded ? ReplyStatus::Ok : ReplyStatus::Malformed;
    case PROG_UNAVAIL:
    case PROG_MISMATCH:
    case PROC_UNAVAIL:
        return ReplyStatus::Unavailable;
    case GARBAGE_ARGS:
        return ReplyStatus::GarbageArgs;
    default:
        return ReplyStatus::SystemError;
    }
}

CallDecoder::CallDecoder(std::string_view record) : buffer_(record)
{
    xdrmem_create(&xdr_, buffer_.data(), static_cast<u_int>(buffer_.size()), XDR_DECODE);
    rpc_msg call{};
    call.rm_call.cb_cred.oa_base = credentials_;
    call.rm_call.cb_verf.oa_base = verifier_;
    valid_ = xdr_callmsg(&xdr_, &call) && wire(call.rm_direction) == CALL;
    if (!valid_)
        return;
    rpcVersion2_ = call.rm_call.cb_rpcvers == RPC_MSG_VERSION;
    header_.xid = static_cast<std::uint32_t>(call.rm_xid);
    header_.program = static_cast<std::uint32_t>(call.rm_call.cb_prog);
    header_.version = static_cast<std::uint32_t>(call.rm_call.cb_vers);
    header_.procedure = static_cast<std::uint32_t>(call.rm_call.cb_proc);
}

CallDecoder::~CallDecoder() { xdr_destroy(&xdr_); }

bool CallDecoder::arguments(xdrproc_t args, void *argument)
{
    return valid_ && args(&xdr_, argument);
}

std::string encodeReply(std::uint32_t xid, AcceptStatus status, xdrproc_t results, const void *result)
{
    rpc_msg reply{};
    reply.rm_xid = xid;
    reply.rm_direction = REPLY;
    reply.rm_reply.rp_stat = MSG_ACCEPTED;
    reply.acpted_rply.ar_verf = _null_auth;
    static constexpr accept_stat kStats[] = {SUCCESS, PROG_UNAVAIL, PROG_MISMATCH, PROC_UNAVAIL, GARBAGE_ARGS, SYSTEM_ERR};
    reply.acpted_rply.ar_stat = kStats[static_cast<int>(status)];
    if (status == AcceptStatus::VersionMismatch) {
        reply.acpted_rply.ar_vers.low = 1;
        reply.acpted_rply.ar_vers.high = 1;
    }
    if (status == AcceptStatus::Success) {
        reply.acpted_rply.ar_results.where = static_cast<caddr_t>(const_cast<void *>(result));
        reply.acpted_rply.ar_results.proc = results ? results : xdrProc(xdrNothing);
    }
    std::string out;
    if (!encodeInto(kHeaderRoom + encodedSize(status == AcceptStatus::Success ? results : nullptr, result), out,
                    [&](XDR *xdr) { return xdr_replymsg(xdr, &reply); }))
        return encodeReply(xid, AcceptStatus::SystemError);
    return out;
}

std::string encodeRpcMismatch(std::uint32_t xid)
{
    rpc_msg reply{};
    reply.rm_xid = xid;
    reply.rm_direction = REPLY;
    reply.rm_reply.rp_stat = MSG_DENIED;
    reply.rjcted_rply.rj_stat = RPC_MISMATCH;
    reply.rjcted_rply.rj_vers.low = RPC_MSG_VERSION;
    reply.rjcted_rply.rj_vers.high = RPC_MSG_VERSION;
    std::string out;
    encodeInto(kHeaderRoom, out, [&](XDR *xdr) { return xdr_replymsg(xdr, &reply); });
    return out;
}

} // namespace qx::vxi11
