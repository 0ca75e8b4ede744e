// Measuring per phase, the output drop, and the start-angle group.
#include "app_fixture.h"

#include <algorithm>

namespace qx::app::test {
namespace {

class Measurement : public AppTest {
protected:
    // 230 V into 100 ohms on every phase, relay closed.
    void poweredUp()
    {
        for (const char *command : {"VOLT 230", "CURR 4.6", "OUTP 1"})
            simulator->receive(std::string(command) + "\n");
        connected();
    }
    std::size_t position(const std::string &command) const
    {
        const Events writes = timeline.writes();
        return static_cast<std::size_t>(std::find(writes.begin(), writes.end(), command) - writes.begin());
    }
    sim::DropRecord lastDrop() const
    {
        const sim::Snapshot s = snapshot();
        return s.drops.empty() ? sim::DropRecord{} : s.drops.back();
    }
    void angleMode(bool on)
    {
        if ((integer(steady, STEADY_START) != 0) != on) {
            ASSERT_EQ(toolkit.click(steady, STEADY_START), 0);
        }
    }
};

TEST_F(Measurement, MeasuresVoltageCurrentAndPowerWithTheirPauses)
{
    poweredUp();

    EXPECT_EQ(toolkit.click(steady, STEADY_MEASURE), 0);

    EXPECT_EQ(events(), (Events{"> INST:COUP 1", "wait 0.03", "> MEAS:VOLT?", "< 230\\n", "wait 0.1",
                                "> INST:COUP 1", "wait 0.03", "> MEAS:CURR?", "< 2.3\\n", "wait 0.05",
                                "> INST:COUP 1", "wait 0.03", "> MEAS:POW?", "< 1587\\n", "wait 0.05"}));
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_VOLTAGE), 230.0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_CURRENT), 2.3);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_POWER), 1587.0); // three phases together
    EXPECT_EQ(integer(steady, STEADY_MEASURE), 0);
    EXPECT_TRUE(toolkit.popups().empty());
}

TEST_F(Measurement, PhaseIsReadAfreshBeforeEachMeasurement)
{
    poweredUp();
    ASSERT_TRUE(simulator->setLoad(2, {50.0, 1.0, 1.5}));
    beforeEachWrite([&](const std::string &message) {
        if (message == "MEAS:VOLT?")
            ui::SetCtrlVal(steady, STEADY_MEAS_PHASE, std::int16_t{2});
    });

    EXPECT_EQ(toolkit.click(steady, STEADY_MEASURE), 0);

    EXPECT_LT(position("MEAS:VOLT?"), position("INST:NSEL 2"));
    EXPECT_LT(position("INST:NSEL 2"), position("MEAS:CURR?"));
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_VOLTAGE), 230.0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_CURRENT), 4.6);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_POWER), 1058.0);
}

TEST_F(Measurement, FailedMeasurementLeavesThePreviousValues)
{
    poweredUp();
    ASSERT_EQ(toolkit.click(steady, STEADY_MEASURE), 0);
    ASSERT_TRUE(simulator->setFaults({.silent = true}));

    EXPECT_EQ(toolkit.click(steady, STEADY_MEASURE), 0);

    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_VOLTAGE), 230.0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_CURRENT), 2.3);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_POWER), 1587.0);
    EXPECT_EQ(integer(steady, STEADY_MEASURE), 0);
    EXPECT_TRUE(toolkit.popups().empty());
}

TEST_F(Measurement, DropBeforeAnyMeasurementShowsZeroVoltsAndSpringsBack)
{
    connected();
    ui::SetCtrlVal(steady, STEADY_MEAS_VOLTAGE, 99.0);

    EXPECT_EQ(toolkit.click(steady, STEADY_DROP), 0);

    EXPECT_EQ(events(), (Events{"> INST:COUP 1", "wait 0.03", "> OUTP:STAR:STAT 0", "wait 0.02",
                                "> OUTP:STAR:PHAS 0.000000", "wait 0.02", "> OUTP:DROP", "wait 0.03", "> *CLS",
                                "wait 0.03", "> SYST:ERR?", "wait 0.05", "< 0,\"No error\"\\n", "wait 0.05",
                                "wait 0.05"}));
    EXPECT_EQ(real(steady, STEADY_MEAS_VOLTAGE), 0.0);
    EXPECT_EQ(integer(steady, STEADY_DROP), 0);
    EXPECT_EQ(snapshot().drops.size(), 1u);
}

TEST_F(Measurement, DropShowsTheLastMeasuredVoltageNotAFreshOne)
{
    poweredUp();
    ASSERT_EQ(toolkit.click(steady, STEADY_MEASURE), 0);
    simulator->receive("VOLT 100\n");
    EXPECT_EQ(toolkit.click(steady, STEADY_DROP), 0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_MEAS_VOLTAGE), 230.0);
}

TEST_F(Measurement, TimedDropSendsTheDropTimeForTheChosenPhase)
{
    connected();
    ui::SetCtrlVal(steady, STEADY_DROP_PHASE, std::int16_t{2});
    ui::SetCtrlVal(steady, STEADY_TIMED_DROP, std::int16_t{1});
    ui::SetCtrlVal(steady, STEADY_DROPTIME, 0.25);

    EXPECT_EQ(toolkit.click(steady, STEADY_DROP), 0);

    EXPECT_LT(position("INST:NSEL 2"), position("OUTP:DROP 0.250000"));
    const sim::DropRecord drop = lastDrop();
    EXPECT_TRUE(drop.timed);
    EXPECT_EQ(drop.duration, 0.25);
    EXPECT_EQ(drop.phase, 2);
    EXPECT_EQ(state.droptime, 0.25);
}

TEST_F(Measurement, AngleModeOffDropsAtZeroWhateverAngleWasChosen)
{
    connected();
    angleMode(true);
    ASSERT_EQ(toolkit.click(steady, STEADY_ANGLE_90), 0);
    angleMode(false);

    EXPECT_EQ(toolkit.click(steady, STEADY_DROP), 0);

    EXPECT_LT(position("OUTP:STAR:STAT 0"), position("OUTP:STAR:PHAS 0.000000"));
    EXPECT_FALSE(lastDrop().startPhaseOn);
    EXPECT_EQ(state.startangle, 0);
    EXPECT_EQ(state.startmode, 0);
}

TEST_F(Measurement, AngleModeOnUsesTheAngleLastChosenUntilADropRunsWithTheModeOff)
{
    connected();
    angleMode(true);
    ASSERT_EQ(toolkit.click(steady, STEADY_ANGLE_180), 0);
    angleMode(false);
    angleMode(true); // clears the buttons, keeps the angle

    EXPECT_EQ(toolkit.click(steady, STEADY_DROP), 0);
    EXPECT_TRUE(lastDrop().startPhaseOn);
    EXPECT_EQ(lastDrop().startPhase, 180.0);
    EXPECT_LT(position("OUTP:STAR:STAT 1"), position("OUTP:STAR:PHAS 180.000000"));

    angleMode(false);
    ASSERT_EQ(toolkit.click(steady, STEADY_DROP), 0);
    angleMode(true);
    EXPECT_EQ(toolkit.click(steady, STEADY_DROP), 0);
    EXPECT_TRUE(lastDrop().startPhaseOn);
    EXPECT_EQ(lastDrop().startPhase, 0.0);
}

TEST_F(Measurement, StartSwitchUndimsOrDimsAndClearsTheAngleButtons)
{
    connected();
    const int buttons[] = {STEADY_ANGLE_0, STEADY_ANGLE_90, STEADY_ANGLE_180, STEADY_ANGLE_270};
    for (int button : buttons)
        EXPECT_EQ(dimmed(steady, button), 1) << button; // the resource matches the switch, off

    angleMode(true);
    EXPECT_EQ(state.startmode, 1);
    ASSERT_EQ(toolkit.click(steady, STEADY_ANGLE_270), 0);
    for (int button : buttons)
        EXPECT_EQ(dimmed(steady, button), 0) << button;

    angleMode(false);
    EXPECT_EQ(state.startmode, 0);
    EXPECT_EQ(state.startangle, 270); // Start leaves the angle alone
    for (int button : buttons) {
        EXPECT_EQ(dimmed(steady, button), 1) << button;
        EXPECT_EQ(integer(steady, button), 0) << button;
    }
    EXPECT_TRUE(timeline.writes().empty());
}

TEST_F(Measurement, AngleButtonsExcludeEachOtherAndTheOperatedOneKeepsItsValue)
{
    connected();
    angleMode(true);
    ASSERT_EQ(toolkit.click(steady, STEADY_ANGLE_0), 0);

    ASSERT_EQ(toolkit.click(steady, STEADY_ANGLE_90), 0);
    EXPECT_EQ(state.startangle, 90);
    EXPECT_EQ(integer(steady, STEADY_ANGLE_0), 0);
    EXPECT_EQ(integer(steady, STEADY_ANGLE_90), 1);
    EXPECT_EQ(integer(steady, STEADY_ANGLE_180), 0);
    EXPECT_EQ(integer(steady, STEADY_ANGLE_270), 0);

    ui::SetCtrlVal(steady, STEADY_ANGLE_0, 1);
    ASSERT_EQ(toolkit.click(steady, STEADY_ANGLE_90), 0); // on -> off: its angle is still taken
    EXPECT_EQ(integer(steady, STEADY_ANGLE_90), 0);
    EXPECT_EQ(integer(steady, STEADY_ANGLE_0), 0);
    EXPECT_EQ(state.startangle, 90);
}

} // namespace
} // namespace qx::app::test
