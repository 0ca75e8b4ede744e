// The simulator reached through VISA, as the driver reaches it in-process.
#include "sim/attach.h"

#include "runtime/clock.h"
#include "visa/visa.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qx::sim {
namespace {

TEST(Attached, SerialAndGpibNamesReachOneInstrumentAndAQuietOneTimesOutOnTheClock)
{
    qx::runtime::Timeline timeline;
    qx::runtime::VirtualClock clock{&timeline};
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
    // Sends `text` and reads the answer with the read's status.
    const auto ask = [](ViSession vi, const char *text) {
        char buffer[512] = {};
        ViUInt32 n = 0;
        viWrite(vi, reinterpret_cast<ViConstBuf>(text), static_cast<ViUInt32>(std::strlen(text)), &n);
        const ViStatus s = viRead(vi, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &n);
        return std::pair(std::string(buffer, n), s);
    };

    EXPECT_EQ(ask(serial, "VOLT 120.000000\n*IDN?\n").first, "ZE,7103QX,SN000123,1.02\n");
    EXPECT_EQ(ask(gpib, "VOLT?"), std::pair(std::string("120\n"), ViStatus{VI_SUCCESS}));
    ASSERT_TRUE(sim->setFaults(Faults{.silent = true}));
    EXPECT_EQ(ask(serial, "*IDN?\n").second, static_cast<ViStatus>(0xBFFF0015)); // VI_ERROR_TMO
    EXPECT_EQ(timeline.events().back(), "timeout 2");
    for (const char *name : {"ASRL1::INSTR", "GPIB0::5::INSTR"})
        qx::visa::detachDevice(name);
    viClose(rm);
}

} // namespace
} // namespace qx::sim
