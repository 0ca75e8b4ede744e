// A driver test bench: a scripted instrument attached at GPIB address 5 and COM port 1, and a
// virtual clock whose timeline records the traffic and the waits.
#pragma once

#include "driver_state.h"
#include "runtime/clock.h"
#include "scripted_device.h"
#include "visa/device.h"
#include "visa/visadef.h"
#include "zev_qx70.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qx::test {

using Events = std::vector<std::string>;

inline constexpr char kGpib[] = "GPIB::5::INSTR";
inline constexpr char kSerial[] = "ASRL1::INSTR";

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
        resetDriverState();
        ZEV_QX70_ClearErrorInfo(VI_NULL);
    }

    ~DriverTest() override
    {
        for (ViSession vi : opened)
            ZEV_QX70_close(vi);
        visa::detachDevice("GPIB0::5::INSTR");
        visa::detachDevice("ASRL1::INSTR");
    }

    static void resetDriverState()
    {
        auto &state = zev::driverState();
        state.serialInterface = 0;
        state.modelNumber = 0;
        state.voltageLimit = 0.0;
        state.currentLimit = 0.0;
        state.frequencyLowLimit = 0.0;
        state.frequencyHighLimit = 0.0;
    }

    // Opens a session and forgets the opening traffic.
    ViSession open(const char *resource, const char *options = "", bool idQuery = true, bool reset = false)
    {
        ViSession vi = VI_NULL;
        ViStatus status = ZEV_QX70_InitWithOptions(const_cast<ViRsrc>(resource), idQuery ? VI_TRUE : VI_FALSE,
                                                   reset ? VI_TRUE : VI_FALSE, options, &vi, 9600);
        EXPECT_EQ(status, VI_SUCCESS);
        EXPECT_NE(vi, static_cast<ViSession>(VI_NULL));
        if (vi != VI_NULL)
            opened.push_back(vi);
        timeline.clear();
        return vi;
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

    runtime::Timeline timeline;
    runtime::VirtualClock clock{&timeline};
    runtime::ScopedClock clockGuard{clock};
    std::shared_ptr<ScriptedDevice> device = std::make_shared<ScriptedDevice>(timeline);
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

} // namespace qx::test
