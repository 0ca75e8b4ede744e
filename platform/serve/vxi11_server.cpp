#include "serve/vxi11_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include "runtime/clock.h"
#include "runtime/strings.h"
#include "serve/tcp.h"
#include "vxi11/decoded.h"
#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"
#include "vxi11/vxi11.h"

namespace qx::serve {
namespace {

using namespace qx::vxi11;
using Clock = std::chrono::steady_clock;

// A record larger than this is no call we serve: the connection is closed.
constexpr std::size_t kRecordOverhead = 4096;
// The most data one device_read hands out, whatever the client asks for.
constexpr std::size_t kMaxReadSize = 1u << 20;
// How long a reply may take to leave for a client that does not read.
constexpr long long kSendMs = 10000;
// Connections over a cap whose first call is answered "out of resources", at most this many at
// once and each for at most this long; others are closed at once.
constexpr std::size_t kMaxRefusals = 32;
constexpr long long kRefusalMs = 1000;

struct Link {
    long id = 0;
    int connection = 0;
    std::uint32_t peer = 0;
    std::shared_ptr<Conversation> conversation;
    std::shared_ptr<Party> party;
};

struct Connection {
    int id = 0;
    int fd = -1;
    std::uint32_t peer = 0;
    Access access = Access::Full;
    bool abortChannel = false;
    Admission::Pass pass; // counted on its channel while the connection is served
    std::thread thread;
    std::atomic<bool> done{false};
};

// A connection over a cap, kept until its first call is answered with the reason.
struct Refusal {
    RecordStream stream;
    Deadline until;
    std::string who;
};

const char *channelName(bool abortChannel) { return abortChannel ? "abort" : "core"; }

std::string clientName(const Connection &c)
{
    return "client " + std::to_string(c.id) + " (" + addressText(c.peer) + ")";
}

// A link in a log line, with the address of the client that used it: refusals name who was refused.
std::string linkName(long lid, const Connection &c)
{
    return "link " + std::to_string(lid) + " of " + addressText(c.peer);
}

} // namespace

class DeviceServer::State {
public:
    State(std::vector<ServedDevice> devices, ServerOptions options)
        : options_(std::move(options)), devices_(std::move(devices)), coreAdmission_(options_, options_.log),
          abortAdmission_(options_, options_.log)
    {
    }

    ~State() { stop(); }

    bool start(std::string &problem)
    {
        coreFd_ = listenOn(options_.listenAddress, options_.corePort, problem);
        if (coreFd_ < 0)
            return false;
        abortFd_ = listenOn(options_.listenAddress, 0, problem);
        if (abortFd_ < 0 || !wake_.open()) {
            if (problem.empty())
                problem = "cannot create an event descriptor";
            closeListeners();
            return false;
        }
        log("listening on " + options_.listenAddress + ":" + std::to_string(corePort()) +
            (options_.listenAddress == "0.0.0.0" ? " (every interface)" : "") + ", admitting " +
            options_.access.describe());
        acceptThread_ = std::thread([this] { acceptLoop(); });
        return true;
    }

    void stop()
    {
        if (!acceptThread_.joinable())
            return;
        stopping_ = true;
        wake_.signal();
        acceptThread_.join();
        {
            std::lock_guard guard(mutex_);
            for (auto &[id, link] : links_)
                link->conversation->abort(*link->party);
            for (auto &c : connections_)
                ::shutdown(c->fd, SHUT_RDWR);
        }
        for (auto &c : connections_)
            if (c->thread.joinable())
                c->thread.join();
        for (auto &c : connections_)
            ::close(c->fd);
        connections_.clear();
        for (Refusal &r : refusals_)
            ::close(r.stream.fd());
        refusals_.clear();
        closeListeners();
    }

    std::uint16_t corePort() const { return boundPort(coreFd_); }
    std::uint16_t abortPort() const { return boundPort(abortFd_); }

    std::size_t linkCount() const
    {
        std::lock_guard guard(mutex_);
        return links_.size();
    }

private:
    void log(const std::string &line) const
    {
        if (options_.log)
            options_.log(line);
    }

    void closeListeners()
    {
        for (int *fd : {&coreFd_, &abortFd_}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        wake_.close();
    }

    // --- connections --------------------------------------------------------------------------

    void acceptLoop()
    {
        while (!stopping_) {
            std::vector<pollfd> fds{{coreFd_, POLLIN, 0}, {abortFd_, POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
            int timeout = -1;
            for (const Refusal &r : refusals_) {
                fds.push_back({r.stream.fd(), POLLIN, 0});
                const int left = r.until.remainingMs();
                timeout = timeout < 0 ? left : std::min(timeout, left);
            }
            if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
                return;
            if (fds[2].revents & POLLIN)
                wake_.drain();
            reapConnections();
            answerRefusals();
            for (int i = 0; i < 2 && !stopping_; ++i)
                if (fds[static_cast<std::size_t>(i)].revents & POLLIN)
                    admit(fds[static_cast<std::size_t>(i)].fd, i == 1);
        }
    }

    void admit(int listener, bool abortChannel)
    {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr *>(&from), &length, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const std::uint32_t peer = ntohl(from.sin_addr.s_addr);
        Admission &admission = abortChannel ? abortAdmission_ : coreAdmission_;
        Admission::Entry entry = admission.admit(peer, std::string("the ") + channelName(abortChannel) + " channel");
        if (entry.access == Access::Refused) {
            ::close(fd);
            return;
        }
        const int one = 1;
        (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard guard(mutex_);
        if (entry.overCap) {
            refuse(fd, addressText(peer));
            return;
        }
        auto c = std::make_unique<Connection>();
        c->id = ++lastConnection_;
        c->fd = fd;
        c->peer = peer;
        c->access = entry.access;
        c->abortChannel = abortChannel;
        c->pass = std::move(entry.pass);
        Connection *raw = c.get();
        connections_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] {
            serveConnection(*raw);
            raw->pass.release();
            raw->done = true;
            wake_.signal();
        });
    }

    void refuse(int fd, const std::string &who)
    {
        if (refusals_.size() >= kMaxRefusals) {
            ::close(fd);
            return;
        }
        refusals_.push_back({RecordStream(fd), Deadline(kRefusalMs), who});
    }

    // The first call of a refused connection gets "out of resources"; then it is closed.
    void answerRefusals()
    {
        for (auto it = refusals_.begin(); it != refusals_.end();) {
            std::string record;
            const StreamResult got = it->stream.receive(record, kRecordOverhead, Deadline(0));
            if (got == StreamResult::TimedOut && it->until.remainingMs() > 0) {
                ++it;
                continue;
            }
            if (got == StreamResult::Ok)
                (void)it->stream.send(outOfResources(record), Deadline(0));
            ::close(it->stream.fd());
            it = refusals_.erase(it);
        }
    }

    static std::string outOfResources(const std::string &record)
    {
        CallDecoder call(record);
        if (!call.valid())
            return {};
        if (call.header().procedure == create_link) {
            Create_LinkResp r{};
            r.error = error::kOutOfResources;
            return encodeReply(call.header().xid, AcceptStatus::Success, xdrProc(xdr_Create_LinkResp), &r);
        }
        Device_Error r{error::kOutOfResources};
        return encodeReply(call.header().xid, AcceptStatus::Success, xdrProc(xdr_Device_Error), &r);
    }

    void reapConnections()
    {
        std::lock_guard guard(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                ::close((*it)->fd);
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }

    // How long the connection may stay silent before it is closed.
    milliseconds idleLimit(const Connection &connection) const
    {
        if (connection.abortChannel)
            return options_.idleTimeout;
        bool anyLink = false;
        bool locking = false;
        std::lock_guard guard(mutex_);
        for (const auto &[id, link] : links_) {
            if (link->connection != connection.id)
                continue;
            anyLink = true;
            locking = locking || link->conversation->holdsLock(*link->party);
        }
        if (!anyLink)
            return options_.firstLink;
        return locking ? options_.lockIdleTimeout : options_.idleTimeout;
    }

    void serveConnection(Connection &connection)
    {
        RecordStream stream(connection.fd);
        const std::size_t maxRecord = options_.maxRecvSize + kRecordOverhead;
        const std::string who = clientName(connection);
        for (;;) {
            std::string record;
            const milliseconds idle = idleLimit(connection);
            const StreamResult received =
                stream.receive(record, maxRecord, Deadline(idle.count()), options_.recordTimeout.count());
            if (received == StreamResult::Malformed)
                log(who + ": record too long, connection closed");
            if (received == StreamResult::TimedOut)
                log(who + (stream.midRecord() ? ": record not finished within " +
                                                    std::to_string(options_.recordTimeout.count()) + " ms"
                                              : ": nothing sent for " + std::to_string(idle.count()) + " ms") +
                    ", connection closed");
            if (received != StreamResult::Ok)
                break;
            CallDecoder call(record);
            if (!call.valid()) {
                log(who + ": not an RPC call, connection closed");
                break;
            }
            std::string reply;
            try {
                reply = connection.abortChannel ? serveAbort(call, connection) : serveCore(call, connection);
            } catch (...) { // out of memory, most likely: this call fails, the server goes on
                log(who + ": call failed inside the server");
                reply = encodeReply(call.header().xid, AcceptStatus::SystemError);
            }
            if (stream.send(reply, Deadline(kSendMs)) != StreamResult::Ok)
                break;
        }
        destroyLinksOf(connection.id);
        // The client sees the end now; the descriptor is closed when the accept loop reaps us.
        ::shutdown(connection.fd, SHUT_RDWR);
    }

    // --- dispatch -----------------------------------------------------------------------------

    // The reply data of a call, kept alive until the reply is encoded.
    struct Reply {
        std::string bytes;
    };

    template <class Args, class Result, class Body>
    std::string serve(CallDecoder &call, bool_t (*xdrArgs)(XDR *, Args *), bool_t (*xdrResult)(XDR *, Result *),
                      Body &&body)
    {
        Decoded<Args> args(xdrArgs);
        if (!call.arguments(args.proc, &args.value)) {
            log("call " + std::to_string(call.header().procedure) + ": arguments do not decode");
            return encodeReply(call.header().xid, AcceptStatus::GarbageArgs);
        }
        Result result{};
        Reply keep;
        body(args.value, result, keep);
        return encodeReply(call.header().xid, AcceptStatus::Success, xdrProc(xdrResult), &result);
    }

    std::string refuse(const CallDecoder &call, std::uint32_t program, std::uint32_t version)
    {
        const CallHeader &h = call.header();
        if (!call.rpcVersion2())
            return encodeRpcMismatch(h.xid);
        if (h.program != program)
            return encodeReply(h.xid, AcceptStatus::ProgramUnavailable);
        if (h.version != version)
            return encodeReply(h.xid, AcceptStatus::VersionMismatch);
        return {};
    }

    std::string serveAbort(CallDecoder &call, const Connection &connection)
    {
        if (std::string refused = refuse(call, DEVICE_ASYNC, DEVICE_ASYNC_VERSION); !refused.empty())
            return refused;
        if (call.header().procedure == 0)
            return encodeReply(call.header().xid, AcceptStatus::Success);
        if (call.header().procedure != device_abort)
            return encodeReply(call.header().xid, AcceptStatus::ProcedureUnavailable);
        return serve(call, xdr_Device_Link, xdr_Device_Error, [&](Device_Link &lid, Device_Error &r, Reply &) {
            std::shared_ptr<Link> link;
            {
                std::lock_guard guard(mutex_);
                const auto it = links_.find(lid);
                if (it != links_.end())
                    link = it->second;
            }
            if (!link || link->peer != connection.peer) {
                r.error = error::kInvalidLink;
                log("link " + std::to_string(lid) + ": device_abort from " + addressText(connection.peer) +
                    (link ? " refused: the link is another client's" : " -> no such link"));
                return;
            }
            link->conversation->abort(*link->party);
            log(linkName(lid, connection) + ": device_abort -> 0");
        });
    }

    std::string serveCore(CallDecoder &call, const Connection &connection)
    {
        if (std::string refused = refuse(call, DEVICE_CORE, DEVICE_CORE_VERSION); !refused.empty())
            return refused;
        const std::uint32_t xid = call.header().xid;
        switch (call.header().procedure) {
        case 0:
            return encodeReply(xid, AcceptStatus::Success);
        case create_link:
            return serve(call, xdr_Create_LinkParms, xdr_Create_LinkResp,
                         [&](Create_LinkParms &p, Create_LinkResp &r, Reply &) { createLink(p, r, connection); });
        case device_write:
            return serve(call, xdr_Device_WriteParms, xdr_Device_WriteResp,
                         [&](Device_WriteParms &p, Device_WriteResp &r, Reply &) { write(p, r, connection); });
        case device_read:
            return serve(call, xdr_Device_ReadParms, xdr_Device_ReadResp,
                         [&](Device_ReadParms &p, Device_ReadResp &r, Reply &keep) { read(p, r, keep, connection); });
        case device_readstb:
            return serve(call, xdr_Device_GenericParms, xdr_Device_ReadStbResp,
                         [&](Device_GenericParms &p, Device_ReadStbResp &r, Reply &) {
                             const Outcome o = generic(p, connection, Operation::ReadStatusByte, "device_readstb");
                             r.error = o.error;
                             r.stb = o.stb;
                         });
        case device_trigger:
            return genericCall(call, connection, Operation::Trigger, "device_trigger");
        case device_clear:
            return genericCall(call, connection, Operation::Clear, "device_clear");
        case device_remote:
            return genericCall(call, connection, Operation::Remote, "device_remote");
        case device_local:
            return genericCall(call, connection, Operation::Local, "device_local");
        case device_lock:
            return serve(call, xdr_Device_LockParms, xdr_Device_Error,
                         [&](Device_LockParms &p, Device_Error &r, Reply &) { lock(p, r, connection); });
        case device_unlock:
            return serve(call, xdr_Device_Link, xdr_Device_Error,
                         [&](Device_Link &lid, Device_Error &r, Reply &) { unlock(lid, r, connection); });
        case destroy_link:
            return serve(call, xdr_Device_Link, xdr_Device_Error, [&](Device_Link &lid, Device_Error &r, Reply &) {
                r.error = destroyLink(lid, connection) ? error::kNone : error::kInvalidLink;
                log(linkName(lid, connection) + ": destroy_link -> " + std::to_string(r.error));
            });
        case device_enable_srq:
            return serve(call, xdr_Device_EnableSrqParms, xdr_Device_Error,
                         [&](Device_EnableSrqParms &, Device_Error &r, Reply &) { r.error = error::kNotSupported; });
        case device_docmd:
            return serve(call, xdr_Device_DocmdParms, xdr_Device_DocmdResp,
                         [&](Device_DocmdParms &, Device_DocmdResp &r, Reply &) { r.error = error::kNotSupported; });
        case create_intr_chan:
            return serve(call, xdr_Device_RemoteFunc, xdr_Device_Error,
                         [&](Device_RemoteFunc &, Device_Error &r, Reply &) { r.error = error::kNotSupported; });
        case destroy_intr_chan:
            return serve(call, xdr_void_args, xdr_Device_Error,
                         [&](char &, Device_Error &r, Reply &) { r.error = error::kChannelNotEstablished; });
        default:
            log("client " + std::to_string(connection.id) + ": unknown procedure " +
                std::to_string(call.header().procedure));
            return encodeReply(xid, AcceptStatus::ProcedureUnavailable);
        }
    }

    static bool_t xdr_void_args(XDR *, char *) { return TRUE; }

    // --- links --------------------------------------------------------------------------------

    std::shared_ptr<Link> findLink(long lid, const Connection &connection) const
    {
        std::lock_guard guard(mutex_);
        const auto it = links_.find(lid);
        if (it == links_.end() || it->second->connection != connection.id)
            return nullptr;
        return it->second;
    }

    // A link id no client can guess, and none in use.
    long newLinkId()
    {
        for (;;) {
            std::uint32_t bits = 0;
            if (::getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits))
                bits = static_cast<std::uint32_t>(Clock::now().time_since_epoch().count()) * 2654435761u;
            const long id = static_cast<long>(bits & 0x7FFFFFFFu);
            if (id != 0 && links_.find(id) == links_.end())
                return id;
        }
    }

    void createLink(const Create_LinkParms &p, Create_LinkResp &r, const Connection &connection)
    {
        const std::string_view name = p.device ? p.device : "";
        const std::string shown = qx::runtime::escapeBytes(name); // a client's text, in one log line
        const std::string client = clientName(connection);
        r.maxRecvSize = options_.maxRecvSize;
        r.abortPort = abortPort();
        const auto found = std::find_if(devices_.begin(), devices_.end(),
                                        [&](const ServedDevice &d) { return qx::runtime::equalsNoCase(d.name, name); });
        if (found == devices_.end()) {
            r.error = error::kNotAccessible;
            log("create_link \"" + shown + "\" by " + client + ": no such device");
            return;
        }
        auto link = std::make_shared<Link>();
        link->connection = connection.id;
        link->peer = connection.peer;
        link->conversation = found->conversation;
        {
            std::lock_guard guard(mutex_);
            if (links_.size() >= 4 * options_.maxConnections) {
                r.error = error::kOutOfResources;
                log("create_link \"" + shown + "\" by " + client + ": out of links");
                return;
            }
            link->id = newLinkId();
            link->party = link->conversation->join(connection.access, "link " + std::to_string(link->id) + " of " +
                                                                                client);
            links_[link->id] = link;
        }
        if (p.lockDevice) {
            Call lock{};
            lock.operation = Operation::Lock;
            lock.lockTimeoutMs = static_cast<std::uint32_t>(p.lock_timeout);
            lock.waitLock = true;
            r.error = runOn(*link, lock, connection).error;
            if (r.error != error::kNone) {
                dropLink(link->id);
                log("create_link \"" + shown + "\" by " + client + ": lock refused -> " + std::to_string(r.error));
                return;
            }
        }
        r.lid = link->id;
        log("link " + std::to_string(link->id) + ": create_link \"" + shown + "\" by " + client +
            (connection.access == Access::ReadOnly ? ", read-only" : ""));
    }

    void dropLink(long lid)
    {
        std::shared_ptr<Link> link;
        {
            std::lock_guard guard(mutex_);
            const auto it = links_.find(lid);
            if (it == links_.end())
                return;
            link = it->second;
            links_.erase(it);
        }
        link->conversation->leave(*link->party);
    }

    bool destroyLink(long lid, const Connection &connection)
    {
        if (!findLink(lid, connection))
            return false;
        dropLink(lid);
        return true;
    }

    void destroyLinksOf(int connection)
    {
        std::vector<std::shared_ptr<Link>> gone;
        {
            std::lock_guard guard(mutex_);
            for (auto it = links_.begin(); it != links_.end();) {
                if (it->second->connection == connection) {
                    gone.push_back(it->second);
                    it = links_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (const auto &link : gone)
            link->conversation->leave(*link->party);
        if (!gone.empty())
            log("client " + std::to_string(connection) + " gone: " + std::to_string(gone.size()) +
                " link(s) destroyed");
    }

    // --- calls --------------------------------------------------------------------------------

    Outcome runOn(Link &link, const Call &call, const Connection &connection)
    {
        const int fd = connection.fd;
        return link.conversation->run(*link.party, call, [fd] { return hungUp(fd); });
    }

    Outcome onLink(long lid, const Connection &connection, const Call &call)
    {
        std::shared_ptr<Link> link = findLink(lid, connection);
        if (!link)
            return Outcome{error::kInvalidLink, {}, 0};
        return runOn(*link, call, connection);
    }

    static Call timed(Operation operation, long flags, unsigned long ioTimeout, unsigned long lockTimeout)
    {
        Call call{};
        call.operation = operation;
        call.ioTimeoutMs = static_cast<std::uint32_t>(ioTimeout);
        call.lockTimeoutMs = static_cast<std::uint32_t>(lockTimeout);
        call.waitLock = (flags & flag::kWaitLock) != 0;
        return call;
    }

    Outcome generic(const Device_GenericParms &p, const Connection &connection, Operation operation, const char *what)
    {
        const Outcome o = onLink(p.lid, connection, timed(operation, p.flags, p.io_timeout, p.lock_timeout));
        log(linkName(p.lid, connection) + ": " + what + " -> " + std::to_string(o.error));
        return o;
    }

    std::string genericCall(CallDecoder &call, const Connection &connection, Operation operation, const char *what)
    {
        return serve(call, xdr_Device_GenericParms, xdr_Device_Error,
                     [&](Device_GenericParms &p, Device_Error &r, Reply &) {
                         r.error = generic(p, connection, operation, what).error;
                     });
    }

    void lock(const Device_LockParms &p, Device_Error &r, const Connection &connection)
    {
        r.error = onLink(p.lid, connection, timed(Operation::Lock, p.flags, 0, p.lock_timeout)).error;
        log(linkName(p.lid, connection) + ": device_lock -> " + std::to_string(r.error));
    }

    void unlock(long lid, Device_Error &r, const Connection &connection)
    {
        std::shared_ptr<Link> link = findLink(lid, connection);
        r.error = link ? link->conversation->unlock(*link->party) : error::kInvalidLink;
        log(linkName(lid, connection) + ": device_unlock -> " + std::to_string(r.error));
    }

    void write(const Device_WriteParms &p, Device_WriteResp &r, const Connection &connection)
    {
        Call call = timed(Operation::Write, p.flags, p.io_timeout, p.lock_timeout);
        call.data = std::string_view(p.data.data_val ? p.data.data_val : "", p.data.data_len);
        call.end = (p.flags & flag::kEnd) != 0;
        r.error = onLink(p.lid, connection, call).error;
        r.size = r.error == error::kNone ? p.data.data_len : 0;
        log(linkName(p.lid, connection) + ": device_write " + std::to_string(call.data.size()) + " bytes" +
            (call.end ? " END" : "") + " -> " + std::to_string(r.error));
    }

    void read(const Device_ReadParms &p, Device_ReadResp &r, Reply &keep, const Connection &connection)
    {
        Call call = timed(Operation::Read, p.flags, p.io_timeout, p.lock_timeout);
        call.max = std::min<std::size_t>(p.requestSize, kMaxReadSize);
        call.termChar = (p.flags & flag::kTermCharSet) ? static_cast<unsigned char>(p.termChar) : -1;
        Outcome o = onLink(p.lid, connection, call);
        r.error = o.error;
        keep.bytes = std::move(o.read.data);
        if (keep.bytes.size() > call.max)
            keep.bytes.resize(call.max);
        r.reason = r.error == error::kNone ? o.read.reason : 0;
        r.data.data_len = static_cast<u_int>(keep.bytes.size());
        r.data.data_val = keep.bytes.data();
        log(linkName(p.lid, connection) + ": device_read " + std::to_string(p.requestSize) + " -> " +
            std::to_string(r.error) + ", " + std::to_string(keep.bytes.size()) + " bytes, reason " +
            std::to_string(r.reason));
    }

    const ServerOptions options_;
    const std::vector<ServedDevice> devices_; // names match without regard to case
    mutable std::mutex mutex_;
    std::map<long, std::shared_ptr<Link>> links_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::list<Refusal> refusals_; // the accept loop's own
    Admission coreAdmission_; // each channel has caps of its own
    Admission abortAdmission_;
    int lastConnection_ = 0;
    int coreFd_ = -1;
    int abortFd_ = -1;
    WakeEvent wake_;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
};

DeviceServer::DeviceServer(std::vector<ServedDevice> devices, ServerOptions options)
    : state_(std::make_unique<State>(std::move(devices), std::move(options)))
{
}

DeviceServer::~DeviceServer() = default;

bool DeviceServer::start(std::string &problem) { return state_->start(problem); }
void DeviceServer::stop() { state_->stop(); }
std::uint16_t DeviceServer::corePort() const { return state_->corePort(); }
std::uint16_t DeviceServer::abortPort() const { return state_->abortPort(); }
std::size_t DeviceServer::linkCount() const { return state_->linkCount(); }

} // namespace qx::serve
