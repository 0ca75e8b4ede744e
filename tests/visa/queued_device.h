// An in-process instrument for the I/O layer's tests: answers from a queue, records what it was
// sent, and can be silent, close its line, or hand out its answers in small pieces. SessionTest
// opens sessions on such instruments, under a virtual clock whose timeline records every time-out.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <concepts>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/clock.h"
#include "visa/device.h"
#include "visa/visa.h"

namespace qx::visa::test {

// Outputs as text; numbers in the shortest form that reads back the same, so comparisons stay exact.
template <std::floating_point F>
std::string show(F value)
{
    char text[32];
    return {text, std::to_chars(text, text + sizeof text, value).ptr};
}
inline std::string show(int value) { return std::to_string(value); }
inline std::string show(long long value) { return std::to_string(value); }
inline std::string show(const std::string &value) { return value; }

// A call's status and its outputs, separated by "|".
using Result = std::pair<ViStatus, std::string>;
template <class... T>
Result result(ViStatus status, const T &...outputs)
{
    std::string all;
    ((all += '|' + show(outputs)), ...);
    return {status, all.empty() ? all : all.substr(1)};
}

// An attribute of a session; the filler shows if the get claims success but writes nothing.
template <class T>
T attribute(ViSession vi, ViAttr attr)
{
    T value = static_cast<T>(0xDEAD);
    EXPECT_EQ(viGetAttribute(vi, attr, &value), VI_SUCCESS) << std::hex << attr;
    return value;
}
// A text attribute of a session.
inline std::string textAttribute(ViSession vi, ViAttr attr)
{
    ViChar text[256] = "unset";
    EXPECT_EQ(viGetAttribute(vi, attr, text), VI_SUCCESS) << std::hex << attr;
    return text;
}

class QueuedDevice : public Device {
public:
    struct Write {
        std::string bytes;
        bool end;
        bool operator==(const Write &) const = default;
    };

    // Queues one answer; `end` marks its last byte with END (GPIB EOI).
    void answer(std::string bytes, bool end = false) { locked([&] { answers_.push_back({std::move(bytes), end}); }); }
    // Hands out at most this many bytes per read.
    void pieces(std::size_t size) { locked([&] { piece_ = size; }); }
    void closeLine() { locked([&] { closed_ = true; }); }
    std::vector<Write> writes() const { return locked([&] { return writes_; }); }
    std::size_t pendingAnswers() const { return locked([&] { return answers_.size(); }); }
    int reads() const { return locked([&] { return reads_; }); }
    int clears() const { return locked([&] { return clears_; }); }

    bool write(std::string_view bytes, bool end) override
    {
        std::lock_guard lock(mutex_);
        if (!closed_)
            writes_.push_back({std::string(bytes), end});
        return !closed_;
    }
    DeviceRead read(std::size_t max) override
    {
        std::lock_guard lock(mutex_);
        ++reads_;
        DeviceRead result; // Silent
        if (closed_ || answers_.empty()) {
            result.status = closed_ ? DeviceRead::Status::Closed : result.status;
            return result;
        }
        Write &front = answers_.front();
        result.status = DeviceRead::Status::Data;
        result.bytes = front.bytes.substr(0, std::min({max, piece_, front.bytes.size()}));
        front.bytes.erase(0, result.bytes.size());
        if (front.bytes.empty()) {
            result.end = front.end;
            answers_.pop_front();
        }
        return result;
    }
    void clear() override { locked([&] { ++clears_, answers_.clear(); }); }

private:
    template <class F>
    auto locked(F &&f) const -> decltype(f())
    {
        std::lock_guard lock(mutex_);
        return f();
    }
    mutable std::mutex mutex_;
    std::deque<Write> answers_; // what is left of each, and whether END follows it
    std::vector<Write> writes_;
    std::size_t piece_ = static_cast<std::size_t>(-1);
    bool closed_ = false;
    int reads_ = 0;
    int clears_ = 0;
};

class SessionTest : public ::testing::Test {
protected:
    // Opens `resource` on a fresh queued device, which becomes `device` as the session becomes
    // `io`; the 4000-byte buffers and flush-on-access of the instrument driver when `driverSetup`.
    void open(const std::string &resource, bool driverSetup = true)
    {
        names_.push_back(resource);
        device = std::make_shared<QueuedDevice>();
        ASSERT_TRUE(plugIn(resource, device));
        ASSERT_EQ(viOpen(rm, resource.c_str(), VI_NULL, 5000, &io), VI_SUCCESS);
        if (driverSetup) {
            ASSERT_EQ(viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, 4000), VI_SUCCESS);
            ASSERT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
            ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
        }
    }
    // Where `open` puts the device: attached in-process under the resource name.
    virtual bool plugIn(const std::string &resource, std::shared_ptr<QueuedDevice> instrument)
    {
        return attachDevice(resource, std::move(instrument));
    }
    void SetUp() override { ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS); }
    void TearDown() override
    {
        viClose(rm);
        for (const std::string &name : names_)
            detachDevice(name);
    }
    // viScanf of one number that starts as `start`: the status and the number after.
    template <class T>
    Result scan(ScanfFormat<T *> format, T start = 0)
    {
        T value = start;
        const ViStatus status = viScanf(io, format, &value);
        return result(status, value);
    }
    // viRead into a buffer of `size`: the status and the bytes read.
    Result read(std::size_t size = 512)
    {
        std::string buffer(size, '\0');
        ViUInt32 count = 0;
        const ViStatus status = viRead(io, reinterpret_cast<ViBuf>(buffer.data()), static_cast<ViUInt32>(size), &count);
        return {status, buffer.substr(0, count)};
    }
    ViStatus write(std::string_view bytes)
    {
        ViUInt32 count = 0;
        const ViStatus status =
            viWrite(io, reinterpret_cast<ViConstBuf>(bytes.data()), static_cast<ViUInt32>(bytes.size()), &count);
        EXPECT_EQ(count, status < 0 ? 0 : bytes.size());
        return status;
    }

    runtime::Timeline timeline;
    runtime::VirtualClock clock{&timeline};
    runtime::ScopedClock clockGuard{clock};
    std::shared_ptr<QueuedDevice> device;
    ViSession rm = VI_NULL;
    ViSession io = VI_NULL;

private:
    std::vector<std::string> names_;
};

} // namespace qx::visa::test
