// QX_IO_TRACE: every write and read of every session, one line each. The variable is read at the
// first I/O, so this program sets it before any.
#include <cstdlib>
#include <fstream>
#include <regex>

#include <unistd.h>

#include "queued_device.h"

using namespace qx::visa;

namespace {

std::string tracePath()
{
    static const std::string path = "/tmp/qx_io_trace_test_" + std::to_string(::getpid()) + ".log";
    return path;
}

const bool traceOn = ::setenv("QX_IO_TRACE", tracePath().c_str(), 1) == 0;

} // namespace

TEST(IoTrace, LogsEachTransferWithTimeResourceDirectionAndEscapedBytes)
{
    ASSERT_TRUE(traceOn);
    qx::runtime::VirtualClock clock;
    qx::runtime::ScopedClock guard(clock);
    auto serial = std::make_shared<test::QueuedDevice>();
    auto gpib = std::make_shared<test::QueuedDevice>();
    ASSERT_TRUE(attachDevice("ASRL1::INSTR", serial));
    ASSERT_TRUE(attachDevice("GPIB0::5::INSTR", gpib));
    ViSession rm = VI_NULL;
    ViSession com = VI_NULL;
    ViSession bus = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "ASRL1::INSTR", VI_NULL, 5000, &com), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "GPIB::5::INSTR", VI_NULL, 5000, &bus), VI_SUCCESS);

    EXPECT_EQ(viPrintf(com, "VOLT %lf\n", 120.0), VI_SUCCESS);
    serial->answer("120.0\r\n");
    ViReal64 value = 0;
    EXPECT_EQ(viScanf(com, "%lf", &value), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(bus, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
    EXPECT_EQ(viPrintf(bus, "*IDN?"), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(bus, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    char buffer[8];
    ViUInt32 count = 0;
    EXPECT_EQ(viRead(bus, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count), VI_ERROR_TMO);
    viClose(rm);
    detachDevice("ASRL1::INSTR");
    detachDevice("GPIB0::5::INSTR");

    std::vector<std::string> trace;
    std::ifstream in(tracePath());
    for (std::string line; std::getline(in, line);)
        trace.push_back(line);
    std::remove(tracePath().c_str());
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} )";
    const std::vector<std::string> expected = {
        stamp + R"(ASRL1::INSTR write "VOLT 120\.000000\\n")",
        stamp + R"(ASRL1::INSTR read "120\.0\\r\\n" END)",
        stamp + R"(GPIB0::5::INSTR write "\*IDN\?" END)",
        stamp + R"(GPIB0::5::INSTR read "" status 0xBFFF0015)",
    };
    ASSERT_EQ(trace.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(std::regex_match(trace[i], std::regex(expected[i]))) << trace[i];
}
