#include "sim/error_queue.h"
#include "sim_test_support.h"

namespace qx::sim::testing {

// Sixteen places: the oldest fifteen errors stay, the last place marks the overflow.
TEST(ErrorQueue, KeepsTheOldestMarksTheOverflowLastSystErrReadsItClsEmptiesItStatusRegistersFollow)
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

    // SYST:ERR? reads it in order, *CLS empties it, and the status registers follow it.
    SimHarness h;
    h.expectAnswers({{"*ESR?", "128"}, {"*ESR?", "0"}, // power on; reading clears it
                    {"BOGUS", ""}, {"*STB?", "4"},    // error queue not empty
                    {"*ESE 32;*SRE 32", ""}, {"*STB?", "100"}, // + event summary + master summary
                    {"*ESR?", "32"}, {"VOLT 1000", ""}, {"*ESR?", "16"}, // command, then execution error
                    {"SYST:ERR:COUN?", "2"}, {"SYST:ERR?", "-113,\"Undefined header\""},
                    {":SYST:ERR:NEXT?", "-222,\"Data out of range\""}, {"SYST:ERR?", "0,\"No error\""}});
    h.expectAnswers({{"BOGUS", ""}, {"SYST:ERR:COUN?", "1"}, {"*CLS", ""},
                    {"SYST:ERR?;*STB?", "0,\"No error\";0"}, {"*ESE?;*SRE?;*OPC?;*TST?", "32;32;1;0"}});
}

} // namespace qx::sim::testing
