#include "sim_test_support.h"
#include "sim/transcript.h"

namespace qx::sim::testing {

TEST(Transcript, OneLinePerMessageWithTimeDirectionAndEscapedText)
{
    SimHarness h;
    h.advance(0.5);
    h.sim.receive("*IDN?\n");
    h.advance(1.25);
    h.sim.receive("VOLT 1\r\n");
    h.sim.receive("SYST:SNUM 'a\x01'"); // GPIB message: no terminator
    h.advance(100.0004);
    h.sim.receive("LIM:VOLT?\n");
    EXPECT_EQ(h.sim.transcript(),
              (std::vector<std::string>{"0.500 < *IDN?\\n", "0.500 > ZE,7103QX,SN000123,1.02\\n", "1.750 < VOLT 1\\r\\n",
                                        "1.750 < SYST:SNUM 'a\\x01'", "101.750 < LIM:VOLT?\\n", "101.750 > 300\\n"}));
}

} // namespace qx::sim::testing
