#include "vxi11/device_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "runtime/clock.h"
#include "vxi11/rpc_message.h"
#include "vxi11/vxi11.h"

namespace qx::vxi11 {
namespace {

using Clock = std::chrono::steady_clock;

// A record larger than this is no call we serve: the connection is closed.
constexpr std::size_t kRecordOverhead = 4096;
// The most data one device_read hands out, whatever the client asks for.
constexpr std::size_t kMaxReadSize = 1u << 20;
// Waits for a lock or for the instrument look at the abort flag this often.
constexpr auto kAbortPoll = std::chrono::milliseconds(20);

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int listenOn(const std::string &address, std::uint16_t port, std::string &problem)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        problem = "not a numeric IPv4 address: " + address;
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) != 0 || ::listen(fd, 16) != 0) {
        problem = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t boundPort(int fd)
{
    sockaddr_in where{};
    socklen_t len = sizeof where;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&where), &len) != 0)
        return 0;
    return ntohs(where.sin_port);
}

// An instrument with the names it is served under, and its lock.
struct Device {
    std::vector<std::string> names;
    std::shared_ptr<Instrument> instrument;
    std::mutex ioMutex;              // one call at a time reaches the instrument:
    std::condition_variable ioFree;
    bool ioBusy = false;             // ... this one
    std::mutex lockMutex;
    std::condition_variable lockFreed;
    long owner = 0;                  // the link holding device_lock, 0 for none
};

struct Link {
    long id = 0;
    Device *device = nullptr;
    int connection = 0;
    std::atomic<bool> busy{false};  // a call of the link is in progress
    std::atomic<bool> abort{false}; // ... and device_abort asked to end it
};

struct Connection {
    int fd = -1;
    bool abortChannel = false;
    std::thread thread;
    std::atomic<bool> done{false};
};

// The reply data of a call, kept alive until the reply is encoded.
struct Reply {
    std::string bytes;
};

} // namespace

class DeviceServer::State {
public:
    State(std::vector<ServedDevice> devices, ServerOptions options) : options_(std::move(options))
    {
        for (ServedDevice &d : devices) {
            const auto same = std::find_if(devices_.begin(), devices_.end(),
                                           [&](const auto &known) { return known->instrument == d.instrument; });
            if (same != devices_.end()) {
                (*same)->names.push_back(lower(d.name));
                continue;
            }
            auto device = std::make_unique<Device>();
            device->names.push_back(lower(d.name));
            device->instrument = std::move(d.instrument);
            devices_.push_back(std::move(device));
        }
    }

    ~State() { stop(); }

    bool start(std::string &problem)
    {
        coreFd_ = listenOn(options_.listenAddress, options_.corePort, problem);
        if (coreFd_ < 0)
            return false;
        abortFd_ = listenOn(options_.listenAddress, 0, problem);
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (abortFd_ < 0 || wakeFd_ < 0) {
            if (problem.empty())
                problem = "cannot create an event descriptor";
            closeListeners();
            return false;
        }
        acceptThread_ = std::thread([this] { acceptLoop(); });
        return true;
    }

    void stop()
    {
        if (!acceptThread_.joinable())
            return;
        stopping_ = true;
        const std::uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
        acceptThread_.join();
        {
            std::lock_guard guard(mutex_);
            for (auto &[id, link] : links_)
                link->abort = true;
            for (auto &c : connections_)
                ::shutdown(c->fd, SHUT_RDWR);
        }
        for (auto &c : connections_)
            if (c->thread.joinable())
                c->thread.join();
        for (auto &c : connections_)
            ::close(c->fd);
        connections_.clear();
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
        for (int *fd : {&coreFd_, &abortFd_, &wakeFd_}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

    void acceptLoop()
    {
        int nextConnection = 0;
        while (!stopping_) {
            pollfd fds[] = {{coreFd_, POLLIN, 0}, {abortFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 && errno != EINTR)
                return;
            if (fds[2].revents & POLLIN) {
                std::uint64_t count = 0;
                (void)!::read(wakeFd_, &count, sizeof count);
            }
            reapConnections();
            for (int i = 0; i < 2 && !stopping_; ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                const int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0)
                    continue;
                std::lock_guard guard(mutex_);
                if (connections_.size() >= options_.maxConnections) {
                    log("connection refused: too many clients");
                    ::close(fd);
                    continue;
                }
                const int one = 1;
                (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                auto c = std::make_unique<Connection>();
                c->fd = fd;
                c->abortChannel = i == 1;
                Connection *raw = c.get();
                const int id = ++nextConnection;
                connections_.push_back(std::move(c));
                raw->thread = std::thread([this, raw, id] {
                    serveConnection(*raw, id);
                    raw->done = true;
                });
            }
        }
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

    void serveConnection(Connection &connection, int id)
    {
        RecordStream stream(connection.fd);
        const std::size_t maxRecord = options_.maxRecvSize + kRecordOverhead;
        for (;;) {
            std::string record;
            const StreamResult received = stream.receive(record, maxRecord, Deadline::never());
            if (received == StreamResult::Malformed)
                log("client " + std::to_string(id) + ": record too long, connection closed");
            if (received != StreamResult::Ok)
                break;
            CallDecoder call(record);
            if (!call.valid()) {
                log("client " + std::to_string(id) + ": not an RPC call, connection closed");
                break;
            }
            std::string reply;
            try {
                reply = connection.abortChannel ? serveAbort(call) : serveCore(call, id);
            } catch (...) { // out of memory, most likely: this call fails, the server goes on
                log("client " + std::to_string(id) + ": call failed inside the server");
                reply = encodeReply(call.header().xid, AcceptStatus::SystemError);
            }
            if (stream.send(reply, Deadline(10000)) != StreamResult::Ok)
                break;
        }
        destroyLinksOf(id);
        // The client sees the end now; the descriptor is closed when the accept loop reaps us.
        ::shutdown(connection.fd, SHUT_RDWR);
        const std::uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
    }

    // --- dispatch -----------------------------------------------------------------------------

    template <class Args, class Result, class Body>
    std::string serve(CallDecoder &call, bool_t (*xdrArgs)(XDR *, Args *), bool_t (*xdrResult)(XDR *, Result *),
                      Body &&body)
    {
        Args args{};
        if (!call.arguments(xdrProc(xdrArgs), &args)) {
            xdr_free(xdrProc(xdrArgs), reinterpret_cast<char *>(&args));
            log("call " + std::to_string(call.header().procedure) + ": arguments do not decode");
            return encodeReply(call.header().xid, AcceptStatus::GarbageArgs);
        }
        Result result{};
        Reply keep;
        body(args, result, keep);
        std::string reply = encodeReply(call.header().xid, AcceptStatus::Success, xdrProc(xdrResult), &result);
        xdr_free(xdrProc(xdrArgs), reinterpret_cast<char *>(&args));
        return reply;
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

    std::string serveAbort(CallDecoder &call)
    {
        if (std::string refused = refuse(call, DEVICE_ASYNC, DEVICE_ASYNC_VERSION); !refused.empty())
            return refused;
        if (call.header().procedure == 0)
            return encodeReply(call.header().xid, AcceptStatus::Success);
        if (call.header().procedure != device_abort)
            return encodeReply(call.header().xid, AcceptStatus::ProcedureUnavailable);
        return serve(call, xdr_Device_Link, xdr_Device_Error, [&](Device_Link &lid, Device_Error &r, Reply &) {
            std::lock_guard guard(mutex_);
            const auto it = links_.find(lid);
            if (it == links_.end()) {
                r.error = error::kInvalidLink;
            } else if (it->second->busy) {
                it->second->abort = true;
                it->second->device->lockFreed.notify_all();
            }
            log("link " + std::to_string(lid) + ": device_abort -> " + std::to_string(r.error));
        });
    }

    std::string serveCore(CallDecoder &call, int connection)
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
                             unsigned char stb = 0;
                             r.error = generic(p, connection, "device_readstb", [&](Instrument &i, const IoWait &w) {
                                 return i.readStatusByte(stb, w);
                             });
                             r.stb = stb;
                         });
        case device_trigger:
            return genericCall(call, connection, "device_trigger", &Instrument::trigger);
        case device_clear:
            return genericCall(call, connection, "device_clear", &Instrument::clear);
        case device_remote:
            return genericCall(call, connection, "device_remote", &Instrument::remote);
        case device_local:
            return genericCall(call, connection, "device_local", &Instrument::local);
        case device_lock:
            return serve(call, xdr_Device_LockParms, xdr_Device_Error,
                         [&](Device_LockParms &p, Device_Error &r, Reply &) { lock(p, r, connection); });
        case device_unlock:
            return serve(call, xdr_Device_Link, xdr_Device_Error,
                         [&](Device_Link &lid, Device_Error &r, Reply &) { unlock(lid, r, connection); });
        case destroy_link:
            return serve(call, xdr_Device_Link, xdr_Device_Error, [&](Device_Link &lid, Device_Error &r, Reply &) {
                r.error = destroyLink(lid, connection) ? error::kNone : error::kInvalidLink;
                log("link " + std::to_string(lid) + ": destroy_link -> " + std::to_string(r.error));
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
            log("client " + std::to_string(connection) + ": unknown procedure " +
                std::to_string(call.header().procedure));
            return encodeReply(xid, AcceptStatus::ProcedureUnavailable);
        }
    }

    static bool_t xdr_void_args(XDR *, char *) { return TRUE; }

    // --- links and locks ----------------------------------------------------------------------

    std::shared_ptr<Link> findLink(long lid, int connection)
    {
        std::lock_guard guard(mutex_);
        const auto it = links_.find(lid);
        if (it == links_.end() || it->second->connection != connection)
            return nullptr;
        return it->second;
    }

    // Waits until the device is free for the link or owned by it; kLocked when another link
    // keeps it past the lock time-out (at once without the waitlock flag).
    long awaitLock(Link &link, long flags, unsigned long lockTimeoutMs, bool take)
    {
        Device &d = *link.device;
        std::unique_lock guard(d.lockMutex);
        const auto until = Clock::now() + std::chrono::milliseconds(lockTimeoutMs);
        while (d.owner != 0 && d.owner != link.id) {
            if (!(flags & flag::kWaitLock) || Clock::now() >= until)
                return error::kLocked;
            if (link.abort)
                return error::kAbort;
            d.lockFreed.wait_until(guard, std::min(until, Clock::now() + kAbortPoll));
        }
        if (take)
            d.owner = link.id;
        return error::kNone;
    }

    void release(Link &link)
    {
        Device &d = *link.device;
        {
            std::lock_guard guard(d.lockMutex);
            if (d.owner != link.id)
                return;
            d.owner = 0;
        }
        d.lockFreed.notify_all();
    }

    void createLink(const Create_LinkParms &p, Create_LinkResp &r, int connection)
    {
        const std::string name = lower(p.device ? p.device : "");
        const std::string shown = qx::runtime::escapeBytes(name); // a client's text, in one log line
        const auto it = std::find_if(devices_.begin(), devices_.end(), [&](const auto &d) {
            return std::find(d->names.begin(), d->names.end(), name) != d->names.end();
        });
        r.maxRecvSize = options_.maxRecvSize;
        r.abortPort = abortPort();
        if (it == devices_.end()) {
            r.error = error::kNotAccessible;
            log("create_link \"" + shown + "\": no such device");
            return;
        }
        auto link = std::make_shared<Link>();
        link->device = it->get();
        link->connection = connection;
        {
            std::lock_guard guard(mutex_);
            if (links_.size() >= 4 * options_.maxConnections) {
                r.error = error::kOutOfResources;
                log("create_link \"" + shown + "\": out of links");
                return;
            }
            link->id = ++lastLink_;
            links_[link->id] = link;
        }
        if (p.lockDevice) {
            link->busy = true;
            r.error = awaitLock(*link, flag::kWaitLock, p.lock_timeout, true);
            link->busy = false;
            if (r.error != error::kNone) {
                std::lock_guard guard(mutex_);
                links_.erase(link->id);
                log("create_link \"" + shown + "\": locked by another link");
                return;
            }
        }
        r.lid = link->id;
        log("link " + std::to_string(link->id) + ": create_link \"" + shown + "\" by client " + std::to_string(connection));
    }

    bool destroyLink(long lid, int connection)
    {
        std::shared_ptr<Link> link = findLink(lid, connection);
        if (!link)
            return false;
        release(*link);
        std::lock_guard guard(mutex_);
        links_.erase(lid);
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
            release(*link);
        if (!gone.empty())
            log("client " + std::to_string(connection) + " gone: " + std::to_string(gone.size()) + " link(s) destroyed");
    }

    void lock(const Device_LockParms &p, Device_Error &r, int connection)
    {
        std::shared_ptr<Link> link = findLink(p.lid, connection);
        if (!link) {
            r.error = error::kInvalidLink;
            return;
        }
        BusyScope busy(*link);
        r.error = awaitLock(*link, p.flags, p.lock_timeout, true);
        log("link " + std::to_string(p.lid) + ": device_lock -> " + std::to_string(r.error));
    }

    void unlock(long lid, Device_Error &r, int connection)
    {
        std::shared_ptr<Link> link = findLink(lid, connection);
        if (!link) {
            r.error = error::kInvalidLink;
            return;
        }
        {
            std::lock_guard guard(link->device->lockMutex);
            r.error = link->device->owner == lid ? error::kNone : error::kNoLockHeld;
        }
        release(*link);
        log("link " + std::to_string(lid) + ": device_unlock -> " + std::to_string(r.error));
    }

    // --- instrument calls ---------------------------------------------------------------------

    struct BusyScope {
        explicit BusyScope(Link &l) : link(l)
        {
            link.abort = false;
            link.busy = true;
        }
        ~BusyScope()
        {
            link.busy = false;
            link.abort = false;
        }
        Link &link;
    };

    // The instrument is ours until this goes out of scope.
    struct IoTurn {
        explicit IoTurn(Device &d) : device(d) {}
        ~IoTurn()
        {
            {
                std::lock_guard guard(device.ioMutex);
                device.ioBusy = false;
            }
            device.ioFree.notify_one();
        }
        IoTurn(const IoTurn &) = delete;
        IoTurn &operator=(const IoTurn &) = delete;
        Device &device;
    };

    // Runs `body` on the instrument for the link once the lock allows and the instrument is free.
    template <class Body>
    long onInstrument(long lid, int connection, long flags, unsigned long lockTimeoutMs, unsigned long ioTimeoutMs,
                      Body &&body)
    {
        std::shared_ptr<Link> link = findLink(lid, connection);
        if (!link)
            return error::kInvalidLink;
        BusyScope busy(*link);
        if (const long locked = awaitLock(*link, flags, lockTimeoutMs, false); locked != error::kNone)
            return locked;
        const Deadline deadline(static_cast<long long>(ioTimeoutMs));
        Device &d = *link->device;
        {
            std::unique_lock guard(d.ioMutex);
            while (d.ioBusy) {
                if (link->abort)
                    return error::kAbort;
                if (deadline.remainingMs() == 0)
                    return error::kIoTimeout;
                d.ioFree.wait_for(guard, kAbortPoll);
            }
            d.ioBusy = true;
        }
        const IoTurn turn(d);
        const IoWait wait(deadline, link->abort);
        const long result = body(*d.instrument, wait);
        return link->abort && result == error::kIoTimeout ? error::kAbort : result;
    }

    template <class Body> long generic(const Device_GenericParms &p, int connection, const char *what, Body &&body)
    {
        const long result = onInstrument(p.lid, connection, p.flags, p.lock_timeout, p.io_timeout, body);
        log("link " + std::to_string(p.lid) + ": " + what + " -> " + std::to_string(result));
        return result;
    }

    std::string genericCall(CallDecoder &call, int connection, const char *what,
                            long (Instrument::*operation)(const IoWait &))
    {
        return serve(call, xdr_Device_GenericParms, xdr_Device_Error,
                     [&](Device_GenericParms &p, Device_Error &r, Reply &) {
                         r.error = generic(p, connection, what,
                                           [&](Instrument &i, const IoWait &w) { return (i.*operation)(w); });
                     });
    }

    void write(const Device_WriteParms &p, Device_WriteResp &r, int connection)
    {
        const std::string_view data(p.data.data_val ? p.data.data_val : "", p.data.data_len);
        const bool end = (p.flags & flag::kEnd) != 0;
        r.error = onInstrument(p.lid, connection, p.flags, p.lock_timeout, p.io_timeout,
                               [&](Instrument &i, const IoWait &w) { return i.write(data, end, w); });
        r.size = r.error == error::kNone ? p.data.data_len : 0;
        log("link " + std::to_string(p.lid) + ": device_write " + std::to_string(data.size()) + " bytes" +
            (end ? " END" : "") + " -> " + std::to_string(r.error));
    }

    void read(const Device_ReadParms &p, Device_ReadResp &r, Reply &keep, int connection)
    {
        const std::size_t max = std::min<std::size_t>(p.requestSize, kMaxReadSize);
        const int termChar = (p.flags & flag::kTermCharSet) ? static_cast<unsigned char>(p.termChar) : -1;
        ReadReply answer;
        r.error = onInstrument(p.lid, connection, p.flags, p.lock_timeout, p.io_timeout,
                               [&](Instrument &i, const IoWait &w) {
                                   answer = i.read(max, termChar, w);
                                   return answer.error;
                               });
        keep.bytes = std::move(answer.data);
        if (keep.bytes.size() > max)
            keep.bytes.resize(max);
        r.reason = r.error == error::kNone ? answer.reason : 0;
        r.data.data_len = static_cast<u_int>(keep.bytes.size());
        r.data.data_val = keep.bytes.data();
        log("link " + std::to_string(p.lid) + ": device_read " + std::to_string(p.requestSize) + " -> " +
            std::to_string(r.error) + ", " + std::to_string(keep.bytes.size()) + " bytes, reason " +
            std::to_string(r.reason));
    }

    const ServerOptions options_;
    std::vector<std::unique_ptr<Device>> devices_;
    mutable std::mutex mutex_;
    std::map<long, std::shared_ptr<Link>> links_;
    std::list<std::unique_ptr<Connection>> connections_;
    long lastLink_ = 0;
    int coreFd_ = -1;
    int abortFd_ = -1;
    int wakeFd_ = -1;
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

} // namespace qx::vxi11
