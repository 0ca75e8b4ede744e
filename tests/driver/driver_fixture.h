// A driver test bench: a scripted instrument attached at GPIB address 5 and COM port 1, a virtual
// clock whose timeline records the traffic and the waits, and the popups the operator was shown
// (none unless the test expects them).
#pragma once

#include "runtime/clock.h"
#include "runtime/popup.h"
#include "scripted_device.h"
#include "visa/device.h"
#include "visa/visadef.h"
#include "zev_qx70.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace qx::test {

using Events = std::vector<std::string>;

inline constexpr char kGpib[] = "GPIB::5::INSTR";
inline constexpr char kSerial[] = "ASRL1::INSTR";

// Whether another thread can take a session's lock now: proves that a driver function released
// it on the way out. A lock still held makes the probe give up after a while instead of hanging.
inline bool lockableFromAnotherThread(ViSession vi)
{
    auto result = std::make_shared<std::promise<ViStatus>>();
    std::future<ViStatus> status = result->get_future();
    std::thread([vi, result] {
        ViBoolean has = VI_FALSE;
        const ViStatus locked = ZEV_QX70_LockSession(vi, &has);
        ZEV_QX70_UnlockSession(vi, &has);
        result->set_value(locked);
    }).detach();
    return status.wait_for(std::chrono::seconds(5)) == std::future_status::ready && status.get() == VI_SUCCESS;
}

class DriverTest : public ::testing::Test {
protected:
    DriverTest()
    {
        visa::attachDevice("GPIB0::5::INSTR", device);
        visa::attachDevice("ASRL1::INSTR", device);
        device->answer("*IDN?", "ZE,7103QX,SN000123,1.02");
        device->answer("LIM:VOLT?", "300.0");
        device->answer("LIM:CURR?", "9.2");
        device->answer("LIM:FREQ:LOW?", "16.0");
        device->answer("LIM:FREQ:HIGH?", "500.0");
        device->answer("SYST:ERR?", "0,\"No error\"");
        ZEV_QX70_ClearErrorInfo(VI_NULL);
    }

    ~DriverTest() override
    {
        EXPECT_EQ(popups.popups(), expectedPopups) << "the operator saw other popups";
        for (ViSession vi : opened)
            ZEV_QX70_close(vi);
        visa::detachDevice("GPIB0::5::INSTR");
        visa::detachDevice("ASRL1::INSTR");
    }

    // Opens a session and forgets the opening traffic.
    ViSession open(const char *resource, const char *options = "")
    {
        ViSession vi = VI_NULL;
        ViRsrc name = const_cast<ViRsrc>(resource);
        EXPECT_EQ(ZEV_QX70_InitWithOptions(name, VI_TRUE, VI_FALSE, options, &vi, 9600), VI_SUCCESS);
        EXPECT_NE(vi, static_cast<ViSession>(VI_NULL));
        if (vi != VI_NULL)
            opened.push_back(vi);
        timeline.clear();
        return vi;
    }

    // Opens a session to an instrument that identifies as `model` ("7101QX", ...).
    ViSession openModel(const char *resource, const char *model, const char *options = "")
    {
        device->answer("*IDN?", std::string("ZE,") + model + ",SN1,1.0");
        return open(resource, options);
    }

    void closeNow(ViSession vi)
    {
        std::erase(opened, vi);
        ZEV_QX70_close(vi);
    }

    struct ErrorInfo {
        ViStatus primary = 0;
        ViStatus secondary = 0;
        std::string elaboration;
        bool operator==(const ErrorInfo &) const = default;
        friend void PrintTo(const ErrorInfo &e, std::ostream *os)
        {
            *os << std::hex << "{0x" << e.primary << ", 0x" << e.secondary << std::dec << ", \"" << e.elaboration << "\"}";
        }
    };

    static ErrorInfo errorInfo(ViSession vi)
    {
        ErrorInfo info;
        ViChar text[256] = {};
        ZEV_QX70_GetErrorInfo(vi, &info.primary, &info.secondary, text);
        info.elaboration = text;
        return info;
    }

    Events events() const { return timeline.events(); }

    // The events so far; the timeline starts afresh for the next step.
    Events take()
    {
        Events all = timeline.events();
        timeline.clear();
        return all;
    }

    // The call returned `expected` after exactly `traffic` (since the last take()), and left the
    // session's lock free. With no traffic: a refusal that sent and waited for nothing.
    ::testing::AssertionResult returned(ViSession vi, ViStatus status, ViStatus expected, const Events &traffic = {})
    {
        const Events actual = take();
        const bool lockFree = lockableFromAnotherThread(vi);
        if (status == expected && actual == traffic && lockFree)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "status " << status << " (expected " << expected << "), traffic " << ::testing::PrintToString(actual)
               << " (expected " << ::testing::PrintToString(traffic) << "), lock free " << lockFree;
    }

    runtime::Timeline timeline;
    runtime::VirtualClock clock{&timeline};
    runtime::ScopedClock clockGuard{clock};
    std::shared_ptr<ScriptedDevice> device = std::make_shared<ScriptedDevice>(timeline);
    runtime::RecordingPopups popups; // what the operator was shown: expectedPopups, else none
    runtime::ScopedPopupService popupGuard{popups};
    std::vector<runtime::RecordingPopups::Popup> expectedPopups;
    std::vector<ViSession> opened;
};

// The traffic of a status check that finds no error, over GPIB or the serial line.
inline Events statusCheck(bool serial = false)
{
    return {serial ? "> SYST:ERR?\\n" : "> SYST:ERR?", "wait 0.05", "wait 0.05"};
}

inline Events concat(std::initializer_list<Events> parts)
{
    Events all;
    for (const Events &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A command, its settle time and a status check: the traffic of most settings.
inline Events setting(const std::string &command, bool serial = false)
{
    return concat({{"> " + command + (serial ? "\\n" : ""), "wait 0.03"}, statusCheck(serial)});
}

// A status check followed by the default setup ("*CLS" and its settle time).
inline Events checkAndClear(bool serial = false)
{
    return concat({statusCheck(serial), {serial ? "> *CLS\\n" : "> *CLS", "wait 0.03"}});
}

} // namespace qx::test
