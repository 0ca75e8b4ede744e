#include "sim/load_model.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

namespace qx::sim {
namespace {

using testing::SimHarness;

TEST(LoadModel, CurrentFollowsTheImpedanceUpToTheLimit)
{
    const PhaseMeasurement r = measurePhase(120.0, 4.6, Load{100.0, 1.0});
    EXPECT_DOUBLE_EQ(r.voltage, 120.0);
    EXPECT_DOUBLE_EQ(r.current, 1.2);
    EXPECT_DOUBLE_EQ(r.realPower, 144.0);
    EXPECT_DOUBLE_EQ(r.apparentPower, 144.0);
    EXPECT_DOUBLE_EQ(r.powerFactor, 1.0);
    EXPECT_DOUBLE_EQ(r.peakCurrent, 1.2 * std::sqrt(2.0));

    const PhaseMeasurement rl = measurePhase(120.0, 4.6, Load{100.0, 0.8}); // |Z| = 125 ohms
    EXPECT_DOUBLE_EQ(rl.current, 0.96);
    EXPECT_DOUBLE_EQ(rl.apparentPower, 115.2);
    EXPECT_DOUBLE_EQ(rl.realPower, 92.16);
    EXPECT_DOUBLE_EQ(rl.powerFactor, 0.8);

    const PhaseMeasurement limited = measurePhase(120.0, 0.5, Load{100.0, 1.0, 3.0});
    EXPECT_DOUBLE_EQ(limited.current, 0.5);
    EXPECT_DOUBLE_EQ(limited.voltage, 50.0); // sags to I * |Z|
    EXPECT_DOUBLE_EQ(limited.crestFactor, 3.0);
    EXPECT_DOUBLE_EQ(limited.peakCurrent, 1.5);

    const PhaseMeasurement open = measurePhase(120.0, 4.6, openCircuit());
    EXPECT_DOUBLE_EQ(open.voltage, 120.0);
    EXPECT_EQ(open.current, 0.0);
    EXPECT_EQ(open.powerFactor, 0.0);
    EXPECT_EQ(open.crestFactor, 0.0);

    EXPECT_EQ(measurePhase(0.0, 4.6, Load{}).apparentPower, 0.0);
}

TEST(LoadModel, CombinedPhasesAverageVoltsAndAmpsAndSumPower)
{
    const PhaseMeasurement phases[] = {measurePhase(100.0, 9.0, Load{100.0, 1.0}),
                                       measurePhase(100.0, 9.0, Load{25.0, 0.5}), // |Z| = 50 ohms
                                       measurePhase(100.0, 9.0, openCircuit())};
    const PhaseMeasurement all = combinePhases(phases);
    EXPECT_DOUBLE_EQ(all.voltage, 100.0);
    EXPECT_DOUBLE_EQ(all.current, 1.0);         // (1 + 2 + 0) / 3
    EXPECT_DOUBLE_EQ(all.realPower, 200.0);     // 100 + 100
    EXPECT_DOUBLE_EQ(all.apparentPower, 300.0); // 100 + 200
    EXPECT_DOUBLE_EQ(all.powerFactor, 200.0 / 300.0);
    EXPECT_DOUBLE_EQ(all.peakCurrent, 2.0 * std::sqrt(2.0));
    EXPECT_FALSE(validateLoad(Load{0.0, 1.0}).empty());
    EXPECT_FALSE(validateLoad(Load{10.0, 1.01}).empty());
    EXPECT_FALSE(validateLoad(Load{10.0, 0.0}).empty());
}

TEST(Measurements, EveryQuantityWithTheRelayClosedAndZeroWithItOpen)
{
    SimHarness h;
    h.ask("VOLT 120");
    const char *queries = "MEAS:VOLT?;:MEAS:CURR?;:MEAS:CURR:AMPL:MAX?;:MEAS:CURR:CRES?;:MEAS:POW?;:MEAS:POW:APP?;"
                          ":MEAS:POW:PFAC?;:MEAS:FREQ?";
    EXPECT_EQ(h.ask(queries), "0;0;0;0;0;0;0;0");
    h.ask("OUTP 1;INST:NSEL 1");
    EXPECT_EQ(h.ask(queries), "120;1.2;1.69706;1.41421;144;144;1;50");
    h.ask("OUTP 0");
    EXPECT_EQ(h.ask(queries), "0;0;0;0;0;0;0;0");
}

TEST(Measurements, PerPhaseAndCoupledReadings)
{
    SimHarness h;
    ASSERT_TRUE(h.sim.setLoad(2, Load{50.0, 0.5}));
    EXPECT_FALSE(h.sim.setLoad(4, Load{}));
    EXPECT_FALSE(h.sim.setLoad(1, Load{-5.0, 1.0}));
    h.ask("VOLT 100;OUTP 1");
    h.ask("INST:NSEL 2");
    EXPECT_EQ(h.ask("MEAS:VOLT?;CURR?;POW?;:MEAS:POW:APP?;:MEAS:POW:PFAC?"), "100;1;50;100;0.5");
    h.ask("INST:NSEL 3");
    h.ask("CURR 0.5"); // phase 3 only; its 100 ohms would draw 1 A
    EXPECT_EQ(h.ask("MEAS:CURR?;VOLT?"), "0.5;50");
    h.ask("CURR 1");
    h.ask("INST:COUP 1");
    EXPECT_EQ(h.ask("MEAS:VOLT?;CURR?;POW?;:MEAS:POW:APP?;:MEAS:POW:PFAC?"), "100;1;250;300;0.833333");
    EXPECT_DOUBLE_EQ(h.sim.measurement(2).realPower, 50.0);
}

TEST(OutputDrop, DropsTheSelectedPhaseForItsTime)
{
    SimHarness h;
    h.ask("VOLT 100;OUTP 1");
    h.ask("INST:COUP 0;NSEL 2");
    h.ask("OUTP:STAR:STAT 1;PHAS 90");
    h.advance(1.0);
    h.ask("OUTP:DROP 0.5");
    EXPECT_EQ(h.ask("MEAS:VOLT?;CURR?"), "0;0");
    h.ask("INST:NSEL 1");
    EXPECT_EQ(h.ask("MEAS:VOLT?"), "100"); // the other phases carry on
    h.ask("INST:NSEL 2");
    h.advance(0.25);
    EXPECT_EQ(h.ask("MEAS:VOLT?"), "0");
    h.advance(0.25);
    EXPECT_EQ(h.ask("MEAS:VOLT?"), "100");

    const std::vector<DropRecord> drops = h.sim.snapshot().drops;
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_DOUBLE_EQ(drops[0].start, 1.0);
    EXPECT_DOUBLE_EQ(drops[0].duration, 0.5);
    EXPECT_EQ(drops[0].phase, 2);
    EXPECT_TRUE(drops[0].timed);
    EXPECT_TRUE(drops[0].startPhaseOn);
    EXPECT_EQ(drops[0].startPhase, 90.0);
}

TEST(OutputDrop, CoupledUntimedDropTakesEveryPhaseForTheDefaultTime)
{
    Config c;
    c.defaultDropSeconds = 0.25;
    SimHarness h(c);
    h.ask("VOLT 100;OUTP 1;INST:COUP 1");
    h.ask("OUTP:DROP");
    EXPECT_EQ(h.ask("MEAS:POW?"), "0");
    for (int phase = 1; phase <= 3; ++phase)
        EXPECT_EQ(h.sim.measurement(phase).voltage, 0.0) << phase;
    h.advance(0.25);
    EXPECT_EQ(h.ask("MEAS:POW?"), "300");
    const DropRecord d = h.sim.snapshot().drops.at(0);
    EXPECT_EQ(d.phase, 0);
    EXPECT_FALSE(d.timed);
    EXPECT_DOUBLE_EQ(d.duration, 0.25);

    h.ask("OUTP:DROP 250MS");
    EXPECT_DOUBLE_EQ(h.sim.snapshot().drops.at(1).duration, 0.25);
    h.ask("OUTP:DROP 61");
    h.ask("OUTP:DROP -1");
    EXPECT_EQ(h.errors(), (std::vector<int>{-222, -222}));
    EXPECT_EQ(h.sim.snapshot().drops.size(), 2u);
}

} // namespace
} // namespace qx::sim
