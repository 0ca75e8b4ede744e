// Measuring per phase, the output drop, and the start-angle group.
#include "app_fixture.h"

namespace qx::app::test {
namespace {

class Measurement : public AppTest {
protected:
    sim::DropRecord lastDrop() const
    {
        const sim::Snapshot s = simulator->snapshot();
        return s.drops.empty() ? sim::DropRecord{} : s.drops.back();
    }
    // The three readings, and the button, which springs back.
    std::vector<double> measured()
    {
        return {value<double>(steady, STEADY_MEAS_VOLTAGE), value<double>(steady, STEADY_MEAS_CURRENT),
                value<double>(steady, STEADY_MEAS_POWER), double(value<int>(steady, STEADY_MEASURE))};
    }
};

TEST_F(Measurement, MeasuresEveryQuantityOnThePhaseCommittedAndKeepsTheValuesWhenTheInstrumentIsLost)
{
    preset({"VOLT 230", "CURR 4.6", "OUTP 1"}); // 230 V into 100 ohms on every phase
    connected();
    ASSERT_TRUE(simulator->setLoad(2, {50.0, 1.0, 1.5}));
    beforeWrite = [&](const std::string &message) { // the operator picks phase 2 meanwhile: too late
        if (message == "MEAS:VOLT?")
            ui::SetCtrlVal(steady, STEADY_MEAS_PHASE, std::int16_t{2});
    };

    EXPECT_EQ(click(steady, STEADY_MEASURE), 0);

    EXPECT_EQ(events(), (Events{"> INST:COUP 1", "wait 0.03", "> MEAS:VOLT?", "< 230\\n", "wait 0.1",
                                "> INST:COUP 1", "wait 0.03", "> MEAS:CURR?", "< 3.06667\\n", "wait 0.05",
                                "> INST:COUP 1", "wait 0.03", "> MEAS:POW?", "< 2116\\n", "wait 0.05"}));
    EXPECT_EQ(measured(), (std::vector<double>{230.0, 3.06667, 2116.0, 0.0}));

    ASSERT_TRUE(simulator->setFaults({.silent = true}));
    EXPECT_EQ(click(steady, STEADY_MEASURE), 0);
    EXPECT_EQ(measured(), (std::vector<double>{230.0, 3.06667, 2116.0, 0.0}));
    EXPECT_TRUE(popups().empty());
}

TEST_F(Measurement, DropShowsTheLastMeasuredVoltageAndATimedDropSendsItsTimeForThePhase)
{
    connected();
    ui::SetCtrlVal(steady, STEADY_MEAS_VOLTAGE, 99.0);

    EXPECT_EQ(click(steady, STEADY_DROP), 0);

    const Events drop = join({{"> INST:COUP 1", "wait 0.03", "> OUTP:STAR:STAT 0", "wait 0.02", "> OUTP:STAR:PHAS 0.000000",
                               "wait 0.02", "> OUTP:DROP", "wait 0.03"},
                              kNoError, {"> *CLS", "wait 0.03", "wait 0.05"}});
    // Then the refresh that shows what the drop left.
    const Events sent = events();
    ASSERT_GT(sent.size(), drop.size());
    EXPECT_EQ(Events(sent.begin(), sent.begin() + std::ptrdiff_t(drop.size() + 1)), join({drop, {"> VOLT:RANG?"}}));
    // Nothing measured yet; the button springs back.
    EXPECT_EQ(std::make_tuple(value<double>(steady, STEADY_MEAS_VOLTAGE), value<int>(steady, STEADY_DROP), lastDrop().timed),
              std::make_tuple(0.0, 0, false));

    preset({"VOLT 230", "CURR 4.6", "OUTP 1"});
    ASSERT_EQ(click(steady, STEADY_MEASURE), 0);
    preset({"VOLT 100"});
    timeline.clear();
    ui::SetCtrlVal(steady, STEADY_DROP_PHASE, std::int16_t{2});
    ui::SetCtrlVal(steady, STEADY_TIMED_DROP, std::int16_t{1});
    ui::SetCtrlVal(steady, STEADY_DROPTIME, 0.25);
    EXPECT_EQ(click(steady, STEADY_DROP), 0);
    EXPECT_DOUBLE_EQ(value<double>(steady, STEADY_MEAS_VOLTAGE), 230.0); // not a fresh one, and said so
    EXPECT_EQ(text(steady, STEADY_RESULT), "Output drop: done; the readings shown were measured before it");
    EXPECT_LT(position("INST:NSEL 2"), position("OUTP:DROP 0.250000"));
    EXPECT_EQ(std::make_tuple(lastDrop().timed, lastDrop().duration, lastDrop().phase), std::make_tuple(true, 0.25, 2));
    EXPECT_EQ(simulator->snapshot().drops.size(), 2u);
}

TEST_F(Measurement, StartSwitchEnablesExclusiveAngleButtonsWhoseAngleOnlyADropWithTheSwitchOnUses)
{
    connected();
    const int buttons[] = {STEADY_ANGLE_0, STEADY_ANGLE_90, STEADY_ANGLE_180, STEADY_ANGLE_270};
    const auto expectButtons = [&](int dimmed, std::vector<int> values) {
        for (std::size_t i = 0; i < 4; ++i) {
            int d = -1;
            EXPECT_EQ(ui::GetCtrlDimmed(steady, buttons[i], &d), 0);
            EXPECT_EQ(d, dimmed) << buttons[i];
            EXPECT_EQ(value<int>(steady, buttons[i]), values[i]) << buttons[i];
        }
    };
    const auto press = [&](int control) { ASSERT_EQ(click(steady, control), 0); };
    expectButtons(1, {0, 0, 0, 0}); // the resource matches the switch, off

    press(STEADY_START);
    EXPECT_EQ(state.startmode, 1);
    press(STEADY_ANGLE_0);
    press(STEADY_ANGLE_90);
    EXPECT_EQ(state.startangle, 90);
    expectButtons(0, {0, 1, 0, 0});
    ui::SetCtrlVal(steady, STEADY_ANGLE_0, 1);
    press(STEADY_ANGLE_90); // on -> off: its angle is still taken
    expectButtons(0, {0, 0, 0, 0});
    EXPECT_EQ(state.startangle, 90);

    press(STEADY_ANGLE_180);
    press(STEADY_START);
    EXPECT_EQ(state.startmode, 0);
    EXPECT_EQ(state.startangle, 180); // Start leaves the angle alone
    expectButtons(1, {0, 0, 0, 0});
    EXPECT_TRUE(timeline.writes().empty());

    press(STEADY_START); // clears the buttons, keeps the angle
    press(STEADY_DROP);
    EXPECT_EQ(std::make_pair(lastDrop().startPhaseOn, lastDrop().startPhase), std::make_pair(true, 180.0));
    EXPECT_LT(position("OUTP:STAR:STAT 1"), position("OUTP:STAR:PHAS 180.000000"));

    press(STEADY_ANGLE_90);
    press(STEADY_START);
    press(STEADY_DROP); // drops at 0 whatever angle was chosen, and forgets it
    EXPECT_FALSE(lastDrop().startPhaseOn);
    EXPECT_LT(position("OUTP:STAR:STAT 0"), position("OUTP:STAR:PHAS 0.000000"));
    press(STEADY_START);
    press(STEADY_DROP);
    EXPECT_EQ(std::make_pair(lastDrop().startPhaseOn, lastDrop().startPhase), std::make_pair(true, 0.0));
}

TEST_F(Measurement, ThePhaseControlsOfferOnlyThePhasesOfTheConnectedModel)
{
    for (const auto &[model, name, lastPhase] : {std::tuple{sim::Model::QX7101, "7101QX", 1.0},
                                                 {sim::Model::QX7103, "7103QX", 3.0}}) {
        sim::Config config;
        config.model = model;
        useSimulator(config);
        ASSERT_EQ(connectRs232(1, name), 0) << name;
        steady = state.steadypanel;
        EXPECT_EQ(maximum(steady, STEADY_MEAS_PHASE), lastPhase) << name;
        EXPECT_EQ(maximum(steady, STEADY_DROP_PHASE), lastPhase) << name;
        timeline.clear();
        EXPECT_EQ(commit(steady, STEADY_DROP_PHASE, std::int16_t{2}), 0);
        EXPECT_EQ(value<std::int16_t>(steady, STEADY_DROP_PHASE), model == sim::Model::QX7101 ? 0 : 2) << name;
    }
}

} // namespace
} // namespace qx::app::test
