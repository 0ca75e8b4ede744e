// The simulator reached through VISA, as the driver reaches it in-process. (Silence and its
// time-out are the in-process link's business: tests/visa and sim_device_test.cpp.)
#include "sim/attach.h"

#include "runtime/clock.h"
#include "visa/visa.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qx::sim {
namespace {

TEST(Attached, SerialAndGpibNamesReachOneInstrumentEachOnItsLink)
{
    qx::runtime::VirtualClock clock;
    qx::runtime::ScopedClock scoped{clock};
    const auto sim = std::make_shared<Simulator>();
    EXPECT_EQ(attach(nullptr, "ASRL2::INSTR"), nullptr);
    EXPECT_EQ(attach(sim, "not a resource"), nullptr);
    ASSERT_NE(attach(sim, "ASRL1::INSTR"), nullptr);
    ASSERT_NE(attach(sim, "GPIB0::5::INSTR"), nullptr);
    ViSession rm = VI_NULL, serial = VI_NULL, gpib = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "ASRL1::INSTR", VI_NULL, 5000, &serial), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "GPIB::5::INSTR", VI_NULL, 5000, &gpib), VI_SUCCESS);
    // Sends `text` and reads the answer; a message the link does not end goes unanswered.
    const auto ask = [](ViSession vi, const char *text) {
        char buffer[512] = {};
        ViUInt32 n = 0;
        viWrite(vi, reinterpret_cast<ViConstBuf>(text), static_cast<ViUInt32>(std::strlen(text)), &n);
        viRead(vi, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &n);
        return std::string(buffer, n);
    };

    EXPECT_EQ(ask(serial, "VOLT 120.000000\n*IDN?\n"), "ZE,7103QX,SN000123,1.02\n");
    EXPECT_EQ(ask(gpib, "VOLT?"), "120\n"); // ended by END, as GPIB does
    for (const char *name : {"ASRL1::INSTR", "GPIB0::5::INSTR"})
        qx::visa::detachDevice(name);
    viClose(rm);
}

} // namespace
} // namespace qx::sim
