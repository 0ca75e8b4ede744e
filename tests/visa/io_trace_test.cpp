// QX_IO_TRACE: every write and read of every session, one line each. The variable is read at the
// first I/O, so this program sets it before any.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>

#include <unistd.h>

#include "session_fixture.h"

using namespace qx::visa;

namespace {

const std::string tracePath = "/tmp/qx_io_trace_test_" + std::to_string(::getpid()) + ".log";
const bool traceOn = ::setenv("QX_IO_TRACE", tracePath.c_str(), 1) == 0;

} // namespace

using qx::visa::test::SessionTest;

TEST_F(SessionTest, TraceLogsEachTransferWithTimeResourceDirectionAndEscapedBytes)
{
    ASSERT_TRUE(traceOn);
    open("ASRL1::INSTR");
    const ViSession serial = io;
    device->queue("120.0\r\n");
    open("GPIB::5::INSTR");
    EXPECT_EQ(viPrintf(serial, "VOLT %lf\n", 120.0), VI_SUCCESS);
    ViReal64 value = 0;
    EXPECT_EQ(viScanf(serial, "%lf", &value), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "*IDN?"), VI_SUCCESS);
    EXPECT_EQ(read().first, VI_ERROR_TMO);

    std::ifstream in(tracePath);
    const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(tracePath.c_str());
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} )";
    EXPECT_TRUE(std::regex_match(trace, std::regex(stamp + R"(ASRL1::INSTR write "VOLT 120\.000000\\n"\n)" +
                                                   stamp + R"(ASRL1::INSTR read "120\.0\\r\\n" END\n)" +
                                                   stamp + R"(GPIB0::5::INSTR write "\*IDN\?" END\n)" +
                                                   stamp + R"(GPIB0::5::INSTR read "" status 0xBFFF0015\n)")))
        << trace;
}
