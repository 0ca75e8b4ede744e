#include "sim/load_model.h"
#include "sim_test_support.h"

#include <array>
#include <cmath>
#include <tuple>

namespace qx::sim::testing {

// Current = V / |Z| up to the limit, where the voltage sags to I * |Z|; nothing flows into an open
// circuit or at 0 V. Phases read together: mean volts and amps, summed powers.
TEST(Measurements, TheLoadModelGivesEveryQuantityPerPhaseAndCoupledWithTheRelayClosedZeroWithItOpen)
{
    const double skip = std::nan("");
    const PhaseMeasurement phases[] = {measurePhase(100.0, 9.0, Load{100.0, 1.0}),
                                       measurePhase(100.0, 9.0, Load{25.0, 0.5}), // |Z| = 50 ohms
                                       measurePhase(100.0, 9.0, openCircuit())};
    const struct {
        const char *label;
        PhaseMeasurement m;
        // voltage, current, real power, apparent power, power factor, crest factor, peak current
        std::array<double, 7> expected;
    } cases[] = {
        {"resistive", measurePhase(120.0, 4.6, Load{100.0, 1.0}), {120, 1.2, 144, 144, 1, skip, 1.2 * std::sqrt(2.0)}},
        {"|Z| = 125 ohms", measurePhase(120.0, 4.6, Load{100.0, 0.8}), {skip, 0.96, 92.16, 115.2, 0.8, skip, skip}},
        {"limited", measurePhase(120.0, 0.5, Load{100.0, 1.0, 3.0}), {50, 0.5, skip, skip, skip, 3, 1.5}},
        {"open circuit", measurePhase(120.0, 4.6, openCircuit()), {120, 0, skip, skip, 0, 0, skip}},
        {"0 V", measurePhase(0.0, 4.6, Load{}), {skip, skip, skip, 0, skip, skip, skip}},
        {"combined", combinePhases(phases), {100, 1, 200, 300, 200.0 / 300.0, skip, 2.0 * std::sqrt(2.0)}},
    };
    for (const auto &c : cases) {
        const double actual[] = {c.m.voltage,       c.m.current,     c.m.realPower,  c.m.apparentPower,
                                 c.m.powerFactor,   c.m.crestFactor, c.m.peakCurrent};
        for (size_t n = 0; n < c.expected.size(); ++n)
            if (!std::isnan(c.expected[n])) {
                EXPECT_DOUBLE_EQ(actual[n], c.expected[n]) << c.label << ", field " << n;
            }
    }
    for (const Load bad : {Load{0.0, 1.0}, Load{10.0, 1.01}, Load{10.0, 0.0}})
        EXPECT_FALSE(validateLoad(bad).empty()) << bad.resistance << " " << bad.powerFactor;

    SimHarness h;
    h.ask("VOLT 120");
    const std::string all = "MEAS:VOLT?;:MEAS:CURR?;:MEAS:CURR:AMPL:MAX?;:MEAS:CURR:CRES?;:MEAS:POW?;:MEAS:POW:APP?;"
                            ":MEAS:POW:PFAC?;:MEAS:FREQ?";
    h.expectAnswers({{all, "0;0;0;0;0;0;0;0"}, {"OUTP 1;INST:NSEL 1;:" + all, "120;1.2;1.69706;1.41421;144;144;1;50"},
                    {"OUTP 0;:" + all, "0;0;0;0;0;0;0;0"}});

    // Each phase with its own load and current limit; coupled, the phases are read together.
    ASSERT_TRUE(h.sim.setLoad(2, Load{50.0, 0.5}));
    EXPECT_FALSE(h.sim.setLoad(4, Load{}));
    EXPECT_FALSE(h.sim.setLoad(1, Load{-5.0, 1.0}));
    const std::string some = ";:MEAS:VOLT?;CURR?;POW?;:MEAS:POW:APP?;:MEAS:POW:PFAC?";
    h.expectAnswers({{"INST:COUP 1;:VOLT 100;OUTP 1;INST:NSEL 2" + some, "100;1;50;100;0.5"},
                    {"INST:NSEL 3;:CURR 0.5;:MEAS:CURR?;VOLT?", "0.5;50"}, // its 100 ohms would draw 1 A
                    {"CURR 1;:INST:COUP 1" + some, "100;1;250;300;0.833333"}});
    EXPECT_DOUBLE_EQ(h.sim.measurement(2).realPower, 50.0);
}

TEST(OutputDrop, DropsTheSelectedPhaseForItsTimeCoupledUntimedEveryPhaseForTheDefaultTime)
{
    SimHarness h;
    h.ask("VOLT 100;OUTP 1;INST:COUP 0;NSEL 2;:OUTP:STAR:STAT 1;PHAS 90");
    h.advance(1.0);
    // The other phases carry on.
    h.expectAnswers({{"OUTP:DROP 0.5", ""}, {"MEAS:VOLT?;CURR?", "0;0"}, {"INST:NSEL 1;:MEAS:VOLT?", "100"}});
    h.advance(0.25);
    EXPECT_EQ(h.ask("INST:NSEL 2;:MEAS:VOLT?"), "0");
    h.advance(0.25);
    EXPECT_EQ(h.ask("MEAS:VOLT?"), "100");

    const std::vector<DropRecord> drops = h.sim.snapshot().drops;
    ASSERT_EQ(drops.size(), 1u);
    const DropRecord &d = drops[0];
    EXPECT_EQ(std::tuple(d.start, d.duration, d.phase, d.timed, d.startPhaseOn, d.startPhase),
              std::tuple(1.0, 0.5, 2, true, true, 90.0));

    // Coupled, an untimed drop takes every phase for the configured time.
    SimHarness coupled(configWith([](Config &c) { c.defaultDropSeconds = 0.25; }));
    coupled.ask("VOLT 100;OUTP 1;INST:COUP 1;:OUTP:DROP");
    EXPECT_EQ(coupled.ask("MEAS:POW?"), "0");
    for (int phase = 1; phase <= 3; ++phase)
        EXPECT_EQ(coupled.sim.measurement(phase).voltage, 0.0) << phase;
    coupled.advance(0.25);
    EXPECT_EQ(coupled.ask("MEAS:POW?"), "300");
    const DropRecord untimed = coupled.sim.snapshot().drops.at(0);
    EXPECT_EQ(std::tuple(untimed.phase, untimed.timed, untimed.duration), std::tuple(0, false, 0.25));

    coupled.ask("OUTP:DROP 250MS");
    EXPECT_DOUBLE_EQ(coupled.sim.snapshot().drops.at(1).duration, 0.25);
    EXPECT_EQ(coupled.errors({"OUTP:DROP 61;DROP -1"}), (std::vector<int>{-222, -222}));
    EXPECT_EQ(coupled.sim.snapshot().drops.size(), 2u);
}

} // namespace qx::sim::testing
