// An in-process instrument for the tests. It answers each command from a script, or hands out
// answers queued in advance whatever it is sent; it records what it was sent (in the shared
// timeline too, when given one, so a test can assert the exact traffic and waits of a driver
// call) and can be silent, close its line, or hand out its answers in small pieces.
#pragma once

#include "runtime/clock.h"
#include "visa/device.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
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
    // An answer that waits to be read, whatever is sent; `end` marks its last byte with END.
    void queue(std::string bytes, bool end = false) { locked([&] { output_.push_back({std::move(bytes), end}); }); }
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
    std::string input_;
    std::size_t piece_ = static_cast<std::size_t>(-1);
    bool closed_ = false;
    int reads_ = 0, clears_ = 0;
};

} // namespace qx::test
