#include "vxi11/portmapper.h"

#include <cstdio>

#include <netinet/in.h>
#include <rpc/pmap_prot.h>

#include "vxi11/vxi11.h"

namespace qx::vxi11 {
namespace {

constexpr long long kLocalTimeoutMs = 2000;

bool_t xdrPortArgs(XDR *xdr, pmap *value) { return xdr_pmap(xdr, value); }
bool_t xdrWord(XDR *xdr, u_long *value) { return xdr_u_long(xdr, value); }
bool_t xdrBoolean(XDR *xdr, bool_t *value) { return xdr_bool(xdr, value); }

bool callLocal(u_long procedure, pmap &args)
{
    RpcClient client;
    if (client.connect("127.0.0.1", kPortmapperPort, kLocalTimeoutMs) != CallResult::Ok)
        return false;
    bool_t done = FALSE;
    return client.call(PMAPPROG, PMAPVERS, static_cast<std::uint32_t>(procedure), xdrProc(xdrPortArgs), &args,
                       xdrProc(xdrBoolean), &done, kLocalTimeoutMs) == CallResult::Ok &&
           done;
}

} // namespace

CallResult lookUpPort(const std::string &host, std::uint32_t program, std::uint32_t version, long long timeoutMs,
                      std::uint16_t &port)
{
    port = 0;
    RpcClient client;
    if (const CallResult connected = client.connect(host, kPortmapperPort, timeoutMs); connected != CallResult::Ok)
        return connected;
    pmap args{program, version, IPPROTO_TCP, 0};
    u_long found = 0;
    const CallResult result = client.call(PMAPPROG, PMAPVERS, PMAPPROC_GETPORT, xdrProc(xdrPortArgs), &args,
                                          xdrProc(xdrWord), &found, timeoutMs);
    if (result == CallResult::Ok)
        port = found <= 0xFFFF ? static_cast<std::uint16_t>(found) : 0;
    return result;
}

bool registerTcpService(std::uint32_t program, std::uint32_t version, std::uint16_t port)
{
    pmap args{program, version, IPPROTO_TCP, port};
    pmap old{program, version, IPPROTO_TCP, 0};
    (void)callLocal(PMAPPROC_UNSET, old);
    return callLocal(PMAPPROC_SET, args);
}

void withdrawService(std::uint32_t program, std::uint32_t version)
{
    pmap args{program, version, IPPROTO_TCP, 0};
    (void)callLocal(PMAPPROC_UNSET, args);
}

CoreChannelRegistration::CoreChannelRegistration(const char *program, std::uint16_t port)
    : registered_(registerTcpService(DEVICE_CORE, DEVICE_CORE_VERSION, port))
{
    if (!registered_)
        std::fprintf(stderr, "%s: rpcbind did not take the VXI-11 registration; clients must be told port %u\n",
                     program, static_cast<unsigned>(port));
}

CoreChannelRegistration::~CoreChannelRegistration()
{
    if (registered_)
        withdrawService(DEVICE_CORE, DEVICE_CORE_VERSION);
}

} // namespace qx::vxi11
