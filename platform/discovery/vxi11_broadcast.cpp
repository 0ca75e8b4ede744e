#include "discovery/vxi11_broadcast.h"

#include "vxi11/decoded.h"
#include "vxi11/instrument.h"
#include "vxi11/rpc_client.h"
#include "vxi11/vxi11.h"

#include <rpc/pmap_prot.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <random>

namespace qx::discovery {
namespace {

using vxi11::CallResult;
using vxi11::Decoded;
using vxi11::xdrProc;

constexpr std::size_t kMostHosts = 256;
constexpr std::size_t kLongestIdentity = 512;
constexpr int kMostReads = 16; // an answer in more pieces than this is no *IDN? answer

bool_t xdrPortArgs(XDR *xdr, pmap *value) { return xdr_pmap(xdr, value); }
bool_t xdrWord(XDR *xdr, u_long *value) { return xdr_u_long(xdr, value); }

class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

std::vector<sockaddr_in> broadcastAddresses()
{
    std::vector<sockaddr_in> found;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs *i = list; i != nullptr; i = i->ifa_next) {
        const bool usable = (i->ifa_flags & IFF_UP) && (i->ifa_flags & IFF_BROADCAST) && !(i->ifa_flags & IFF_LOOPBACK);
        if (!usable || i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET || i->ifa_netmask == nullptr)
            continue;
        // From the address and its mask: an address set without its broadcast address ("ip addr add
        // A/24") reports itself there.
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(PMAPPORT);
        to.sin_addr.s_addr = reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr |
                             ~reinterpret_cast<const sockaddr_in *>(i->ifa_netmask)->sin_addr.s_addr;
        const bool seen = std::any_of(found.begin(), found.end(),
                                      [&](const sockaddr_in &a) { return a.sin_addr.s_addr == to.sin_addr.s_addr; });
        if (!seen)
            found.push_back(to);
    }
    ::freeifaddrs(list);
    return found;
}

std::uint32_t freshXid()
{
    std::random_device random;
    return static_cast<std::uint32_t>(random());
}

// One answer to our call: the host and the port it names; false for anything else.
bool takeAnswer(const Socket &socket, std::uint32_t xid, Vxi11Host &host)
{
    char buffer[512];
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t got = ::recvfrom(socket.fd(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &size);
    if (got <= 0 || size != sizeof from)
        return false;
    const std::string_view reply(buffer, static_cast<std::size_t>(got));
    u_long port = 0;
    if (vxi11::recordXid(reply) != xid || vxi11::decodeReply(reply, xdrProc(xdrWord), &port) != vxi11::ReplyStatus::Ok ||
        port == 0 || port > 0xFFFF)
        return false;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    host = {text, static_cast<std::uint16_t>(port)};
    return true;
}

} // namespace

std::vector<Vxi11Host> findVxi11Hosts(std::chrono::milliseconds window, std::string &problem)
{
    problem.clear();
    const std::vector<sockaddr_in> targets = broadcastAddresses();
    if (targets.empty()) {
        problem = "no network interface with an IPv4 broadcast address";
        return {};
    }
    Socket socket;
    const int on = 1;
    if (socket.fd() < 0 || ::setsockopt(socket.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        problem = "cannot make a broadcast socket";
        return {};
    }
    const std::uint32_t xid = freshXid();
    pmap args{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    std::string call;
    if (!vxi11::encodeCall({xid, PMAPPROG, PMAPVERS, PMAPPROC_GETPORT}, xdrProc(xdrPortArgs), &args, call)) {
        problem = "cannot encode the portmapper call";
        return {};
    }
    std::size_t sent = 0;
    for (const sockaddr_in &to : targets)
        sent += ::sendto(socket.fd(), call.data(), call.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
                static_cast<ssize_t>(call.size());
    if (sent == 0) {
        problem = "the broadcast could not be sent";
        return {};
    }
    std::vector<Vxi11Host> hosts;
    const runtime::Deadline deadline(window.count());
    for (int wait = deadline.remainingMs(); wait > 0 && hosts.size() < kMostHosts; wait = deadline.remainingMs()) {
        pollfd ready{socket.fd(), POLLIN, 0};
        if (::poll(&ready, 1, wait) <= 0)
            continue; // the time is up, or a signal: the loop looks at the clock again
        Vxi11Host host;
        if (takeAnswer(socket, xid, host) &&
            std::none_of(hosts.begin(), hosts.end(), [&](const Vxi11Host &h) { return h.address == host.address; }))
            hosts.push_back(host);
    }
    return hosts;
}

std::string askVxi11Identity(const Vxi11Host &host, const std::string &device, std::chrono::milliseconds timeout)
{
    const runtime::Deadline deadline(std::max<long long>(timeout.count(), 1));
    vxi11::RpcClient client;
    if (client.connect(host.address, host.corePort, deadline.remainingMs()) != CallResult::Ok)
        return {};
    const auto call = [&](u_long procedure, xdrproc_t args, const void *argument, xdrproc_t results, void *result) {
        const int left = deadline.remainingMs();
        return left > 0 && client.call(DEVICE_CORE, DEVICE_CORE_VERSION, static_cast<std::uint32_t>(procedure), args,
                                       argument, results, result, left) == CallResult::Ok;
    };
    Create_LinkParms open{};
    open.clientId = static_cast<long>(::getpid());
    open.device = const_cast<char *>(device.c_str());
    Decoded<Create_LinkResp> link(xdr_Create_LinkResp);
    if (!call(create_link, xdrProc(xdr_Create_LinkParms), &open, link.proc, &link.value) ||
        link.value.error != vxi11::error::kNone)
        return {};
    std::string query = "*IDN?\n";
    Device_WriteParms write{};
    write.lid = link.value.lid;
    write.io_timeout = static_cast<u_long>(deadline.remainingMs());
    write.flags = vxi11::flag::kEnd;
    write.data.data_len = static_cast<u_int>(query.size());
    write.data.data_val = query.data();
    Decoded<Device_WriteResp> written(xdr_Device_WriteResp);
    std::string answer;
    bool complete = false;
    if (call(device_write, xdrProc(xdr_Device_WriteParms), &write, written.proc, &written.value) &&
        written.value.error == vxi11::error::kNone)
        for (int reads = 0; reads < kMostReads && !complete && answer.size() < kLongestIdentity; ++reads) {
            Device_ReadParms read{};
            read.lid = link.value.lid;
            read.requestSize = static_cast<u_long>(kLongestIdentity - answer.size());
            read.io_timeout = static_cast<u_long>(deadline.remainingMs());
            read.flags = vxi11::flag::kTermCharSet;
            read.termChar = '\n';
            Decoded<Device_ReadResp> got(xdr_Device_ReadResp);
            if (!call(device_read, xdrProc(xdr_Device_ReadParms), &read, got.proc, &got.value) ||
                got.value.error != vxi11::error::kNone)
                break;
            answer.append(got.value.data.data_val != nullptr ? got.value.data.data_val : "",
                          std::min<std::size_t>(got.value.data.data_len, kLongestIdentity - answer.size()));
            complete = (got.value.reason & (vxi11::reason::kEnd | vxi11::reason::kTermChar)) != 0;
        }
    Device_Link lid = link.value.lid;
    Decoded<Device_Error> closed(xdr_Device_Error);
    (void)call(destroy_link, xdrProc(xdr_Device_Link), &lid, closed.proc, &closed.value);
    if (!complete)
        return {};
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
        answer.pop_back();
    return answer;
}

} // namespace qx::discovery
