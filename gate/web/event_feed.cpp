#include "event_feed.h"

namespace qx::gate::web {

void EventFeed::publish(std::string data)
{
    {
        const std::lock_guard lock(mutex_);
        latest_.data = std::move(data);
        ++latest_.number;
    }
    changed_.notify_all();
}

std::optional<EventFeed::Message> EventFeed::next(std::uint64_t seen, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return closed_ || latest_.number > seen; }) || closed_)
        return std::nullopt;
    return latest_;
}

EventFeed::Message EventFeed::latest() const
{
    const std::lock_guard lock(mutex_);
    return latest_;
}

void EventFeed::close()
{
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool EventFeed::closed() const
{
    const std::lock_guard lock(mutex_);
    return closed_;
}

std::string sseMessage(const EventFeed::Message &message)
{
    return "id: " + std::to_string(message.number) + "\nevent: state\ndata: " + message.data + "\n\n";
}

} // namespace qx::gate::web
