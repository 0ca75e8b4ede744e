#include "vxi11/rpc_record.h"

#include <cerrno>
#include <chrono>
#include <cstdint>

#include <poll.h>
#include <sys/socket.h>

namespace qx::vxi11 {

namespace {

constexpr std::uint32_t kLastFragment = 0x80000000u;
// Fragments we send; peers accept any size, small ones keep a slow peer from holding a buffer.
constexpr std::size_t kMaxFragment = 1u << 20;
// A reply on loopback or a fast LAN comes within microseconds, while waking a thread that sleeps
// in poll() can take tens of them: a receiver looks again this long before it sleeps.
constexpr auto kSpin = std::chrono::microseconds(50);

// Waits until the socket is ready for `events`; false on time-out.
bool waitFor(int fd, short events, const Deadline &deadline, StreamResult &failure)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, deadline.remainingMs());
        if (r > 0)
            return true;
        if (r == 0) {
            failure = StreamResult::TimedOut;
            return false;
        }
        if (errno != EINTR) {
            failure = StreamResult::Closed;
            return false;
        }
    }
}

} // namespace

StreamResult RecordStream::send(std::string_view record, const Deadline &deadline)
{
    std::string wire;
    wire.reserve(record.size() + 4 * (record.size() / kMaxFragment + 1));
    do {
        const std::size_t n = record.size() < kMaxFragment ? record.size() : kMaxFragment;
        const std::uint32_t header = static_cast<std::uint32_t>(n) | (n == record.size() ? kLastFragment : 0u);
        for (int shift = 24; shift >= 0; shift -= 8)
            wire += static_cast<char>((header >> shift) & 0xFF);
        wire.append(record.substr(0, n));
        record.remove_prefix(n);
    } while (!record.empty());

    std::size_t done = 0;
    while (done < wire.size()) {
        const ssize_t n = ::send(fd_, wire.data() + done, wire.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return StreamResult::Closed;
        StreamResult failure = StreamResult::Ok;
        if (!waitFor(fd_, POLLOUT, deadline, failure))
            // Part of a record on the wire cannot be taken back: the connection is unusable.
            return done == 0 ? failure : StreamResult::Closed;
    }
    return StreamResult::Ok;
}

StreamResult RecordStream::fill(const Deadline &deadline)
{
    char buffer[16384];
    const auto spinUntil = std::chrono::steady_clock::now() + kSpin;
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            input_.append(buffer, static_cast<std::size_t>(n));
            return StreamResult::Ok;
        }
        if (n == 0)
            return StreamResult::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return StreamResult::Closed;
        if (std::chrono::steady_clock::now() < spinUntil && deadline.remainingMs() != 0)
            continue;
        StreamResult failure = StreamResult::Ok;
        if (!waitFor(fd_, POLLIN, deadline, failure))
            return failure;
    }
}

StreamResult RecordStream::receive(std::string &record, std::size_t maxSize, const Deadline &deadline,
                                   long long recordMs)
{
    if (fd_ < 0)
        return StreamResult::Closed;
    for (;;) {
        if (input_.size() >= 4) {
            std::uint32_t header = 0;
            for (int i = 0; i < 4; ++i)
                header = (header << 8) | static_cast<unsigned char>(input_[static_cast<std::size_t>(i)]);
            const std::size_t length = header & ~kLastFragment;
            if (partial_.size() + length > maxSize)
                return StreamResult::Malformed;
            if (input_.size() >= 4 + length) {
                partial_.append(input_, 4, length);
                input_.erase(0, 4 + length);
                if (header & kLastFragment) {
                    record = std::move(partial_);
                    partial_.clear();
                    recordTimed_ = false;
                    return StreamResult::Ok;
                }
                continue;
            }
        }
        if (recordMs >= 0 && midRecord() && !recordTimed_) {
            recordEnd_ = Deadline(recordMs);
            recordTimed_ = true;
        }
        if (const StreamResult r = fill(recordMs >= 0 && midRecord() ? recordEnd_ : deadline); r != StreamResult::Ok)
            return r;
    }
}

} // namespace qx::vxi11
