#include "sim/error_queue.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

namespace qx::sim {
namespace {

using testing::SimHarness;

// Sixteen places: the oldest fifteen errors stay, the last place marks the overflow.
TEST(ErrorQueue, KeepsTheOldestMarksTheOverflowInTheLastPlaceAndFormatsTexts)
{
    ErrorQueue q;
    for (int i = 1; i <= 20; ++i)
        q.push(-100 - i);
    ASSERT_EQ(q.size(), 16u);
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ(q.pop().code, -100 - i);
    const ErrorEntry last = q.pop(), none = q.pop();
    EXPECT_EQ(std::pair(last.code, last.text), std::pair(-350, std::string("Queue overflow")));
    EXPECT_EQ(std::pair(none.code, none.text), std::pair(0, std::string("No error")));
    EXPECT_EQ(formatError({301, "say \"hi\""}), "301,\"say \"\"hi\"\"\""); // quotes in a text are doubled
    EXPECT_EQ(errorText(321), "Device-specific error");
}

TEST(ErrorQueue, SystErrReadsInOrderClsEmptiesItAndTheStatusRegistersFollowIt)
{
    SimHarness h;
    EXPECT_EQ(h.ask("*ESR?"), "128"); // power on
    EXPECT_EQ(h.ask("*ESR?"), "0");   // read clears it
    h.ask("BOGUS");
    EXPECT_EQ(h.ask("*STB?"), "4"); // error queue not empty
    h.ask("*ESE 32;*SRE 32");
    EXPECT_EQ(h.ask("*STB?"), "100"); // + event summary + master summary
    EXPECT_EQ(h.ask("*ESR?"), "32");  // command error
    h.ask("VOLT 1000");
    EXPECT_EQ(h.ask("*ESR?"), "16"); // execution error
    EXPECT_EQ(h.ask("SYST:ERR:COUN?"), "2");
    EXPECT_EQ(h.ask("SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(h.ask(":SYST:ERR:NEXT?"), "-222,\"Data out of range\"");
    EXPECT_EQ(h.ask("SYST:ERR?"), "0,\"No error\"");
    for (int i = 0; i < 20; ++i)
        h.ask("BOGUS");
    EXPECT_EQ(h.ask("SYST:ERR:COUN?"), "16");
    h.ask("*CLS");
    EXPECT_EQ(h.ask("SYST:ERR?;*STB?"), "0,\"No error\";0");
    EXPECT_EQ(h.ask("*ESE?;*SRE?;*OPC?;*TST?"), "32;32;1;0");
}

} // namespace
} // namespace qx::sim
