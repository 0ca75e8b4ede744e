#include "stream_peer.h"

#include <cerrno>
#include <unistd.h>

namespace qx::sim {

void StreamPeer::attach(int fd)
{
    close();
    fd_ = fd;
}

void StreamPeer::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    input_.clear();
    waiting_.clear();
    sending_.clear();
    closeWhenSent_ = false;
    closing_ = false;
}

StreamPeer::Result StreamPeer::readFrom(Simulator &simulator, double now)
{
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n == 0)
        return Result::Gone;
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? Result::Ok : Result::Gone;
    if (closing_)
        return Result::Ok;
    input_.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t nl; !closing_ && (nl = input_.find('\n', start)) != std::string::npos; start = nl + 1) {
        Delivery d = simulator.receive(std::string_view(input_).substr(start, nl + 1 - start));
        if (!d.bytes.empty() || d.close)
            waiting_.push_back(Pending{now + d.delay, std::move(d.bytes), d.close});
        closing_ = d.close;
    }
    input_.erase(0, start);
    if (input_.size() > kMaxInput) {
        input_.clear();
        simulator.raise(scpi_error::InputBufferOverrun);
    }
    return Result::Ok;
}

void StreamPeer::promote(double now)
{
    while (!waiting_.empty() && waiting_.front().due <= now) {
        Pending &p = waiting_.front();
        if (sending_.size() + p.bytes.size() <= kMaxOutput)
            sending_ += p.bytes;
        closeWhenSent_ = closeWhenSent_ || p.close;
        waiting_.pop_front();
    }
}

StreamPeer::Result StreamPeer::writeDue(double now)
{
    promote(now);
    while (!sending_.empty()) {
        const ssize_t n = ::write(fd_, sending_.data(), sending_.size()); // SIGPIPE is ignored
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return Result::Ok;
            return Result::Gone;
        }
        sending_.erase(0, static_cast<std::size_t>(n));
    }
    return closeWhenSent_ ? Result::Gone : Result::Ok;
}

double StreamPeer::untilNextDue(double now) const
{
    if (waiting_.empty())
        return -1.0;
    const double wait = waiting_.front().due - now;
    return wait > 0.0 ? wait : 0.0;
}

} // namespace qx::sim
