// The steady panel's setting controls: one driver call each, the pause, the error popup where
// the status is examined, and the refresh after a range change or a recall.
#include "app_fixture.h"

#include <algorithm>

namespace qx::app::test {
namespace {

const std::string kProgrammingPopup = message(title::kError, text::kProgrammingError);

class OutputControls : public AppTest {
protected:
    // The instrument queues an error each time `header` runs.
    void failNext(const char *header)
    {
        sim::Faults faults;
        faults.errorAfter = sim::ErrorAfterFault{header, -222, ""};
        ASSERT_TRUE(simulator->setFaults(faults));
    }
    bool sent(const std::string &command) const
    {
        const Events writes = timeline.writes();
        return std::find(writes.begin(), writes.end(), command) != writes.end();
    }
    const sim::PhaseSettings &phase1() { return (snap = snapshot()).settings.phases[0]; }
    sim::Snapshot snap;
};

TEST_F(OutputControls, VoltageAndCurrentAreProgrammedThenThePanelPauses)
{
    connected();

    EXPECT_EQ(toolkit.commit(steady, STEADY_VOLTAGE, 120.0), 0);

    EXPECT_EQ(events(), (Events{"> VOLT:RANG?", "< 300\\n", "> VOLT 120.000000", "wait 0.03", "> SYST:ERR?",
                                "wait 0.05", "< 0,\"No error\"\\n", "wait 0.05", "wait 0.05"}));
    EXPECT_EQ(toolkit.commit(steady, STEADY_CURRENT, 3.5), 0);
    EXPECT_TRUE(sent("CURR 3.500000"));
    EXPECT_EQ(phase1().voltage, 120.0);
    EXPECT_EQ(snap.settings.phases[0].currentLimit, 3.5);
    EXPECT_TRUE(toolkit.popups().empty());
}

TEST_F(OutputControls, VoltageAndCurrentErrorsAreReportedAndTheControlKeepsTheValue)
{
    connected();
    failNext("VOLT");
    EXPECT_EQ(toolkit.commit(steady, STEADY_VOLTAGE, 120.0), -1);
    EXPECT_EQ(real(steady, STEADY_VOLTAGE), 120.0);
    EXPECT_EQ(events().back(), "wait 0.05"); // the pause comes before the popup

    failNext("CURR");
    EXPECT_EQ(toolkit.commit(steady, STEADY_CURRENT, 3.5), -1);
    EXPECT_EQ(real(steady, STEADY_CURRENT), 3.5);

    EXPECT_EQ(popups(), (Events{kProgrammingPopup, kProgrammingPopup}));
}

TEST_F(OutputControls, FrequencyAndRemoteFailuresAreNotReported)
{
    connected();
    EXPECT_EQ(toolkit.commit(steady, STEADY_FREQUENCY, 60.0), 0);
    EXPECT_EQ(snapshot().settings.frequency, 60.0);
    EXPECT_EQ(toolkit.click(steady, STEADY_REMOTE), 0);
    EXPECT_TRUE(sent("SYST:REM"));

    failNext("FREQ");
    EXPECT_EQ(toolkit.commit(steady, STEADY_FREQUENCY, 55.0), 0);
    failNext("SYST:LOC");
    EXPECT_EQ(toolkit.click(steady, STEADY_REMOTE), 0);

    EXPECT_TRUE(sent("SYST:LOC"));
    EXPECT_EQ(real(steady, STEADY_FREQUENCY), 55.0);
    EXPECT_EQ(integer(steady, STEADY_REMOTE), 0);
    EXPECT_TRUE(toolkit.popups().empty());
}

TEST_F(OutputControls, OutputSwitchClosesAndOpensTheRelay)
{
    connected();
    ASSERT_EQ(integer(steady, STEADY_OUTPUT), 0);

    EXPECT_EQ(toolkit.click(steady, STEADY_OUTPUT), 0);
    EXPECT_TRUE(snapshot().settings.output);
    EXPECT_EQ(toolkit.click(steady, STEADY_OUTPUT), 0);
    EXPECT_FALSE(snapshot().settings.output);
    EXPECT_EQ(timeline.writes()[0], "OUTP 1");

    failNext("OUTP");
    EXPECT_EQ(toolkit.click(steady, STEADY_OUTPUT), -1);
    EXPECT_EQ(integer(steady, STEADY_OUTPUT), 1);
    EXPECT_EQ(popups(), Events{kProgrammingPopup});
}

TEST_F(OutputControls, DisplaySwitchOnSelectsModeOneAndOffModeTwo)
{
    connected();
    ASSERT_EQ(integer(steady, STEADY_DISPLAY), 0); // the simulator starts in mode 0

    EXPECT_EQ(toolkit.click(steady, STEADY_DISPLAY), 0);
    EXPECT_EQ(snapshot().settings.displayMode, 1);
    EXPECT_EQ(toolkit.click(steady, STEADY_DISPLAY), 0);
    EXPECT_EQ(snapshot().settings.displayMode, 2);

    failNext("DISP:MODE");
    EXPECT_EQ(toolkit.click(steady, STEADY_DISPLAY), -1);
    EXPECT_EQ(popups(), Events{kProgrammingPopup});
}

TEST_F(OutputControls, RangeSetsTheNewLimitsBeforeTheRefreshReadsThemBack)
{
    sim::Config config;
    config.limits.current = 10.0;
    useSimulator(config);
    simulator->receive("VOLT:RANG 150\n");
    connected();
    ASSERT_EQ(integer(steady, STEADY_RANGE), 0);
    std::vector<double> atRefresh; // maxima of voltage and current when the refresh begins
    beforeEachWrite([&](const std::string &message) {
        if (message == "VOLT:RANG?" && atRefresh.empty())
            atRefresh = {maximum(steady, STEADY_VOLTAGE), maximum(steady, STEADY_CURRENT)};
    });

    EXPECT_EQ(toolkit.click(steady, STEADY_RANGE), 0);

    EXPECT_EQ(timeline.writes()[0], "VOLT:RANG 300.000000"); // range value 2.0 is the high range
    EXPECT_EQ(atRefresh, (std::vector<double>{300.0, 5.0}));
    EXPECT_EQ(integer(steady, STEADY_RANGE), 1);
    EXPECT_EQ(maximum(steady, STEADY_VOLTAGE), 300.0);
    EXPECT_EQ(maximum(steady, STEADY_CURRENT), 5.0);
    EXPECT_EQ(text(steady, STEADY_STATUS), text::kReadyStatus);

    forget();
    atRefresh.clear();
    EXPECT_EQ(toolkit.click(steady, STEADY_RANGE), 0);
    EXPECT_EQ(timeline.writes()[0], "VOLT:RANG 150.000000");
    EXPECT_EQ(atRefresh, (std::vector<double>{150.0, 10.0}));
    EXPECT_EQ(integer(steady, STEADY_RANGE), 0);
}

TEST_F(OutputControls, FailedRangeChangeIsReportedAndNothingIsRefreshed)
{
    simulator->receive("VOLT:RANG 150\n");
    connected();
    failNext("VOLT:RANG");

    EXPECT_EQ(toolkit.click(steady, STEADY_RANGE), -1);

    EXPECT_EQ(popups(), Events{kProgrammingPopup});
    EXPECT_FALSE(sent("VOLT:RANG?"));
    EXPECT_EQ(integer(steady, STEADY_RANGE), 1); // as the operator left it
    EXPECT_EQ(maximum(steady, STEADY_VOLTAGE), 150.0);
    EXPECT_EQ(maximum(steady, STEADY_CURRENT), 9.2);
}

TEST_F(OutputControls, RegisterSaveIsNotFollowedByARefresh)
{
    simulator->receive("VOLT 100\n");
    connected();
    ui::SetCtrlVal(steady, STEADY_REGISTER, 3);
    ui::SetCtrlVal(steady, STEADY_SAVE_RECALL, 0);

    EXPECT_EQ(toolkit.click(steady, STEADY_REGISTER_GO), 0);

    EXPECT_EQ(timeline.writes()[0], "*SAV 3");
    EXPECT_FALSE(sent("VOLT:RANG?"));
    EXPECT_EQ(snapshot().registers[3].phases[0].voltage, 100.0);
    EXPECT_TRUE(toolkit.popups().empty());
}

TEST_F(OutputControls, RegisterRecallRefreshesThePanel)
{
    simulator->receive("VOLT 100\n");
    simulator->receive("*SAV 4\n");
    simulator->receive("VOLT 200\n");
    connected();
    ASSERT_EQ(real(steady, STEADY_VOLTAGE), 200.0);
    ui::SetCtrlVal(steady, STEADY_REGISTER, 4);
    ui::SetCtrlVal(steady, STEADY_SAVE_RECALL, 1);

    EXPECT_EQ(toolkit.click(steady, STEADY_REGISTER_GO), 0);

    EXPECT_EQ(timeline.writes()[0], "*RCL 4");
    EXPECT_TRUE(sent("VOLT:RANG?"));
    EXPECT_EQ(real(steady, STEADY_VOLTAGE), 100.0);
}

TEST_F(OutputControls, FailedRecallIsReportedAndThePanelKeepsItsSettings)
{
    simulator->receive("VOLT 100\n");
    simulator->receive("*SAV 4\n");
    simulator->receive("VOLT 200\n");
    connected();
    ui::SetCtrlVal(steady, STEADY_REGISTER, 4);
    ui::SetCtrlVal(steady, STEADY_SAVE_RECALL, 1);
    failNext("*RCL");

    EXPECT_EQ(toolkit.click(steady, STEADY_REGISTER_GO), -1);

    EXPECT_EQ(popups(), Events{kProgrammingPopup});
    EXPECT_FALSE(sent("VOLT:RANG?"));
    EXPECT_EQ(real(steady, STEADY_VOLTAGE), 200.0);
}

TEST_F(OutputControls, RightClickShowsEachControlsHintAndActsOnNothing)
{
    connected();
    struct Hint {
        int panel;
        int control;
        const char *text;
    };
    const Hint hints[] = {
        {steady, STEADY_FREQUENCY, help::kFrequency}, {steady, STEADY_VOLTAGE, help::kVoltage},
        {steady, STEADY_CURRENT, help::kCurrent},     {steady, STEADY_RANGE, help::kRange},
        {steady, STEADY_REMOTE, help::kRemote},       {steady, STEADY_OUTPUT, help::kOutput},
        {steady, STEADY_DISPLAY, help::kDisplay},     {steady, STEADY_REGISTER_GO, help::kRegister},
        {steady, STEADY_MEASURE, help::kMeasure},     {steady, STEADY_DROP, help::kDrop},
        {steady, STEADY_CLOSE, help::kClose},         {mainpanel, MAIN_QUIT, help::kQuit},
        {mainpanel, MAIN_GPIB, help::kInterface},     {mainpanel, MAIN_RS232, help::kInterface},
    };
    for (const Hint &hint : hints) {
        toolkit.clearPopups();
        EXPECT_EQ(toolkit.rightClick(hint.panel, hint.control), 0);
        EXPECT_EQ(popups(), Events{message(title::kController, hint.text)}) << hint.control;
    }
    EXPECT_EQ(std::string(help::kDrop), "Measure the outputs.");

    toolkit.clearPopups();
    ASSERT_EQ(toolkit.click(steady, STEADY_START), 0); // the angle buttons are usable now
    for (int control : {STEADY_START, STEADY_ANGLE_0, STEADY_ANGLE_90, STEADY_ANGLE_180, STEADY_ANGLE_270})
        EXPECT_EQ(toolkit.rightClick(steady, control), 0);
    EXPECT_TRUE(toolkit.popups().empty());
    EXPECT_TRUE(timeline.writes().empty());
    EXPECT_EQ(state.steadypanel, steady); // no new set-up either
}

} // namespace
} // namespace qx::app::test
