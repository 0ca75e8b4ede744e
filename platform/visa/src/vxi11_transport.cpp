// TCPIP INSTR sessions: a VXI-11 link to a LAN instrument or a LAN-to-GPIB/serial gateway.
//
// - The core channel's port comes from the portmapper on the host; one link per session.
// - Every RPC call waits io time-out + lock time-out + a margin, so that a server that waits for a
//   lock or a slow instrument answers before the client gives up on it.
// - When a call gets no reply within that, the session tells the server to stop it on the abort
//   channel and reports a time-out; the reply that may still come is dropped by its xid, so the
//   session stays usable.
// - Writes longer than the server's maximum receive size go in pieces, END on the last only;
//   reads go on until END, the termination character or the count.
#include <algorithm>
#include <optional>

#include <unistd.h>

#include "transport.h"
#include "visa/vxi11_status.h"
#include "vxi11/decoded.h"
#include "vxi11/instrument.h"
#include "vxi11/portmapper.h"
#include "vxi11/rpc_client.h"
#include "vxi11/vxi11.h"

namespace qx::visa {
namespace {

using vxi11::CallResult;
using vxi11::Decoded;
using vxi11::xdrProc;

constexpr ViUInt32 kDefaultOpenTimeoutMs = 2000;
constexpr long long kMarginMs = 2000;
constexpr long long kCloseTimeoutMs = 1000;
constexpr long long kAbortTimeoutMs = 1000;
// The most one device_read asks for.
constexpr std::size_t kReadChunk = 1u << 20;

ViStatus statusOf(long deviceError) { return statusOfDeviceError(deviceError); }

ViStatus statusOf(CallResult result)
{
    switch (result) {
    case CallResult::Ok: return VI_SUCCESS;
    case CallResult::TimedOut: return VI_ERROR_TMO;
    case CallResult::Disconnected: return VI_ERROR_CONN_LOST;
    case CallResult::Failed: return VI_ERROR_IO;
    }
    return VI_ERROR_IO;
}

u_long wireTimeout(ViUInt32 ms) { return ms; } // VI_TMO_INFINITE is the protocol's longest wait too

// How long the client waits for the reply to a call carrying these time-outs.
long long replyTimeout(ViUInt32 ioMs, ViUInt32 lockMs)
{
    if (ioMs == VI_TMO_INFINITE || lockMs == VI_TMO_INFINITE)
        return -1;
    return static_cast<long long>(ioMs) + lockMs + kMarginMs;
}

class Vxi11Transport final : public Transport {
public:
    Vxi11Transport(std::string host, long link, std::uint16_t abortPort, std::uint32_t maxRecvSize,
                   std::unique_ptr<vxi11::RpcClient> core)
        : host_(std::move(host)), link_(link), abortPort_(abortPort),
          maxRecvSize_(std::max<std::uint32_t>(maxRecvSize, 1)), core_(std::move(core))
    {
    }
    ~Vxi11Transport() override { close(); }

    ViStatus write(std::string_view bytes, bool end, ViUInt32 timeoutMs) override
    {
        const Deadline deadline(timeoutMs);
        std::size_t done = 0;
        do {
            const std::size_t piece = std::min<std::size_t>(bytes.size() - done, maxRecvSize_);
            const bool last = done + piece == bytes.size();
            Device_WriteParms p{};
            p.lid = link_;
            p.io_timeout = wireTimeout(remaining(deadline));
            p.lock_timeout = wireTimeout(lockTimeout(timeoutMs));
            p.flags = lockFlags(timeoutMs) | (last && end ? vxi11::flag::kEnd : 0);
            p.data.data_len = static_cast<u_int>(piece);
            p.data.data_val = const_cast<char *>(bytes.data() + done);
            Decoded<Device_WriteResp> r(xdr_Device_WriteResp);
            if (const ViStatus s = call(device_write, xdrProc(xdr_Device_WriteParms), &p, r.proc, &r.value,
                                        replyTimeout(p.io_timeout, p.lock_timeout));
                s < 0)
                return s;
            if (r.value.error != vxi11::error::kNone)
                return statusOf(r.value.error);
            if (r.value.size == 0 && piece > 0)
                return VI_ERROR_IO; // a server that takes nothing would keep us here for ever
            done += std::min<std::size_t>(r.value.size, piece);
        } while (done < bytes.size());
        return VI_SUCCESS;
    }

    ReadResult read(std::size_t max, const ReadRules &rules, ViUInt32 timeoutMs) override
    {
        ReadResult result;
        const Deadline deadline(timeoutMs);
        while (result.bytes.size() < max) {
            Device_ReadParms p{};
            p.lid = link_;
            p.requestSize = static_cast<u_long>(std::min(max - result.bytes.size(), kReadChunk));
            p.io_timeout = wireTimeout(remaining(deadline));
            p.lock_timeout = wireTimeout(lockTimeout(timeoutMs));
            p.flags = lockFlags(timeoutMs) | (rules.stopAtTermChar ? vxi11::flag::kTermCharSet : 0);
            p.termChar = static_cast<char>(rules.termChar);
            Decoded<Device_ReadResp> r(xdr_Device_ReadResp);
            result.status = call(device_read, xdrProc(xdr_Device_ReadParms), &p, r.proc, &r.value,
                                 replyTimeout(p.io_timeout, p.lock_timeout));
            if (result.status < 0)
                return result;
            const std::size_t room = max - result.bytes.size();
            result.bytes.append(r.value.data.data_val ? r.value.data.data_val : "",
                                std::min<std::size_t>(r.value.data.data_len, room));
            if (r.value.error != vxi11::error::kNone) {
                result.status = statusOf(r.value.error);
                return result;
            }
            if ((r.value.reason & vxi11::reason::kEnd) && rules.honourEnd) {
                result.end = ReadEnd::End;
                return result;
            }
            if ((r.value.reason & vxi11::reason::kTermChar) && rules.stopAtTermChar) {
                result.end = rules.termCharIsEnd ? ReadEnd::End : ReadEnd::TermChar;
                return result;
            }
            if (deadline.remainingMs() == 0 && result.bytes.size() < max) {
                result.status = VI_ERROR_TMO;
                return result;
            }
        }
        return result;
    }

    ViStatus clear(ViUInt32 timeoutMs) override { return generic(device_clear, timeoutMs); }
    ViStatus trigger(ViUInt32 timeoutMs) override { return generic(device_trigger, timeoutMs); }

    ViStatus readStatusByte(ViUInt16 &status, ViUInt32 timeoutMs) override
    {
        Device_GenericParms p = genericParms(timeoutMs);
        Decoded<Device_ReadStbResp> r(xdr_Device_ReadStbResp);
        if (const ViStatus s = call(device_readstb, xdrProc(xdr_Device_GenericParms), &p, r.proc, &r.value,
                                    replyTimeout(p.io_timeout, p.lock_timeout));
            s < 0)
            return s;
        status = r.value.stb;
        return statusOf(r.value.error);
    }

    ViStatus remoteLocal(ViUInt16 mode, ViUInt32 timeoutMs) override
    {
        switch (mode) {
        case VI_GPIB_REN_ASSERT:
        case VI_GPIB_REN_ASSERT_ADDRESS: return generic(device_remote, timeoutMs);
        case VI_GPIB_REN_DEASSERT:
        case VI_GPIB_REN_DEASSERT_GTL:
        case VI_GPIB_REN_ADDRESS_GTL: return generic(device_local, timeoutMs);
        default: return VI_ERROR_NSUP_OPER; // local lockout is not in the core channel
        }
    }

    ViStatus lock(ViUInt32 timeoutMs) override
    {
        Device_LockParms p{};
        p.lid = link_;
        p.flags = timeoutMs > 0 ? vxi11::flag::kWaitLock : 0;
        p.lock_timeout = wireTimeout(timeoutMs);
        return errorCall(device_lock, xdrProc(xdr_Device_LockParms), &p, replyTimeout(0, timeoutMs));
    }

    ViStatus unlock() override
    {
        Device_Link lid = link_;
        return errorCall(device_unlock, xdrProc(xdr_Device_Link), &lid, kMarginMs);
    }

    void setLockTimeout(std::optional<ViUInt32> ms) override { lockTimeoutMs_ = ms; }

    void close() override
    {
        if (!core_)
            return;
        if (core_->connected()) {
            Device_Link lid = link_;
            Decoded<Device_Error> r(xdr_Device_Error);
            (void)core_->call(DEVICE_CORE, DEVICE_CORE_VERSION, destroy_link, xdrProc(xdr_Device_Link), &lid, r.proc,
                              &r.value, kCloseTimeoutMs);
        }
        core_.reset();
        abort_.reset();
    }

    // Nothing arrives unasked on a VXI-11 link; a call left without its reply is stopped.
    void discardInput() override {}
    void discardLateInput() override { stopAbandonedCall(); }

private:
    ViUInt32 remaining(const Deadline &deadline) const
    {
        const int left = deadline.remainingMs();
        return left < 0 ? VI_TMO_INFINITE : static_cast<ViUInt32>(left);
    }
    ViUInt32 lockTimeout(ViUInt32 ioMs) const { return lockTimeoutMs_.value_or(ioMs); }
    long lockFlags(ViUInt32 ioMs) const { return lockTimeout(ioMs) > 0 ? vxi11::flag::kWaitLock : 0; }

    Device_GenericParms genericParms(ViUInt32 timeoutMs) const
    {
        Device_GenericParms p{};
        p.lid = link_;
        p.flags = lockFlags(timeoutMs);
        p.lock_timeout = wireTimeout(lockTimeout(timeoutMs));
        p.io_timeout = wireTimeout(timeoutMs);
        return p;
    }

    ViStatus generic(u_long procedure, ViUInt32 timeoutMs)
    {
        Device_GenericParms p = genericParms(timeoutMs);
        return errorCall(procedure, xdrProc(xdr_Device_GenericParms), &p, replyTimeout(p.io_timeout, p.lock_timeout));
    }

    // A call whose result is a bare Device_Error.
    ViStatus errorCall(u_long procedure, xdrproc_t args, void *argument, long long replyMs)
    {
        Decoded<Device_Error> r(xdr_Device_Error);
        if (const ViStatus s = call(procedure, args, argument, r.proc, &r.value, replyMs); s < 0)
            return s;
        return statusOf(r.value.error);
    }

    ViStatus call(u_long procedure, xdrproc_t args, void *argument, xdrproc_t results, void *result, long long replyMs)
    {
        if (!core_ || !core_->connected())
            return VI_ERROR_CONN_LOST;
        stopAbandonedCall();
        const CallResult r = core_->call(DEVICE_CORE, DEVICE_CORE_VERSION, static_cast<std::uint32_t>(procedure), args,
                                         argument, results, result, replyMs);
        if (r == CallResult::TimedOut) {
            abandoned_ = true;
            stopAbandonedCall();
        }
        return statusOf(r);
    }

    // The server may still be working on a call we stopped waiting for: device_abort ends it, so
    // that the next call is not held behind it.
    void stopAbandonedCall()
    {
        if (!abandoned_)
            return;
        abandoned_ = false;
        if (!abort_) {
            abort_ = std::make_unique<vxi11::RpcClient>();
            if (abort_->connect(host_, abortPort_, kAbortTimeoutMs) != CallResult::Ok) {
                abort_.reset();
                return;
            }
        }
        Device_Link lid = link_;
        Decoded<Device_Error> r(xdr_Device_Error);
        if (abort_->call(DEVICE_ASYNC, DEVICE_ASYNC_VERSION, device_abort, xdrProc(xdr_Device_Link), &lid, r.proc,
                         &r.value, kAbortTimeoutMs) == CallResult::Disconnected)
            abort_.reset();
    }

    const std::string host_;
    const long link_;
    const std::uint16_t abortPort_;
    const std::uint32_t maxRecvSize_;
    std::unique_ptr<vxi11::RpcClient> core_;
    std::unique_ptr<vxi11::RpcClient> abort_;
    std::optional<ViUInt32> lockTimeoutMs_;
    bool abandoned_ = false;
};

} // namespace

ViStatus openVxi11Transport(const ResourceName &name, ViUInt32 openTimeoutMs, std::unique_ptr<Transport> &out)
{
    const long long timeoutMs = openTimeoutMs == 0 ? kDefaultOpenTimeoutMs : openTimeoutMs;
    std::uint16_t port = 0;
    const CallResult found = vxi11::lookUpPort(name.host, DEVICE_CORE, DEVICE_CORE_VERSION, timeoutMs, port);
    if (found == CallResult::TimedOut)
        return VI_ERROR_TMO;
    if (found != CallResult::Ok || port == 0)
        return VI_ERROR_RSRC_NFOUND; // no portmapper, or no VXI-11 server registered with it
    auto core = std::make_unique<vxi11::RpcClient>();
    if (const CallResult connected = core->connect(name.host, port, timeoutMs); connected != CallResult::Ok)
        return connected == CallResult::TimedOut ? VI_ERROR_TMO : VI_ERROR_RSRC_NFOUND;

    Create_LinkParms p{};
    p.clientId = static_cast<long>(::getpid() & 0x7FFFFFFF);
    p.lockDevice = FALSE;
    p.lock_timeout = 0;
    std::string device = name.device;
    p.device = device.data();
    Decoded<Create_LinkResp> r(xdr_Create_LinkResp);
    const CallResult linked = core->call(DEVICE_CORE, DEVICE_CORE_VERSION, create_link, xdrProc(xdr_Create_LinkParms),
                                         &p, r.proc, &r.value, timeoutMs);
    // A server that closes the connection before its first reply does not admit this host.
    if (linked == CallResult::Disconnected)
        return VI_ERROR_NPERMISSION;
    if (linked != CallResult::Ok)
        return linked == CallResult::TimedOut ? VI_ERROR_TMO : VI_ERROR_RSRC_NFOUND;
    if (r.value.error != vxi11::error::kNone)
        return statusOf(r.value.error);
    out = std::make_unique<Vxi11Transport>(name.host, r.value.lid, r.value.abortPort,
                                           static_cast<std::uint32_t>(r.value.maxRecvSize), std::move(core));
    return VI_SUCCESS;
}

} // namespace qx::visa
