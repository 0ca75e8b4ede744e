// An in-process instrument for the tests and the fuzz targets. It answers each command from a
// script, or each query with the next of a list of lines, or hands out answers queued in advance
// whatever it is sent; it records what it was sent (in the shared timeline too, when given one, so
// a test can assert the exact traffic and waits of a driver call) and can be silent, close its
// line, or hand out its answers in small pieces.
#pragma once

#include "runtime/clock.h"
#include "visa/device.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qx::test {

class ScriptedDevice : public visa::Device {
public:
    struct Write {
        std::string bytes;
        bool end; // END (GPIB EOI) with the last byte
        bool operator==(const Write &) const = default;
    };

    ScriptedDevice() = default;
    explicit ScriptedDevice(runtime::Timeline &timeline) : timeline_(&timeline) {}

    // Every later message equal to `command` (without its line feed) is answered with `reply`;
    // a line feed is added to the reply unless it has one.
    void answer(const std::string &command, const std::string &reply)
    {
        locked([&] { answers_[command] = withLineFeed(reply); });
    }
    // Answers the next such message only, before any standing answer.
    void answerOnce(const std::string &command, const std::string &reply)
    {
        locked([&] { onceAnswers_[command].push_back(withLineFeed(reply)); });
    }
    // The instrument says nothing to this command: the caller's read times out.
    void silentOn(const std::string &command) { locked([&] { silent_.insert(command); }); }
    // The line breaks when this command arrives: the write fails.
    void closeOn(const std::string &command) { locked([&] { closing_.insert(command); }); }
    // Each later query (a message holding '?') without an answer of its own takes the next line of
    // `lines`, with its line feed; once they are used up the instrument says nothing.
    void answerQueries(std::string lines) { locked([&] { queryLines_ = std::move(lines); }); }
    // An answer that waits to be read, whatever is sent; `end` marks its last byte with END.
    void queue(std::string bytes, bool end = false)
    {
        locked([&] { output_.push_back({std::move(bytes), end}); });
    }
    // Hands out at most this many bytes per read.
    void pieces(std::size_t size) { locked([&] { piece_ = size; }); }
    void closeLine() { locked([&] { closed_ = true; }); }

    // Messages received so far, without line feeds.
    std::deque<std::string> messages() const { return locked([&] { return messages_; }); }
    std::vector<Write> writes() const { return locked([&] { return writes_; }); }
    std::size_t pendingAnswers() const { return locked([&] { return output_.size(); }); }
    int reads() const { return locked([&] { return reads_; }); }
    int clears() const { return locked([&] { return clears_; }); }

    bool write(std::string_view bytes, bool end) override;
    visa::DeviceRead read(std::size_t max) override;
    void clear() override;

private:
    static std::string withLineFeed(const std::string &reply) { return reply.ends_with('\n') ? reply : reply + '\n'; }
    template <class F>
    auto locked(F &&f) const -> decltype(f())
    {
        std::lock_guard lock(mutex_);
        return f();
    }
    void handle(const std::string &message);

    runtime::Timeline *timeline_ = nullptr;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> answers_;
    std::map<std::string, std::deque<std::string>> onceAnswers_;
    std::set<std::string> silent_, closing_;
    std::deque<std::string> messages_;
    std::vector<Write> writes_;
    std::deque<Write> output_; // what is left of each answer, and whether END follows it
    std::string input_, queryLines_;
    std::size_t piece_ = static_cast<std::size_t>(-1);
    bool closed_ = false;
    int reads_ = 0, clears_ = 0;
};

inline bool ScriptedDevice::write(std::string_view bytes, bool end)
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

inline void ScriptedDevice::handle(const std::string &message)
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
    } else if (message.find('?') != std::string::npos && !queryLines_.empty()) {
        const std::size_t size = std::min(queryLines_.find('\n'), queryLines_.size() - 1) + 1;
        output_.push_back({queryLines_.substr(0, size), true});
        queryLines_.erase(0, size);
    }
}

// One answer at a time, in pieces of at most `max` bytes (and the size set by pieces()).
inline visa::DeviceRead ScriptedDevice::read(std::size_t max)
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

inline void ScriptedDevice::clear()
{
    std::lock_guard lock(mutex_);
    ++clears_;
    input_.clear();
    output_.clear();
}

} // namespace qx::test
