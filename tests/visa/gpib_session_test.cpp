// GPIB sessions through the loader, against a fake libgpib that records the bus.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fake_gpib.h"
#include "visa/gpib_library.h"
#include "visa/visa.h"

using namespace qx::visa;
using fake_gpib::Write;

namespace {

// Before anything loads the GPIB library.
const bool fakeLibrary = ::setenv("QX_GPIB_LIBRARY", QX_FAKE_GPIB_PATH, 1) == 0;

class GpibSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fakeLibrary);
        bus = fake_gpib::Bus{};
        ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    }
    void TearDown() override { viClose(rm); }
    void open(const char *resource)
    {
        ASSERT_EQ(viOpen(rm, resource, VI_NULL, 5000, &io), VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 5000), VI_SUCCESS);
        ASSERT_EQ(viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, 4000), VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
    }
    fake_gpib::Bus &bus = fake_gpib::bus();
    ViSession rm = VI_NULL;
    ViSession io = VI_NULL;
};

} // namespace

TEST_F(GpibSession, OpensTheDeviceAtItsAddressAndTimeOut)
{
    ASSERT_NE(GpibLibrary::shared(), nullptr);
    open("GPIB::5::INSTR");
    EXPECT_EQ(bus.ibdev, (std::vector<int>{0, 5, 0, 12, 1, 0})); // T3s for the default 2000 ms
    EXPECT_EQ(bus.timeoutCode, 13);                            // T10s for 5000 ms
    EXPECT_EQ(viClose(io), VI_SUCCESS);
    EXPECT_FALSE(bus.online);

    ViSession other = VI_NULL;
    ASSERT_EQ(viOpen(rm, "GPIB1::7::2::INSTR", VI_NULL, 5000, &other), VI_SUCCESS);
    EXPECT_EQ(bus.ibdev, (std::vector<int>{1, 7, 0x62, 12, 1, 0}));
}

TEST_F(GpibSession, WritesEndWithEoiUnlessSendEndIsOffReadsAtEoiOrTheEnabledTerminationCharacter)
{
    open("GPIB::5::INSTR");
    EXPECT_EQ(viPrintf(io, "SYST:REM"), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "VOLT %lf", 120.0), VI_SUCCESS);
    ASSERT_EQ(viSetBuf(io, VI_WRITE_BUF, 4), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "ABCDEF"), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "*CLS"), VI_SUCCESS);
    EXPECT_EQ(bus.writes, (std::vector<Write>{{"SYST:REM", true}, {"VOLT 120.000000", true}, {"ABCD", false},
                                              {"EF", true}, {"*CLS", false}}));

    bus.answers.push_back({"+1.20000E+02", true});
    ViReal64 value = 0;
    EXPECT_EQ(viScanf(io, "%lf", &value), VI_SUCCESS);
    EXPECT_EQ(value, 120.0);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(bus.eosMode, 0x1400 | '\n');
    bus.answers.push_back({"1\n2\n", true});
    char buffer[16];
    ViUInt32 count = 0;
    EXPECT_EQ(viRead(io, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count), VI_SUCCESS);
    EXPECT_EQ(std::string(buffer, count), "1\n");
}

TEST_F(GpibSession, BusErrorsBecomeVisaCodes)
{
    open("GPIB::5::INSTR");
    bus.failWrite = 2; // ENOL
    EXPECT_EQ(viPrintf(io, "*CLS"), VI_ERROR_NLISTENERS);
    ViInt32 value = 4;
    EXPECT_EQ(viScanf(io, "%ld", &value), VI_ERROR_TMO); // nothing to read: the bus times out
    EXPECT_EQ(value, 4);
    EXPECT_EQ(viClear(io), VI_SUCCESS);
    EXPECT_EQ(bus.clears, 1);

    // An answer that comes after its read timed out is cleared from the instrument before the next
    // query, which gets its own answer.
    EXPECT_EQ(viScanf(io, "%ld", &value), VI_ERROR_TMO);
    bus.answers.push_back({"50", true});
    EXPECT_EQ(viPrintf(io, "VOLT?"), VI_SUCCESS);
    EXPECT_EQ(bus.clears, 2);
    bus.answers.push_back({"120", true});
    EXPECT_EQ(viScanf(io, "%ld", &value), VI_SUCCESS);
    EXPECT_EQ(value, 120);

    bus.failOpen = 7; // ENEB
    ViSession other = VI_NULL;
    EXPECT_EQ(viOpen(rm, "GPIB3::5::INSTR", VI_NULL, 5000, &other), VI_ERROR_INTF_NUM_NCONFIG);
    EXPECT_EQ(other, VI_NULL);
}
