#include "serve/socket_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <list>
#include <mutex>
#include <string_view>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "runtime/clock.h"
#include "runtime/deadline.h"
#include "serve/scpi_message.h"
#include "serve/tcp.h"

namespace qx::serve {
namespace {

using qx::runtime::Deadline;
namespace error = vxi11::error;
namespace reason = vxi11::reason;

// Bytes taken from a client, and asked of the instrument, at a time.
constexpr std::size_t kChunk = 64 * 1024;
// How long an answer may take to leave for a client that does not read.
constexpr long long kSendMs = 10000;
// How much of a line a log line shows.
constexpr std::size_t kShown = 80;

struct Connection {
    int id = 0;
    int fd = -1;
    std::uint32_t peer = 0;
    Access access = Access::Full;
    std::size_t device = 0;
    Admission::Pass pass;
    std::shared_ptr<Party> party; // set while it is served
    std::thread thread;
    std::atomic<bool> done{false};
};

bool sendAll(int fd, std::string_view bytes)
{
    const Deadline deadline(kSendMs);
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        const int left = deadline.remainingMs();
        if (left == 0 || ::poll(&p, 1, left) < 0 || (p.revents & (POLLERR | POLLHUP)) != 0)
            return false;
    }
    return true;
}

// Whether a client has gone. A client that only closed its sending half (nc -N, nc -q) still reads
// its answers; one whose whole socket is closed looks the same until data reaches it. So once the
// sending half has closed, one urgent byte goes out: outside the data stream of a client that
// still reads (urgent data is not inline by default), it makes a closed socket answer with a
// reset. One byte per connection: a second one could push the first into the data stream.
class Vanished {
public:
    explicit Vanished(int fd) : fd_(fd) {}
    bool operator()()
    {
        pollfd p{fd_, POLLRDHUP, 0};
        if (::poll(&p, 1, 0) <= 0)
            return false;
        if ((p.revents & (POLLHUP | POLLERR)) != 0)
            return true;
        if ((p.revents & POLLRDHUP) != 0 && !probed_) {
            probed_ = true;
            const char probe = 0;
            (void)::send(fd_, &probe, 1, MSG_OOB | MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        return false;
    }

private:
    int fd_;
    bool probed_ = false;
};

std::string shown(std::string_view line)
{
    return "\"" + qx::runtime::escapeBytes(line.substr(0, kShown)) + (line.size() > kShown ? "...\"" : "\"");
}

// Cuts what a client sends into lines, holding at most `cap` bytes of an unfinished one: a longer
// line is dropped whole, up to its line feed.
class Lines {
public:
    explicit Lines(std::size_t cap) : cap_(cap) {}

    // Calls `line` for each whole line of `bytes` (false from it stops), `dropped` for each line
    // over the cap. False when a call said stop.
    template <class Line, class Dropped>
    bool feed(std::string_view bytes, Line &&line, Dropped &&dropped)
    {
        for (std::size_t end; (end = bytes.find('\n')) != std::string_view::npos; bytes.remove_prefix(end + 1)) {
            if (dropping_) {
                dropping_ = false;
                continue;
            }
            if (pending_.size() + end > cap_) {
                pending_.clear();
                dropped();
                continue;
            }
            pending_.append(bytes.substr(0, end));
            std::string whole = std::move(pending_);
            pending_.clear();
            if (!whole.empty() && whole.back() == '\r')
                whole.pop_back();
            if (!whole.empty() && !line(whole))
                return false;
        }
        if (dropping_)
            return true;
        if (pending_.size() + bytes.size() > cap_) {
            pending_.clear();
            dropping_ = true;
            dropped();
        } else {
            pending_.append(bytes);
        }
        return true;
    }

private:
    std::size_t cap_;
    std::string pending_;
    bool dropping_ = false;
};

} // namespace

class SocketServer::State {
public:
    State(std::vector<SocketDevice> devices, SocketServerOptions options)
        : options_(std::move(options)), devices_(std::move(devices)), admission_(options_, options_.log)
    {
    }

    ~State() { stop(); }

    bool start(std::string &problem)
    {
        if (acceptThread_.joinable())
            return true;
        if (!wake_.open()) {
            problem = "cannot create an event descriptor";
            return false;
        }
        for (const SocketDevice &d : devices_) {
            const int fd = d.conversation ? listenOn(options_.listenAddress, d.port, problem) : -1;
            if (fd < 0) {
                if (problem.empty())
                    problem = d.name + " has no conversation to serve";
                closeListeners();
                return false;
            }
            listeners_.push_back(fd);
        }
        for (std::size_t i = 0; i < devices_.size(); ++i)
            log("raw socket " + devices_[i].name + " listening on " + options_.listenAddress + ":" +
                std::to_string(port(i)) + ", admitting " + options_.access.describe());
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
            for (auto &c : connections_) {
                if (c->party)
                    devices_[c->device].conversation->abort(*c->party);
                ::shutdown(c->fd, SHUT_RDWR);
            }
        }
        for (auto &c : connections_)
            if (c->thread.joinable())
                c->thread.join();
        for (auto &c : connections_)
            ::close(c->fd);
        connections_.clear();
        closeListeners();
    }

    std::uint16_t port(std::size_t index) const
    {
        return index < listeners_.size() ? boundPort(listeners_[index]) : 0;
    }

    std::size_t connectionCount() const { return admission_.connections(); }

private:
    void log(const std::string &line) const
    {
        if (options_.log)
            options_.log(line);
    }

    void closeListeners()
    {
        for (int fd : listeners_)
            ::close(fd);
        listeners_.clear();
        wake_.close();
    }

    void acceptLoop()
    {
        std::vector<pollfd> fds;
        for (int fd : listeners_)
            fds.push_back({fd, POLLIN, 0});
        fds.push_back({wake_.fd(), POLLIN, 0});
        while (!stopping_) {
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                return;
            if (fds.back().revents & POLLIN)
                wake_.drain();
            reapConnections();
            for (std::size_t i = 0; i + 1 < fds.size() && !stopping_; ++i)
                if (fds[i].revents & POLLIN)
                    admit(i);
        }
    }

    void admit(std::size_t device)
    {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listeners_[device], reinterpret_cast<sockaddr *>(&from), &length, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const std::uint32_t peer = ntohl(from.sin_addr.s_addr);
        Admission::Entry entry = admission_.admit(peer, "the raw socket of " + devices_[device].name);
        if (!entry.pass) {
            // Raw SCPI has no words for a refusal: the connection is reset at once, so the client's
            // next write or read fails rather than finding an orderly end it may wait out.
            const linger reset{1, 0};
            (void)::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(fd);
            return;
        }
        const int one = 1;
        (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->peer = peer;
        c->access = entry.access;
        c->device = device;
        c->pass = std::move(entry.pass);
        std::lock_guard guard(mutex_);
        c->id = ++lastConnection_;
        Connection *raw = c.get();
        connections_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] {
            serveConnection(*raw);
            raw->pass.release();
            raw->done = true;
            wake_.signal();
        });
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

    void serveConnection(Connection &c)
    {
        Conversation &conversation = *devices_[c.device].conversation;
        const std::string who = "socket client " + std::to_string(c.id) + " of " + devices_[c.device].name + " (" +
                                addressText(c.peer) + ")";
        {
            std::lock_guard guard(mutex_);
            if (stopping_)
                return;
            c.party = conversation.join(c.access, who);
        }
        log(who + ": connected" + (c.access == Access::ReadOnly ? ", read-only" : ""));
        Lines lines(conversation.options().maxHeldMessage);
        Vanished vanished(c.fd);
        std::string chunk(kChunk, '\0');
        const int idleMs = static_cast<int>(std::clamp<long long>(options_.idleTimeout.count(), 0, INT_MAX));
        for (bool going = true; going;) {
            pollfd p{c.fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, idleMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0)
                log(who + ": nothing sent for " + std::to_string(idleMs) + " ms, connection closed");
            if (ready <= 0)
                break;
            const ssize_t got = ::recv(c.fd, chunk.data(), chunk.size(), 0);
            if (got <= 0)
                break;
            going = lines.feed(
                std::string_view(chunk.data(), static_cast<std::size_t>(got)),
                [&](const std::string &line) { return serveLine(c, conversation, who, vanished, line); },
                [&] {
                    log(who + ": a line longer than " + std::to_string(conversation.options().maxHeldMessage) +
                        " bytes, dropped");
                });
        }
        conversation.leave(*c.party);
        log(who + ": gone");
        ::shutdown(c.fd, SHUT_RDWR); // closed when the accept loop reaps us
    }

    // One message, and its answer when it asks for one. False when the connection is done.
    bool serveLine(const Connection &c, Conversation &conversation, const std::string &who, Vanished &vanished,
                   const std::string &line)
    {
        const int fd = c.fd;
        const auto gone = [&vanished] { return vanished(); };
        Call write;
        write.operation = Operation::Write;
        write.data = line;
        write.end = true;
        write.ioTimeoutMs =
            static_cast<std::uint32_t>(std::clamp<long long>(options_.ioTimeout.count(), 0, UINT32_MAX));
        const Outcome written = conversation.run(*c.party, write, gone);
        log(who + ": " + shown(line) + " -> " + std::to_string(written.error) +
            (written.error == error::kNotSupported ? " (refused)" : ""));
        if (written.error == error::kAbort)
            return false;
        MessageScan scan;
        scan.feed(line);
        if (written.error != error::kNone || !scan.hasQuery())
            return true;
        Call read;
        read.operation = Operation::Read;
        read.max = kChunk;
        read.termChar = '\n';
        read.ioTimeoutMs = write.ioTimeoutMs;
        for (;;) {
            const Outcome answer = conversation.run(*c.party, read, gone);
            if (answer.error != error::kNone) {
                log(who + ": answer -> " + std::to_string(answer.error));
                return answer.error != error::kAbort;
            }
            const std::string &data = answer.read.data;
            const bool whole = (answer.read.reason & (reason::kEnd | reason::kTermChar)) != 0;
            const bool ended = !data.empty() && data.back() == '\n';
            if (!sendAll(fd, data) || (whole && !ended && !sendAll(fd, "\n")))
                return false;
            if (whole)
                return true;
        }
    }

    const SocketServerOptions options_;
    const std::vector<SocketDevice> devices_;
    Admission admission_;
    mutable std::mutex mutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::vector<int> listeners_; // one per device, in order
    int lastConnection_ = 0;
    WakeEvent wake_;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
};

SocketServer::SocketServer(std::vector<SocketDevice> devices, SocketServerOptions options)
    : state_(std::make_unique<State>(std::move(devices), std::move(options)))
{
}

SocketServer::~SocketServer() = default;

bool SocketServer::start(std::string &problem) { return state_->start(problem); }
void SocketServer::stop() { state_->stop(); }
std::uint16_t SocketServer::port(std::size_t index) const { return state_->port(index); }
std::size_t SocketServer::connectionCount() const { return state_->connectionCount(); }

} // namespace qx::serve
