// An in-process instrument that answers from a script and records what it was sent in the
// shared timeline, so a test can assert the exact traffic and waits of a driver call.
#pragma once

#include "runtime/clock.h"
#include "visa/device.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace qx::test {

class ScriptedDevice : public visa::Device {
public:
    explicit ScriptedDevice(runtime::Timeline &timeline) : timeline_(timeline) {}

    // Every later message equal to `command` (without its line feed) is answered with `reply`;
    // a line feed is added to the reply unless it has one.
    void answer(const std::string &command, const std::string &reply)
    {
        std::lock_guard lock(mutex_);
        answers_[command] = withLineFeed(reply);
    }
    // Answers the next such message only, before any standing answer.
    void answerOnce(const std::string &command, const std::string &reply)
    {
        std::lock_guard lock(mutex_);
        onceAnswers_[command].push_back(withLineFeed(reply));
    }
    // The instrument says nothing to this command: the caller's read times out.
    void silentOn(const std::string &command) { std::lock_guard lock(mutex_); silent_.insert(command); }
    // The line breaks when this command arrives: the write fails.
    void closeOn(const std::string &command) { std::lock_guard lock(mutex_); closing_.insert(command); }
    // Messages received so far, without line feeds.
    std::deque<std::string> messages() const
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    bool write(std::string_view bytes, bool end) override;
    visa::DeviceRead read(std::size_t max) override;
    void clear() override;

private:
    static std::string withLineFeed(const std::string &reply) { return reply.ends_with('\n') ? reply : reply + '\n'; }
    void handle(const std::string &message);

    runtime::Timeline &timeline_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> answers_;
    std::map<std::string, std::deque<std::string>> onceAnswers_;
    std::set<std::string> silent_, closing_;
    std::deque<std::string> messages_;
    std::string input_, output_;
    bool closed_ = false;
};

} // namespace qx::test
