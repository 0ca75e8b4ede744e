// The I/O layer's fixture: SessionTest opens sessions on in-process instruments (answers queued
// in advance), under a virtual clock whose timeline records every time-out; and helpers that show
// a call's status and outputs, or a session's attributes.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <concepts>
#include <memory>
#include <string>
#include <vector>

#include "runtime/clock.h"
#include "scripted_device.h"
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

class SessionTest : public ::testing::Test {
protected:
    // Opens `resource` on a fresh in-process device, which becomes `device` as the session becomes
    // `io`; the 4000-byte buffers and flush-on-access of the instrument driver when `driverSetup`.
    void open(const std::string &resource, bool driverSetup = true)
    {
        names_.push_back(resource);
        device = std::make_shared<qx::test::ScriptedDevice>();
        ASSERT_TRUE(plugIn(resource, device));
        ASSERT_EQ(viOpen(rm, resource.c_str(), VI_NULL, 5000, &io), VI_SUCCESS);
        if (driverSetup) {
            ASSERT_EQ(viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, 4000), VI_SUCCESS);
            ASSERT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
            ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
        }
    }
    // Where `open` puts the device: attached in-process under the resource name.
    virtual bool plugIn(const std::string &resource, std::shared_ptr<qx::test::ScriptedDevice> instrument)
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
    std::shared_ptr<qx::test::ScriptedDevice> device;
    ViSession rm = VI_NULL;
    ViSession io = VI_NULL;

private:
    std::vector<std::string> names_;
};

} // namespace qx::visa::test
