// An in-process instrument for the I/O layer's tests: answers from a queue, records what it was
// sent, and can be silent, close its line, or hand out its answers in small pieces.
#pragma once

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "visa/device.h"

namespace qx::visa::test {

class ScriptedDevice : public Device {
public:
    struct Write {
        std::string bytes;
        bool end;
        bool operator==(const Write &) const = default;
    };

    // Queues one answer; `end` marks its last byte with END (GPIB EOI).
    void answer(std::string bytes, bool end = false)
    {
        std::lock_guard lock(mutex_);
        answers_.push_back({std::move(bytes), end});
    }
    // Hands out at most this many bytes per read.
    void pieces(std::size_t size)
    {
        std::lock_guard lock(mutex_);
        piece_ = size;
    }
    void closeLine()
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    std::vector<Write> writes() const
    {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    // Everything sent, concatenated.
    std::string sent() const
    {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const Write &w : writes_)
            all += w.bytes;
        return all;
    }
    std::size_t pendingAnswers() const
    {
        std::lock_guard lock(mutex_);
        return answers_.size();
    }
    int reads() const
    {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    int clears() const
    {
        std::lock_guard lock(mutex_);
        return clears_;
    }

    bool write(std::string_view bytes, bool end) override
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        writes_.push_back({std::string(bytes), end});
        return true;
    }

    DeviceRead read(std::size_t max) override
    {
        std::lock_guard lock(mutex_);
        ++reads_;
        DeviceRead result;
        if (closed_) {
            result.status = DeviceRead::Status::Closed;
            return result;
        }
        if (answers_.empty())
            return result; // Silent
        Pending &front = answers_.front();
        const std::size_t n = std::min({max, piece_, front.bytes.size()});
        result.status = DeviceRead::Status::Data;
        result.bytes = front.bytes.substr(0, n);
        front.bytes.erase(0, n);
        if (front.bytes.empty()) {
            result.end = front.end;
            answers_.pop_front();
        }
        return result;
    }

    void clear() override
    {
        std::lock_guard lock(mutex_);
        ++clears_;
        answers_.clear();
    }

private:
    struct Pending {
        std::string bytes;
        bool end;
    };
    mutable std::mutex mutex_;
    std::deque<Pending> answers_;
    std::vector<Write> writes_;
    std::size_t piece_ = static_cast<std::size_t>(-1);
    bool closed_ = false;
    int reads_ = 0;
    int clears_ = 0;
};

} // namespace qx::visa::test
