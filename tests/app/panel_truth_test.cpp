// What the steady panel tells the operator matches the instrument: after a sequence that this
// program ran (and its abort), without waiting for a focus event; after the link went; after a
// range change that moved a setpoint; measured values marked stale once the output changed.
// And the safe endings: a live output is not left on unasked, the instrument goes back to local.
#include "app_fixture.h"
#include "test_files.h"

#include <atomic>
#include <fstream>
#include <future>

namespace qx::app::test {
namespace {

const std::vector<int> kHeldControls{STEADY_VOLTAGE, STEADY_OUTPUT, STEADY_RANGE, STEADY_REGISTER_GO, STEADY_DROP,
                                     STEADY_CLOSE};

class PanelTruth : public AppTest {
protected:
    int dimmed(int control) const
    {
        int d = -1;
        ui::GetCtrlDimmed(steady, control, &d);
        return d;
    }
    std::vector<int> heldState() const
    {
        std::vector<int> held;
        for (const int control : kHeldControls)
            held.push_back(dimmed(control));
        return held;
    }
    // The panel's view of the instrument: range switch, voltage, relay switch and light, status.
    auto shown() const
    {
        return std::make_tuple(value<int>(steady, STEADY_RANGE), value<double>(steady, STEADY_VOLTAGE),
                               value<int>(steady, STEADY_OUTPUT), value<int>(steady, STEADY_OUTPUT_STATE),
                               text(steady, STEADY_STATUS));
    }
};

TEST_F(PanelTruth, AfterTheIecPresetIsAbortedTheSteadyPanelShowsTheInstrumentWithoutAFocusEvent)
{
    connected();
    EXPECT_EQ(commit(steady, STEADY_VOLTAGE, 150.0), 0);
    EXPECT_EQ(click(steady, STEADY_RANGE), 0); // low
    EXPECT_EQ(click(steady, STEADY_OUTPUT), 0);
    ASSERT_EQ(shown(), std::make_tuple(0, 150.0, 1, 1, std::string(text::kReadyStatus)));

    EXPECT_EQ(click(steady, STEADY_SEQUENCES), 0);
    const int panel = toolkit.activePanel();
    toolkit.answerFile(std::string(QX_PRESETS_DIR) + "/iec-61000-4-11-interruptions.json");
    ASSERT_EQ(click(panel, SEQUENCE_PRESET), 0);
    std::vector<int> heldWhileRunning;
    std::string statusWhileRunning;
    beforeWrite = [&](const std::string &message) {
        if (message.starts_with("OUTP:DROP") && heldWhileRunning.empty()) {
            heldWhileRunning = heldState();
            statusWhileRunning = text(steady, STEADY_STATUS);
            abortSequence(); // the Abort button, while the run goes on
        }
    };
    const std::size_t popupsBefore = toolkit.popups().size();
    EXPECT_EQ(click(panel, SEQUENCE_RUN), -1);

    EXPECT_EQ(heldWhileRunning, std::vector<int>(kHeldControls.size(), 1));
    EXPECT_EQ(statusWhileRunning, text::kSequenceOwns);
    // The preset left 230 V on the high range; the abort opened the relay.
    EXPECT_EQ(shown(), std::make_tuple(1, 230.0, 0, 0, std::string(text::kReadyStatus)));
    EXPECT_EQ(heldState(), std::vector<int>(kHeldControls.size(), 0));
    EXPECT_EQ(toolkit.activePanel(), panel) << "no focus came back to the steady panel";
    EXPECT_EQ(toolkit.popups().size(), popupsBefore);
}

TEST_F(PanelTruth, ALostLinkTurnsThePanelIntoConnectionLostUntilReconnected)
{
    connected();
    EXPECT_EQ(dimmed(STEADY_RECONNECT), 1);
    ASSERT_TRUE(simulator->setFaults({.silent = true}));

    EXPECT_EQ(click(steady, STEADY_MEASURE), 0);
    EXPECT_FALSE(sent("MEAS:CURR?")) << "no second query waits for its time-out";
    EXPECT_EQ(std::make_tuple(text(steady, STEADY_STATUS), text(mainpanel, MAIN_STATUS), dimmed(STEADY_RECONNECT),
                              dimmed(STEADY_VOLTAGE), dimmed(STEADY_CLOSE)),
              std::make_tuple(std::string(text::kConnectionLost), std::string(text::kConnectionLostMain), 0, 1, 0));
    timeline.clear();
    EXPECT_EQ(activate(mainpanel), 0);
    EXPECT_EQ(activate(steady), 0);
    EXPECT_EQ(timeline.writes(), Events{}) << "a refresh of a lost link sends nothing";
    EXPECT_EQ(text(steady, STEADY_STATUS), text::kConnectionLost);

    ASSERT_TRUE(simulator->setFaults({})); // the instrument is back
    EXPECT_EQ(click(steady, STEADY_RECONNECT), 0);
    steady = state.steadypanel;
    EXPECT_EQ(std::make_tuple(text(steady, STEADY_STATUS), state.connectionLost, dimmed(STEADY_VOLTAGE)),
              std::make_tuple(std::string(text::kReadyStatus), false, 0));
}

TEST_F(PanelTruth, ARangeChangeThatMovesTheSetpointSaysSoAndMeasurementsGoStale)
{
    connected();
    EXPECT_EQ(commit(steady, STEADY_VOLTAGE, 200.0), 0);
    EXPECT_EQ(click(steady, STEADY_MEASURE), 0);
    EXPECT_TRUE(text(steady, STEADY_MEAS_TIME).starts_with("Measured at "));
    EXPECT_EQ(dimmed(STEADY_MEAS_VOLTAGE), 0);

    EXPECT_EQ(click(steady, STEADY_RANGE), 0); // low: the instrument lowers 200 V to its 150 V limit
    EXPECT_EQ(text(steady, STEADY_RESULT), "Voltage range: done; the instrument changed the voltage from 200 V to 150 V");
    EXPECT_EQ(value<double>(steady, STEADY_VOLTAGE), 150.0);
    EXPECT_TRUE(text(steady, STEADY_MEAS_TIME).starts_with("Stale: measured at "));
    EXPECT_EQ(dimmed(STEADY_MEAS_VOLTAGE), 1);
}

TEST_F(PanelTruth, QuittingWithTheOutputOnAsksToSwitchItOffAndGivesTheInstrumentBackToLocal)
{
    connected();
    preset({"OUTP 1"});
    toolkit.answerChoice(text::kCancel);
    EXPECT_EQ(click(mainpanel, MAIN_QUIT), 0);
    EXPECT_EQ(std::make_tuple(toolkit.quitCodes().size(), simulator->snapshot().settings.output, sessionOpen(state.vi)),
              std::make_tuple(0u, true, true));

    toolkit.answerChoice(text::kSwitchOff);
    EXPECT_EQ(click(mainpanel, MAIN_QUIT), 0);
    const std::string asked = popup(title::kController, std::string(text::kOutputOnAtQuit) + " [" + text::kSwitchOff +
                                                            "] [" + text::kLeaveOn + "] [" + text::kCancel + "]");
    EXPECT_EQ(popups(), (Events{asked, asked}));
    EXPECT_EQ(std::make_tuple(toolkit.quitCodes(), simulator->snapshot().settings.output, simulator->snapshot().remote,
                              state.vi),
              std::make_tuple(std::vector<int>{0}, false, false, ViSession{VI_NULL}));
}

TEST_F(PanelTruth, ClosingTheWindowWithTheOutputOnCanLeaveItOnOrSwitchItOff)
{
    for (const char *choice : {text::kLeaveOn, text::kSwitchOff}) {
        connected();
        preset({"OUTP 1"});
        toolkit.answerChoice(choice);
        EXPECT_EQ(closeWindow(steady), 0);
        EXPECT_EQ(std::make_tuple(state.steadypanel, simulator->snapshot().settings.output),
                  std::make_tuple(0, choice == text::kLeaveOn))
            << choice;
    }
}

TEST_F(PanelTruth, QuittingDuringASequenceAbortsItAtOnceAndAsksNothingMore)
{
    connected();
    EXPECT_EQ(click(steady, STEADY_SEQUENCES), 0);
    const int panel = toolkit.activePanel();
    toolkit.answerFile(qx::test::privateTempPath("long.json"));
    std::ofstream(qx::test::privateTempPath("long.json")) << R"({"steps": [{"output": "on"}, {"wait": 600}, {"output": "on"}]})";
    ASSERT_EQ(click(panel, SEQUENCE_OPEN), 0);
    toolkit.clearPopups();
    std::promise<void> pressed;
    std::atomic<bool> reached{false};
    beforeWrite = [&reached, gate = pressed.get_future().share()](const std::string &message) {
        if (message.starts_with("OUTP 1") && !reached.exchange(true))
            gate.wait(); // the run holds the worker here until the operator has pressed Quit
    };
    ASSERT_EQ(toolkit.click(panel, SEQUENCE_RUN), 0);
    while (!reached)
        ui::ProcessSystemEvents();
    toolkit.answerConfirm(true);
    EXPECT_EQ(toolkit.click(mainpanel, MAIN_QUIT), 0);
    pressed.set_value();
    instrumentWorker().waitIdle();

    EXPECT_EQ(popups(), Events{popup(title::kController, text::kAbortQuestion)});
    EXPECT_EQ(toolkit.quitCodes(), std::vector<int>{0});
    const Events happened = events();
    EXPECT_EQ(std::count(happened.begin(), happened.end(), "wait 600"), 0) << "the wait was cut short";
    EXPECT_FALSE(simulator->snapshot().settings.output);
}

} // namespace
} // namespace qx::app::test
