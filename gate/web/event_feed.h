// The latest state of one instrument as a Server-Sent Events message, handed to every open page.
// Each stream waits for a message newer than the one it sent last; one that falls behind skips
// to the newest, so a slow browser never holds the others or the instrument.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace qx::gate::web {

class EventFeed {
public:
    struct Message {
        std::uint64_t number = 0; // counts up from 1
        std::string data;         // one line of JSON
    };

    void publish(std::string data);
    // The newest message after number `seen`, waiting at most `timeout`; nullopt on time-out or
    // once closed.
    std::optional<Message> next(std::uint64_t seen, std::chrono::milliseconds timeout);
    // The newest message ("" and 0 before the first).
    Message latest() const;
    // Wakes every waiter; next() returns nullopt from now on.
    void close();
    bool closed() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Message latest_;
    bool closed_ = false;
};

// "event: state\ndata: ...\n\n", the SSE form of a message (its data one line).
std::string sseMessage(const EventFeed::Message &message);

} // namespace qx::gate::web
