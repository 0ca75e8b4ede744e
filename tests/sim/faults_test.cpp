#include "sim/faults.h"
#include "sim_test_support.h"

namespace qx::sim::testing {

TEST(Faults, SilentAnswersNothingButObeysFromTheArmingMessageOnErrorAfterACommandInvalidOnesChangeNothing)
{
    SimHarness h;
    const auto idn = [&] { return h.sim.receive("*IDN?\n").bytes; };
    ASSERT_TRUE(h.sim.setFaults(Faults{.silent = true}));
    EXPECT_EQ(idn() + h.sim.receive("VOLT 10\n").bytes, "");
    EXPECT_EQ(h.sim.snapshot().settings.phases[0].voltage, 10.0);
    ASSERT_TRUE(h.sim.setFaults({}));
    EXPECT_EQ(idn(), kIdn);
    // Armed after the given number of messages; setting faults again starts the count again.
    ASSERT_TRUE(h.sim.setFaults(Faults{.silent = true, .armAfter = 2}));
    EXPECT_EQ(idn() + idn() + idn(), kIdn + kIdn);
    ASSERT_TRUE(h.sim.setFaults(Faults{.silent = true, .armAfter = 1}));
    EXPECT_EQ(idn() + idn(), kIdn);

    // An error after a command in any of its forms; invalid faults change nothing.
    ASSERT_TRUE(h.sim.setFaults(Faults{.errorAfter = ErrorAfterFault{"VOLT", -222, {}}}));
    // The query is another command; VOLT 999 failed, so it did not run.
    EXPECT_EQ(h.errors({"VOLT 10", "volt:lev 20", "VOLT?", "VOLT 999"}), (Codes{-222, -222, -222}));
    ASSERT_TRUE(h.sim.setFaults(Faults{.errorAfter = ErrorAfterFault{"*IDN?", 301, "Over temperature"}}));
    h.expectAnswers({{"*IDN?", "ZE,7103QX,SN000123,1.02"}, {"SYST:ERR?", "301,\"Over temperature\""},
                    {"SYST:ERR?", "0,\"No error\""}});

    ASSERT_TRUE(h.sim.setFaults(Faults{.garbage = true}));
    EXPECT_FALSE(h.sim.setFaults(Faults{.errorAfter = ErrorAfterFault{"BOGUS", -222, {}}}));
    EXPECT_FALSE(h.sim.setFaults(Faults{.slowSeconds = -1.0}));
    EXPECT_TRUE(h.sim.faults().garbage);
}

TEST(Faults, TheTranscriptLogsTimeDirectionAndEscapedTextGarbageOversizeSlowAnswersAndAClose)
{
    // The transcript: one line per message, with the time, the direction and the escaped text.
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

    ASSERT_TRUE(h.sim.setFaults(Faults{.garbage = true}));
    EXPECT_EQ(h.sim.receive("LIM:VOLT?\n").bytes, std::string(kGarbageAnswer) + "\n");
    EXPECT_EQ(h.sim.receive("VOLT 1\n").bytes, ""); // settings have nothing to spoil

    ASSERT_TRUE(h.sim.setFaults(Faults{.oversize = 5000}));
    const std::string big = h.sim.receive("*IDN?\n").bytes;
    ASSERT_EQ(big.size(), 5000u);
    EXPECT_TRUE(big.starts_with(kIdn.substr(0, kIdn.size() - 1)));
    EXPECT_EQ(big.find('\n'), 4999u); // one message, terminated only at its very end

    ASSERT_TRUE(h.sim.setFaults(Faults{.slowSeconds = 1.5}));
    const Delivery d = h.sim.receive("*IDN?\n");
    EXPECT_EQ(std::pair(d.bytes, d.delay), std::pair(kIdn, 1.5));
    EXPECT_EQ(h.sim.transcript().back(), "103.250 > ZE,7103QX,SN000123,1.02\\n"); // logged when it goes out
    EXPECT_EQ(h.sim.receive("VOLT 1\n").delay, 0.0);

    // A close fires once, after the nth message counted from arming, and its answer still goes out.
    ASSERT_TRUE(h.sim.setFaults(Faults{.closeAfter = 3}));
    std::vector<Delivery> sent;
    for (const char *message : {"VOLT 1\n", "VOLT 2\n", "*IDN?\n", "VOLT 4\n"})
        sent.push_back(h.sim.receive(message));
    EXPECT_EQ((std::vector{sent[0].close, sent[1].close, sent[2].close, sent[3].close}),
              (std::vector{false, false, true, false}));
    EXPECT_EQ(sent[2].bytes, kIdn);
}

} // namespace qx::sim::testing
