#include "scripted_device.h"

#include <algorithm>
#include <utility>

namespace qx::test {

bool ScriptedDevice::write(std::string_view bytes, bool end)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    if (timeline_ != nullptr)
        timeline_->write(bytes);
    writes_.push_back({std::string(bytes), end});
    input_.append(bytes);
    // A message ends at a line feed (serial) or with the END of the write (GPIB).
    for (size_t pos; (pos = input_.find('\n')) != std::string::npos; input_.erase(0, pos + 1))
        handle(input_.substr(0, pos));
    if (end && !input_.empty())
        handle(std::exchange(input_, {}));
    return !closed_;
}

void ScriptedDevice::handle(const std::string &message)
{
    messages_.push_back(message);
    closed_ = closed_ || closing_.count(message) > 0;
    if (closed_ || silent_.count(message))
        return; // what a broken line would answer is never read
    if (auto once = onceAnswers_.find(message); once != onceAnswers_.end() && !once->second.empty()) {
        output_.push_back({once->second.front(), true});
        once->second.pop_front();
    } else if (auto standing = answers_.find(message); standing != answers_.end()) {
        output_.push_back({standing->second, true});
    }
}

// One answer at a time, in pieces of at most `max` bytes (and the size set by pieces()).
visa::DeviceRead ScriptedDevice::read(std::size_t max)
{
    std::lock_guard lock(mutex_);
    ++reads_;
    visa::DeviceRead result;
    if (closed_)
        result.status = visa::DeviceRead::Status::Closed;
    if (closed_ || output_.empty())
        return result; // closed, or silent
    Write &front = output_.front();
    result.status = visa::DeviceRead::Status::Data;
    result.bytes = front.bytes.substr(0, std::min({max, piece_, front.bytes.size()}));
    front.bytes.erase(0, result.bytes.size());
    if (front.bytes.empty()) {
        result.end = front.end;
        output_.pop_front();
    }
    return result;
}

void ScriptedDevice::clear()
{
    std::lock_guard lock(mutex_);
    ++clears_;
    input_.clear();
    output_.clear();
}

} // namespace qx::test
