// The simulator reached through VISA, as the driver reaches it in-process.
#include "sim/attach.h"

#include "runtime/clock.h"
#include "visa/visa.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qx::sim {
namespace {

class Attached : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
        for (const char *name : {"ASRL1::INSTR", "GPIB0::5::INSTR"})
            ASSERT_NE(attach(sim, name), nullptr) << name;
    }
    void TearDown() override
    {
        for (const char *name : {"ASRL1::INSTR", "GPIB0::5::INSTR"})
            qx::visa::detachDevice(name);
        viClose(rm);
    }
    ViSession open(const char *resource)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(viOpen(rm, resource, VI_NULL, 5000, &vi), VI_SUCCESS) << resource;
        return vi;
    }
    static ViStatus send(ViSession vi, const char *text)
    {
        ViUInt32 n = 0;
        return viWrite(vi, reinterpret_cast<ViConstBuf>(text), static_cast<ViUInt32>(std::strlen(text)), &n);
    }
    // The answer, and the read's status.
    static std::pair<std::string, ViStatus> receive(ViSession vi)
    {
        char buffer[512] = {};
        ViUInt32 n = 0;
        const ViStatus s = viRead(vi, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &n);
        return {std::string(buffer, n), s};
    }

    qx::runtime::Timeline timeline;
    qx::runtime::VirtualClock clock{&timeline};
    qx::runtime::ScopedClock scoped{clock};
    std::shared_ptr<Simulator> sim = std::make_shared<Simulator>();
    ViSession rm = VI_NULL;
};

TEST_F(Attached, SerialAndGpibNamesReachOneInstrumentSilenceTimesOutAndAClosedLineFails)
{
    EXPECT_EQ(attach(nullptr, "ASRL2::INSTR"), nullptr);
    EXPECT_EQ(attach(sim, "not a resource"), nullptr);
    const ViSession serial = open("ASRL1::INSTR");
    ASSERT_EQ(send(serial, "VOLT 120.000000\n"), VI_SUCCESS);
    ASSERT_EQ(send(serial, "*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(receive(serial).first, "ZE,7103QX,SN000123,1.02\n");
    const ViSession gpib = open("GPIB::5::INSTR");
    ASSERT_EQ(send(gpib, "VOLT?"), VI_SUCCESS);
    EXPECT_EQ(receive(gpib), std::pair(std::string("120\n"), ViStatus{VI_SUCCESS}));

    ASSERT_TRUE(sim->setFaults(Faults{.silent = true}));
    ASSERT_EQ(send(serial, "*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(receive(serial).second, static_cast<ViStatus>(0xBFFF0015)); // VI_ERROR_TMO
    EXPECT_EQ(timeline.events().back(), "timeout 2");
    ASSERT_TRUE(sim->setFaults(Faults{.closeAfter = 1}));
    ASSERT_EQ(send(serial, "VOLT 1\n"), VI_SUCCESS);
    EXPECT_LT(send(serial, "*IDN?\n"), 0);
}

} // namespace
} // namespace qx::sim
