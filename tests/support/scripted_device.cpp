#include "scripted_device.h"

#include <algorithm>
#include <utility>

namespace qx::test {

bool ScriptedDevice::write(std::string_view bytes, bool end)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    timeline_.write(bytes);
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
        output_ += once->second.front();
        once->second.pop_front();
    } else if (auto standing = answers_.find(message); standing != answers_.end()) {
        output_ += standing->second;
    }
}

visa::DeviceRead ScriptedDevice::read(std::size_t max)
{
    std::lock_guard lock(mutex_);
    visa::DeviceRead result;
    if (closed_)
        result.status = visa::DeviceRead::Status::Closed;
    if (closed_ || output_.empty())
        return result; // closed, or silent
    // One message at a time: END comes with its line feed.
    const size_t messageSize = std::min(output_.find('\n'), output_.size() - 1) + 1;
    result.status = visa::DeviceRead::Status::Data;
    result.bytes = output_.substr(0, std::min(max, messageSize));
    output_.erase(0, result.bytes.size());
    result.end = result.bytes.size() == messageSize;
    return result;
}

void ScriptedDevice::clear()
{
    std::lock_guard lock(mutex_);
    input_.clear();
    output_.clear();
}

} // namespace qx::test
