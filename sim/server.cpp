#include "server.h"

#include "runtime/clock.h"

#include <cerrno>
#include <cmath>
#include <poll.h>
#include <vector>

namespace qx::sim {
namespace {

double clockNow() { return qx::runtime::currentClock().now(); }

// Poll time-out until the earliest waiting answer is due, -1 (forever) when none waits.
int timeoutMs(std::initializer_list<StreamPeer *> peers, double now)
{
    double wait = -1.0;
    for (StreamPeer *p : peers)
        if (p && p->active()) {
            const double due = p->untilNextDue(now);
            if (due >= 0.0 && (wait < 0.0 || due < wait))
                wait = due;
        }
    return wait < 0.0 ? -1 : static_cast<int>(std::ceil(wait * 1000.0));
}

short events(const StreamPeer &p) { return static_cast<short>(POLLIN | (p.wantsWrite() ? POLLOUT : 0)); }

} // namespace

void serve(Simulator &simulator, PtyServer *pty, TcpServer *tcp, int stopFd)
{
    StreamPeer *line = pty ? &pty->peer() : nullptr;
    StreamPeer *client = tcp ? &tcp->client() : nullptr;
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({stopFd, POLLIN, 0});
        const std::size_t lineAt = fds.size();
        if (line && line->active())
            fds.push_back({line->fd(), events(*line), 0});
        const std::size_t clientAt = fds.size();
        if (client && client->active())
            fds.push_back({client->fd(), events(*client), 0});
        const std::size_t listenAt = fds.size();
        if (tcp && !client->active())
            fds.push_back({tcp->listenFd(), POLLIN, 0});

        const int ready = ::poll(fds.data(), fds.size(), timeoutMs({line, client}, clockNow()));
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        const double now = clockNow();
        auto service = [&](StreamPeer *peer, std::size_t at, auto &&hangUp) {
            if (!peer || !peer->active())
                return;
            const short revents = at < fds.size() && fds[at].fd == peer->fd() ? fds[at].revents : 0;
            if ((revents & (POLLIN | POLLHUP | POLLERR)) && peer->readFrom(simulator, now) == StreamPeer::Result::Gone)
                return hangUp();
            if (peer->writeDue(now) == StreamPeer::Result::Gone)
                hangUp();
        };
        service(line, lineAt, [&] { pty->hangUp(); });
        service(client, clientAt, [&] { client->close(); });
        if (tcp && listenAt < fds.size() && fds[listenAt].fd == tcp->listenFd() && (fds[listenAt].revents & POLLIN))
            tcp->accept();
    }
}

} // namespace qx::sim
