// Bytes from the LAN: a VXI-11 server takes records and calls from any client, a client takes
// replies from any server. Every record is split off the stream, decoded as a call with the
// arguments of each procedure and as a reply with each result, and freed again: no crash, no leak.
#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"
#include "vxi11/vxi11.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using qx::vxi11::xdrProc;

struct Routine {
    xdrproc_t proc;
    std::size_t size;
};

template <class T> Routine routine(bool_t (*xdr)(XDR *, T *)) { return {xdrProc(xdr), sizeof(T)}; }

const Routine kRoutines[] = {
    routine(xdr_Create_LinkParms), routine(xdr_Create_LinkResp),   routine(xdr_Device_WriteParms),
    routine(xdr_Device_WriteResp), routine(xdr_Device_ReadParms),  routine(xdr_Device_ReadResp),
    routine(xdr_Device_ReadStbResp), routine(xdr_Device_GenericParms), routine(xdr_Device_LockParms),
    routine(xdr_Device_Link),      routine(xdr_Device_Error),      routine(xdr_Device_EnableSrqParms),
    routine(xdr_Device_DocmdParms), routine(xdr_Device_DocmdResp), routine(xdr_Device_RemoteFunc),
};

void decodeEveryWay(const std::string &record)
{
    alignas(std::max_align_t) char value[256];
    for (const Routine &r : kRoutines) {
        static_assert(sizeof value >= sizeof(Device_DocmdParms));
        std::fill(value, value + sizeof value, 0);
        qx::vxi11::CallDecoder call(record);
        if (call.valid())
            call.arguments(r.proc, value);
        xdr_free(r.proc, value);
        std::fill(value, value + sizeof value, 0);
        qx::vxi11::decodeReply(record, r.proc, value);
        xdr_free(r.proc, value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return 0;
    // The input is the stream a peer sent; small enough for the socket buffer.
    if (size > 0 && ::send(pair[1], data, size, MSG_DONTWAIT) != static_cast<ssize_t>(size)) {
        ::close(pair[0]);
        ::close(pair[1]);
        return 0;
    }
    ::shutdown(pair[1], SHUT_WR);
    qx::vxi11::RecordStream stream(pair[0]);
    std::string record;
    while (stream.receive(record, 64 * 1024, qx::vxi11::Deadline(0)) == qx::vxi11::StreamResult::Ok)
        decodeEveryWay(record);
    ::close(pair[0]);
    ::close(pair[1]);
    return 0;
}
