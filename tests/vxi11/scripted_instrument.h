// A served instrument for the VXI-11 tests: records what reaches it and answers from a queue.
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vxi11/instrument.h"

namespace qx::test {

class ScriptedInstrument final : public vxi11::Instrument {
public:
    struct Write {
        std::string data;
        bool end = false;
        bool operator==(const Write &) const = default;
    };

    long write(std::string_view data, bool end, const vxi11::IoWait &) override
    {
        std::lock_guard lock(mutex_);
        writes_.push_back({std::string(data), end});
        return vxi11::error::kNone;
    }

    // An answer waiting in the queue comes whole with END; none means a silent instrument, which
    // ends the read at its deadline or at an abort. A stall ignores both, as a hung server would.
    vxi11::ReadReply read(std::size_t max, int termChar, const vxi11::IoWait &wait) override
    {
        std::chrono::milliseconds stall{0};
        {
            std::lock_guard lock(mutex_);
            termChars_.push_back(termChar);
            std::swap(stall, stall_);
        }
        std::this_thread::sleep_for(stall);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (!answers_.empty()) {
                    vxi11::ReadReply reply;
                    reply.data = answers_.front().substr(0, max);
                    answers_.front().erase(0, reply.data.size());
                    const bool whole = answers_.front().empty();
                    if (whole)
                        answers_.pop_front();
                    reply.reason = whole ? vxi11::reason::kEnd : vxi11::reason::kRequestCount;
                    return reply;
                }
            }
            if (wait.aborted() || wait.expired())
                return {wait.aborted() ? vxi11::error::kAbort : vxi11::error::kIoTimeout, 0, {}};
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    long readStatusByte(unsigned char &stb, const vxi11::IoWait &) override
    {
        note("readstb");
        stb = 0x51;
        return vxi11::error::kNone;
    }
    long trigger(const vxi11::IoWait &) override { return note("trigger"); }
    long clear(const vxi11::IoWait &) override { return note("clear"); }
    long remote(const vxi11::IoWait &) override { return note("remote"); }
    // local stays unsupported, as on a device without a local state

    void answer(std::string bytes)
    {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(bytes));
    }
    void stallNextRead(std::chrono::milliseconds stall)
    {
        std::lock_guard lock(mutex_);
        stall_ = stall;
    }
    std::vector<Write> writes() const
    {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    std::vector<int> termChars() const
    {
        std::lock_guard lock(mutex_);
        return termChars_;
    }
    std::vector<std::string> controls() const
    {
        std::lock_guard lock(mutex_);
        return controls_;
    }

private:
    long note(const char *what)
    {
        std::lock_guard lock(mutex_);
        controls_.push_back(what);
        return vxi11::error::kNone;
    }

    mutable std::mutex mutex_;
    std::vector<Write> writes_;
    std::deque<std::string> answers_;
    std::vector<int> termChars_;
    std::vector<std::string> controls_;
    std::chrono::milliseconds stall_{0};
};

} // namespace qx::test
