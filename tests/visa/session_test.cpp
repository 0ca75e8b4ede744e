// Sessions, attributes and raw I/O over in-process instruments.
#include "session_fixture.h"

#include <thread>

using namespace qx::visa;
using qx::visa::test::SessionTest;
using qx::visa::test::attribute;
using qx::visa::test::result;
using Write = qx::test::ScriptedDevice::Write;
using Read = qx::visa::test::Result;

const auto u16 = attribute<ViUInt16>;
const auto u32 = attribute<ViUInt32>;

TEST_F(SessionTest, StaleForeignAndNullArgumentsAreRefusedWithoutIoAndHandlesAreNeverReused)
{
    open("GPIB0::3::INSTR", false);
    const ViSession first = io;
    EXPECT_EQ(viClose(first), VI_SUCCESS);
    ViSession second = VI_NULL;
    ASSERT_EQ(viOpen(rm, "GPIB::3::INSTR", VI_NULL, 5000, &second), VI_SUCCESS);
    EXPECT_NE(first, second);

    for (const ViStatus status : {viClose(first), write("x"), viPrintf(first, "*CLS"),
                                  viSetAttribute(first, VI_ATTR_TMO_VALUE, 100), viClear(0xFFFFFF),
                                  viSetBuf(rm, VI_READ_BUF, 10) /* a resource manager is no instrument */})
        EXPECT_EQ(status, VI_ERROR_INV_OBJECT);
    EXPECT_EQ(read(1), Read(VI_ERROR_INV_OBJECT, ""));
    EXPECT_EQ(scan<ViInt32>("%ld", 5), result(VI_ERROR_INV_OBJECT, 5));
    EXPECT_EQ(viClose(VI_NULL), VI_WARN_NULL_OBJECT);
    EXPECT_EQ(viOpenDefaultRM(nullptr), VI_ERROR_INV_PARAMETER);

    io = second;
    for (const ViStatus status : {viRead(io, nullptr, 10, nullptr), viWrite(io, nullptr, 10, nullptr),
                                  viGetAttribute(io, VI_ATTR_TMO_VALUE, nullptr),
                                  viStatusDesc(io, VI_SUCCESS, nullptr), viPrintf(io, RuntimeFormat{nullptr}),
                                  viPrintf(io, "%s", static_cast<const char *>(nullptr)),
                                  viScanf(io, "%ld", static_cast<ViInt32 *>(nullptr)),
                                  viScanf(io, "%256[^\n]", static_cast<ViChar *>(nullptr))})
        EXPECT_EQ(status, VI_ERROR_USER_BUF);
    EXPECT_TRUE(device->writes().empty());
    EXPECT_EQ(device->reads(), 0);

    // Closing the resource manager closes what was opened through it.
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
    EXPECT_EQ(viPrintf(second, "*CLS"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viOpen(rm, "GPIB::3::INSTR", VI_NULL, 5000, &second), VI_ERROR_INV_OBJECT);
}

// (The driver's settings: taken on a pty in its end-to-end tests, read back in the front panel's.)
TEST_F(SessionTest, SerialReadsEndAtTheLineFeedWritesGetATerminatorOnlyWhenAskedBadValuesAreRefused)
{
    open("ASRL1::INSTR", false);
    device->queue("120.0\n50.0\n"); // no END: the line feed ends each read
    EXPECT_EQ(read(), Read(VI_SUCCESS, "120.0\n"));
    EXPECT_EQ(read(), Read(VI_SUCCESS, "50.0\n"));
    // END_IN NONE: only the count ends a read.
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_ASRL_END_IN, VI_ASRL_END_NONE), VI_SUCCESS);
    device->queue("1\n234");
    EXPECT_EQ(read(5), Read(VI_SUCCESS_MAX_CNT, "1\n234"));
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS); // then it stops there too
    device->queue("5\n6");
    EXPECT_EQ(read(), Read(VI_SUCCESS_TERM_CHAR, "5\n"));

    EXPECT_EQ(write("A"), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_ASRL_END_OUT, VI_ASRL_END_TERMCHAR), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TERMCHAR, '\r'), VI_SUCCESS);
    EXPECT_EQ(write("B"), VI_SUCCESS);
    EXPECT_EQ(device->writes(), (std::vector<Write>{{"A", false}, {"B\r", false}})); // a serial line has no END

    const std::pair<ViAttr, ViAttrState> badValues[] = {
        {VI_ATTR_ASRL_DATA_BITS, 9},        {VI_ATTR_ASRL_DATA_BITS, 4},   {VI_ATTR_ASRL_PARITY, 5},
        {VI_ATTR_ASRL_STOP_BITS, 15},       {VI_ATTR_ASRL_FLOW_CNTRL, 4},  {VI_ATTR_ASRL_BAUD, 0},
        {VI_ATTR_ASRL_END_IN, VI_ASRL_END_BREAK}, {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL},
        {VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_DISABLE}, {VI_ATTR_TERMCHAR, 256}, {VI_ATTR_TERMCHAR_EN, 2},
        {VI_ATTR_TMO_VALUE, 0x100000000ULL},
    };
    for (const auto &[attr, value] : badValues)
        EXPECT_EQ(viSetAttribute(io, attr, value), VI_ERROR_NSUP_ATTR_STATE) << std::hex << attr << " " << value;
    EXPECT_EQ(u16(io, VI_ATTR_ASRL_DATA_BITS), 8);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_INTF_TYPE, VI_INTF_GPIB), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(viSetAttribute(io, 0x3FFF0FFF, 1), VI_ERROR_NSUP_ATTR);
    ViUInt16 address = 0;
    EXPECT_EQ(viGetAttribute(io, VI_ATTR_GPIB_PRIMARY_ADDR, &address), VI_ERROR_NSUP_ATTR);

    // A status code has its standard text, or is named unknown.
    ViChar text[256] = "unset";
    EXPECT_EQ(viStatusDesc(VI_NULL, VI_ERROR_TMO, text), VI_SUCCESS);
    EXPECT_STREQ(text, "Timeout expired before operation completed.");
    EXPECT_EQ(viStatusDesc(VI_NULL, static_cast<ViStatus>(0xBFFA4001), text), VI_WARN_UNKNOWN_STATUS);
    EXPECT_STREQ(text, "Unknown status value 0xBFFA4001");
}

TEST_F(SessionTest, BufferMasksAreCheckedClearDropsBuffersSilenceTimesOutALateAnswerIsDroppedALostLineFails)
{
    open("GPIB::11::INSTR", false);
    for (const ViStatus status : {viSetBuf(io, 0, 4000), viSetBuf(io, 0x80, 4000), viFlush(io, 0),
                                  viFlush(io, VI_READ_BUF | VI_READ_BUF_DISCARD)})
        EXPECT_EQ(status, VI_ERROR_INV_MASK);
    EXPECT_EQ(viSetBuf(io, VI_READ_BUF, 0), VI_ERROR_ALLOC);
    EXPECT_EQ(viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, 4000), VI_SUCCESS);
    EXPECT_EQ(u32(io, VI_ATTR_RD_BUF_SIZE), 4000u);
    EXPECT_EQ(u32(io, VI_ATTR_WR_BUF_SIZE), 4000u);
    EXPECT_EQ(viSetBuf(io, VI_IO_IN_BUF, 4000), VI_WARN_NSUP_BUF);

    ASSERT_EQ(viPrintf(io, "VOLT %lf", 1.0), VI_SUCCESS); // held: the write buffer flushes when full
    EXPECT_TRUE(device->writes().empty());
    device->queue("1,2", true);
    ASSERT_EQ(scan<ViInt32>("%ld"), result(VI_SUCCESS, 1)); // ",2" stays in the read buffer
    EXPECT_EQ(viClear(io), VI_SUCCESS);
    EXPECT_EQ(device->clears(), 1);
    EXPECT_EQ(viFlush(io, VI_WRITE_BUF), VI_SUCCESS);
    EXPECT_TRUE(device->writes().empty());
    device->queue("7", true);
    EXPECT_EQ(scan<ViInt32>("%ld"), result(VI_SUCCESS, 7));

    // A silent instrument times out on the clock, a late answer is dropped, a lost line fails at once.
    open("ASRL1::INSTR");
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS);
    device->queue("12"); // then silence: the line feed never comes
    EXPECT_EQ(read(16), Read(VI_ERROR_TMO, "12"));
    EXPECT_DOUBLE_EQ(clock.now(), 10.0);

    ASSERT_EQ(viPrintf(io, "FREQ?\n"), VI_SUCCESS);
    EXPECT_EQ(scan<ViReal64>("%lf\n", -1), result(VI_ERROR_TMO, -1.0));
    device->queue("50\n"); // the late answer never answers a later query
    for (const char *answer : {"120\n", "230\n"}) {
        ASSERT_EQ(viPrintf(io, "VOLT?\n"), VI_SUCCESS);
        device->queue(answer);
        EXPECT_EQ(scan<ViReal64>("%lf\n"), result(VI_SUCCESS, std::stod(answer)));
    }
    EXPECT_EQ(device->pendingAnswers(), 0u);

    device->closeLine();
    EXPECT_EQ(viPrintf(io, "*CLS\n"), VI_ERROR_CONN_LOST);
    EXPECT_EQ(scan<ViReal64>("%lf\n", -1), result(VI_ERROR_CONN_LOST, -1.0));
    EXPECT_EQ(timeline.events(), (std::vector<std::string>{"timeout 10", "timeout 10"}));
    EXPECT_DOUBLE_EQ(clock.now(), 20.0);
}

TEST_F(SessionTest, CallsFromSeveralThreadsDoNotInterleaveOnOneSession)
{
    open("GPIB::13::INSTR");
    constexpr int perThread = 200;
    auto sender = [&](const char *text) {
        for (int i = 0; i < perThread; ++i)
            EXPECT_EQ(viPrintf(io, "%s %d", text, i), VI_SUCCESS);
    };
    std::thread a(sender, "AAAAAAAA");
    std::thread b(sender, "BBBBBBBB");
    a.join();
    b.join();
    int next[2] = {0, 0}; // each thread's messages arrive whole and in its order
    for (const Write &w : device->writes()) {
        const int who = w.bytes[0] == 'B';
        EXPECT_EQ(w, (Write{std::string(8, "AB"[who]) + ' ' + std::to_string(next[who]++), true}));
    }
    EXPECT_EQ(next[0] + next[1], 2 * perThread);
}

