// GPIB sessions through the loader, against a fake libgpib that records the bus.
#include <cstdlib>

#include "fake_gpib.h"
#include "session_fixture.h"
#include "visa/gpib_library.h"

using namespace qx::visa;
using test::result;
using Read = test::Result;
using fake_gpib::Write;

namespace {

// Before anything loads the GPIB library.
const bool fakeLibrary = ::setenv("QX_GPIB_LIBRARY", QX_FAKE_GPIB_PATH, 1) == 0;

// Sessions open on the fake bus (a fresh one each time), not on an attached device.
class GpibBus : public test::SessionTest {
protected:
    bool plugIn(const std::string &, std::shared_ptr<qx::test::ScriptedDevice>) override
    {
        bus = fake_gpib::Bus{};
        return fakeLibrary;
    }
    fake_gpib::Bus &bus = fake_gpib::bus();
};

} // namespace

TEST_F(GpibBus, OpensAtTheAddressWritesEndWithEoiReadsAtEoiCountOrTermCharBusErrorsAreVisaCodes)
{
    // A session opens the device at its address and time-out, and knows its address.
    ASSERT_NE(GpibLibrary::shared(), nullptr);
    open("GPIB::5::INSTR", false);
    EXPECT_EQ(bus.ibdev, (std::vector<int>{0, 5, 0, 12, 1, 0})); // T3s for the default 2000 ms
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 5000), VI_SUCCESS);
    EXPECT_EQ(bus.timeoutCode, 13); // T10s for 5000 ms
    const auto u16 = [&](ViAttr attr) { return test::attribute<ViUInt16>(io, attr); };
    EXPECT_EQ(u16(VI_ATTR_GPIB_PRIMARY_ADDR), 5);
    EXPECT_EQ(u16(VI_ATTR_GPIB_SECONDARY_ADDR), VI_NO_SEC_ADDR);
    EXPECT_EQ(u16(VI_ATTR_INTF_TYPE), VI_INTF_GPIB);
    EXPECT_EQ(u16(VI_ATTR_INTF_NUM), 0);
    EXPECT_EQ(test::textAttribute(io, VI_ATTR_RSRC_NAME), "GPIB0::5::INSTR");
    EXPECT_EQ(test::textAttribute(io, VI_ATTR_RSRC_CLASS), "INSTR");
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_ASRL_BAUD, 9600), VI_ERROR_NSUP_ATTR);
    ViUInt32 baud = 0;
    EXPECT_EQ(viGetAttribute(io, VI_ATTR_ASRL_BAUD, &baud), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viClose(io), VI_SUCCESS);
    EXPECT_FALSE(bus.online);

    open("GPIB1::7::2::INSTR", false);
    EXPECT_EQ(bus.ibdev, (std::vector<int>{1, 7, 0x62, 12, 1, 0}));
    EXPECT_EQ(u16(VI_ATTR_GPIB_SECONDARY_ADDR), 2);

    open("GPIB::8::INSTR");
    EXPECT_EQ(viPrintf(io, "VOLT %lf", 120.0), VI_SUCCESS);
    EXPECT_EQ(write("*IDN?\r\n"), VI_SUCCESS);
    ASSERT_EQ(viSetBuf(io, VI_WRITE_BUF, 4), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "ABCDEF"), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "*CLS"), VI_SUCCESS);
    EXPECT_EQ(write("A"), VI_SUCCESS);
    EXPECT_EQ(bus.writes, (std::vector<Write>{{"VOLT 120.000000", true}, {"*IDN?\r\n", true}, {"ABCD", false},
                                          {"EF", true}, {"*CLS", false}, {"A", false}}));

    bus.answers.emplace_back("ZE,7101QX,123,1.0\n", true);
    bus.answers.emplace_back("ABCDEF", true);
    EXPECT_EQ(read(), Read(VI_SUCCESS, "ZE,7101QX,123,1.0\n"));
    EXPECT_EQ(read(4), Read(VI_SUCCESS_MAX_CNT, "ABCD"));
    EXPECT_EQ(read(4), Read(VI_SUCCESS, "EF"));
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(bus.eosMode, 0x1400 | '\n');
    bus.answers.emplace_back("1\n2\n", true);
    EXPECT_EQ(read().second, "1\n");
    EXPECT_EQ(read(), Read(VI_SUCCESS, "2\n"));

    // Bus errors become VISA codes.
    open("GPIB::5::INSTR");
    bus.failWrite = 2; // ENOL
    EXPECT_EQ(viPrintf(io, "*CLS"), VI_ERROR_NLISTENERS);
    EXPECT_EQ(scan<ViInt32>("%ld", 4), result(VI_ERROR_TMO, 4)); // nothing to read: the bus times out
    EXPECT_EQ(viClear(io), VI_SUCCESS);
    EXPECT_EQ(bus.clears, 1);

    // The answer that comes after its read timed out is cleared from the instrument before the
    // next query, which gets its own answer.
    EXPECT_EQ(scan<ViInt32>("%ld").first, VI_ERROR_TMO);
    bus.answers.emplace_back("50", true);
    EXPECT_EQ(viPrintf(io, "VOLT?"), VI_SUCCESS);
    EXPECT_EQ(bus.clears, 2);
    bus.answers.emplace_back("120", true);
    EXPECT_EQ(scan<ViInt32>("%ld"), result(VI_SUCCESS, 120));

    bus.failOpen = 7; // ENEB
    ViSession other = VI_NULL;
    EXPECT_EQ(viOpen(rm, "GPIB3::5::INSTR", VI_NULL, 5000, &other), VI_ERROR_INTF_NUM_NCONFIG);
    EXPECT_EQ(other, VI_NULL);
}
