#include "scripted_device.h"

#include <algorithm>

namespace qx::test {
namespace {

std::string withLineFeed(const std::string &reply)
{
    return !reply.empty() && reply.back() == '\n' ? reply : reply + '\n';
}

} // namespace

void ScriptedDevice::answer(const std::string &command, const std::string &reply)
{
    std::lock_guard lock(mutex_);
    answers_[command] = withLineFeed(reply);
}

void ScriptedDevice::answerOnce(const std::string &command, const std::string &reply)
{
    std::lock_guard lock(mutex_);
    onceAnswers_[command].push_back(withLineFeed(reply));
}

void ScriptedDevice::silentOn(const std::string &command)
{
    std::lock_guard lock(mutex_);
    silent_.insert(command);
}

void ScriptedDevice::closeOn(const std::string &command)
{
    std::lock_guard lock(mutex_);
    closing_.insert(command);
}

std::deque<std::string> ScriptedDevice::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

bool ScriptedDevice::write(std::string_view bytes, bool end)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    timeline_.write(bytes);
    input_.append(bytes);
    // A message ends at a line feed (serial) or with the END of the write (GPIB).
    for (size_t pos; (pos = input_.find('\n')) != std::string::npos;) {
        std::string message = input_.substr(0, pos);
        input_.erase(0, pos + 1);
        handle(message);
    }
    if (end && !input_.empty()) {
        handle(input_);
        input_.clear();
    }
    return !closed_;
}

void ScriptedDevice::handle(const std::string &message)
{
    messages_.push_back(message);
    if (closing_.count(message)) {
        closed_ = true;
        return;
    }
    if (silent_.count(message))
        return;
    auto once = onceAnswers_.find(message);
    if (once != onceAnswers_.end() && !once->second.empty()) {
        output_ += once->second.front();
        once->second.pop_front();
        return;
    }
    auto standing = answers_.find(message);
    if (standing != answers_.end())
        output_ += standing->second;
}

visa::DeviceRead ScriptedDevice::read(std::size_t max)
{
    std::lock_guard lock(mutex_);
    visa::DeviceRead result;
    if (closed_) {
        result.status = visa::DeviceRead::Status::Closed;
        return result;
    }
    if (output_.empty())
        return result; // silent
    // One message at a time: END comes with its line feed.
    const size_t lineEnd = output_.find('\n');
    const size_t messageSize = lineEnd == std::string::npos ? output_.size() : lineEnd + 1;
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
