// ONC RPC record marking over a TCP socket: a record is a run of fragments, each behind a
// four-byte header (the top bit marks the last fragment, the rest is its length).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/deadline.h"

namespace qx::vxi11 {

using qx::runtime::Deadline;

enum class StreamResult {
    Ok,
    TimedOut,  // nothing lost: a later call goes on where this one stopped
    Closed,    // the peer closed the connection, or it broke
    Malformed  // a record longer than allowed
};

// Records in and out of one connected socket. Received bytes are kept between calls, so a record
// whose arrival outlasts one deadline is completed by the next call.
class RecordStream {
public:
    explicit RecordStream(int fd = -1) : fd_(fd) {}
    int fd() const { return fd_; }

    StreamResult send(std::string_view record, const Deadline &deadline);
    // One whole record of at most `maxSize` bytes. With `recordMs` >= 0, `deadline` bounds the
    // wait for a record to begin, and a record that has begun must end within `recordMs`.
    StreamResult receive(std::string &record, std::size_t maxSize, const Deadline &deadline, long long recordMs = -1);
    // Bytes of a record that has not ended are held.
    bool midRecord() const { return !input_.empty() || !partial_.empty(); }

private:
    StreamResult fill(const Deadline &deadline);

    int fd_;
    std::string input_;   // bytes received and not yet part of a returned record
    std::string partial_; // the fragments of the record being received
    Deadline recordEnd_ = Deadline::never();
    bool recordTimed_ = false; // recordEnd_ bounds the record under way
};

} // namespace qx::vxi11
