#include "sim_test_support.h"

#include <tuple>

namespace qx::sim::testing {

TEST(Ranges, LowIsHalfTheLimitAndBoundsVoltageAndCurrentAndDisplayModesTheLimitsAreConfigured)
{
    SimHarness h;
    h.expectAnswers({{"VOLT:RANG 150;RANG?", "150"}, {"VOLT 150;:CURR 9.2;:VOLT?;:CURR?", "150;9.2"}});
    EXPECT_EQ(h.errors({"VOLT 150.01"}), Codes{-222});
    // The high range halves the current limit: 9.2 A comes down to 4.6 A.
    h.expectAnswers({{"VOLT:RANG 300", ""}, {"VOLT:RANG?;:VOLT?;:CURR?", "300;150;4.6"}});
    EXPECT_EQ(h.errors({"VOLT 300;:CURR 4.61;:VOLT:RANG 300.1;RANG -1"}), (Codes{-222, -222, -222}));
    // Any value up to half the limit picks the low range.
    h.expectAnswers({{"VOLT:RANG 100", ""}, {"VOLT:RANG?;:VOLT?", "150;150"}, {"VOLT:RANG? MIN;RANG? MAX", "150;300"}});
    EXPECT_EQ(h.errors({"DISP:MODE 5;MODE 6;MODE -1"}), (Codes{-222, -222})); // display modes 0 to 5
    EXPECT_EQ(h.ask("DISP:MODE?"), "5");

    Config c = configWith([](Config &l) { l.limits = Limits{250.0, 12.0, 45.0, 65.0}; });
    SimHarness limited(c);
    limited.expectAnswers({{"LIM:VOLT?;CURR?;FREQ:LOW?;HIGH?", "250;12;45;65"}, {"FREQ?;CURR?", "50;6"},
                          {"VOLT:RANG 125;RANG?", "125"}});
    EXPECT_EQ(limited.errors({"FREQ 45;FREQ 65"}), Codes{});
    EXPECT_EQ(limited.errors({"FREQ 44.99;FREQ 65.01"}), (Codes{-222, -222}));
    EXPECT_EQ(limited.ask("FREQ?"), "65");

    c.limits.frequencyLow = 600.0; // above the high limit: the defaults stand in
    EXPECT_FALSE(validateConfig(c).empty());
    EXPECT_EQ(SimHarness(c).ask("LIM:FREQ:LOW?;:LIM:VOLT?"), "16;300");
}

TEST(Registers, SaveAndRecallKeepTheSettingsResetKeepsQueueSerialAndRemotePowerOnLoadsTheRegister)
{
    SimHarness h;
    h.expectAnswers({{"VOLT 100;FREQ 60;OUTP 1;DISP:MODE 2", ""},
                    {"INST:NSEL 2;:VOLT 80;:OUTP:STAR:STAT 1;PHAS 270;*SAV 3;*RST", ""},
                    {"VOLT?;FREQ?;OUTP?;DISP:MODE?;:INST:COUP?", "0;50;0;0;1"}, {"*RCL 3", ""},
                    {"FREQ?;OUTP?;DISP:MODE?;:INST:COUP?;NSEL?", "60;1;2;0;2"},
                    {"VOLT?;:OUTP:STAR?;:OUTP:STAR:PHAS?", "80;1;270"}, {"INST:NSEL 1;:VOLT?", "100"}});
    EXPECT_EQ(h.errors({"*SAV 10;*RCL -1;SYST:PON 10"}), (Codes{-222, -222, -222}));
    EXPECT_EQ(h.sim.snapshot().registers[3].phases[1].voltage, 80.0);

    // *RST keeps the error queue, the serial number and remote; a power cycle loads the power-on
    // register and starts afresh (local, no errors, power-on event).
    h.expectAnswers({{"SYST:REM;SNUM 'X9';:VOLT 50", ""}, {"BOGUS", ""}, {"*RST", ""},
                    {"VOLT?;*IDN?", "0;ZE,7103QX,X9,1.02"}});
    EXPECT_TRUE(h.sim.snapshot().remote);
    EXPECT_EQ(h.errors({}), Codes{-113});
    h.ask("SYST:LOC");
    EXPECT_FALSE(h.sim.snapshot().remote);

    h.expectAnswers({{"SYST:REM;:VOLT 120;OUTP 1;*SAV 7;SYST:PON 7", ""}, {"*RST;BOGUS", ""}, {"SYST:PON?", "7"}});
    h.sim.powerCycle();
    const Snapshot s = h.sim.snapshot();
    EXPECT_EQ(std::tuple(s.remote, s.errors.empty(), s.settings.output, s.settings.phases[0].voltage),
              std::tuple(false, true, true, 120.0));
    EXPECT_EQ(h.ask("*ESR?"), "128");
}

TEST(Phases, SelectionAddressesOnePhaseCouplingAllAndTheSinglePhaseModelOnlyOne)
{
    SimHarness h;
    h.ask("VOLT 10"); // coupled after reset
    h.ask("INST:NSEL 2;:VOLT 50;CURR 1");
    const auto phases = [&] {
        const Snapshot s = h.sim.snapshot();
        const auto &p = s.settings.phases;
        return std::vector{p[0].voltage, p[1].voltage, p[1].currentLimit, p[2].voltage};
    };
    EXPECT_EQ(phases(), (std::vector{10.0, 50.0, 1.0, 10.0}));
    EXPECT_EQ(h.ask("INST:COUP?;NSEL?"), "0;2");
    h.ask("INST:COUP 1;:VOLT 70");
    EXPECT_EQ(phases(), (std::vector{70.0, 70.0, 1.0, 70.0}));
    EXPECT_EQ(h.errors({"INST:NSEL 4;NSEL 0"}), (Codes{-222, -222}));

    SimHarness single(configWith([](Config &c) { c.model = Model::QX7101; })); // phase 1 only
    EXPECT_EQ(single.ask("*IDN?"), "ZE,7101QX,SN000123,1.02");
    EXPECT_EQ(single.errors({"INST:COUP 0;NSEL 1;:VOLT 33"}), Codes{});
    EXPECT_EQ(single.errors({"INST:NSEL 2"}), Codes{-222});
    EXPECT_EQ(single.ask("VOLT?"), "33");
    EXPECT_EQ(single.sim.snapshot().settings.phases[1].voltage, 0.0);
}

} // namespace qx::sim::testing
