// The instrument worker under the panel: the user-interface thread goes on while the instrument
// is busy, repeated operator actions collapse to the last value, and the wait cursor shows the
// work. (Every callback's exact sequence through the worker is in the other front-panel tests.)
#include "app_fixture.h"

#include <future>
#include <thread>

namespace qx::app::test {
namespace {

class WorkerTest : public AppTest {
protected:
    // Holds the worker in a job until release() (its toolkit calls still reach the panels).
    void holdWorker()
    {
        instrumentWorker().submit({-1, -1, -1}, [gate = released.get_future().share()] {
            gate.wait();
            return 0;
        });
    }
    void release() { released.set_value(); }
    std::promise<void> released;
};

TEST_F(WorkerTest, ActionsWhileTheInstrumentIsBusyQueueAndRepeatsCollapseToTheLastValue)
{
    connected();
    holdWorker();
    for (double volts = 101.0; volts <= 110.0; volts += 1.0) // ten arrow presses
        EXPECT_EQ(toolkit.commit(steady, STEADY_VOLTAGE, volts), 0) << "the panel waited for the instrument";
    EXPECT_EQ(toolkit.click(steady, STEADY_OUTPUT), 0);
    EXPECT_EQ(toolkit.commit(steady, STEADY_VOLTAGE, 120.0), 0);
    EXPECT_TRUE(timeline.writes().empty()) << "nothing may reach the instrument before the job ahead ends";

    release();
    instrumentWorker().waitIdle();
    EXPECT_EQ(timeline.writes(), (Events{"VOLT:RANG?", "VOLT 120.000000", "SYST:ERR?", "OUTP 1", "SYST:ERR?"}));
    EXPECT_EQ(value<double>(steady, STEADY_VOLTAGE), 120.0);
    EXPECT_EQ(popups(), Events{});
}

TEST_F(WorkerTest, ARefreshQueuedBeforeACommitDoesNotChangeTheValueSent)
{
    connected();
    preset({"VOLT 80"});
    holdWorker();
    EXPECT_EQ(toolkit.activate(mainpanel), 0);
    EXPECT_EQ(toolkit.activate(steady), 0); // the refresh, which will show the instrument's 80 V
    EXPECT_EQ(toolkit.commit(steady, STEADY_VOLTAGE, 120.0), 0);
    release();
    instrumentWorker().waitIdle();
    EXPECT_LT(position("VOLT?"), position("VOLT 120.000000"));
    EXPECT_EQ(value<double>(steady, STEADY_VOLTAGE), 120.0);
}

TEST_F(WorkerTest, ATypedValueOutsideTheLimitsIsRefusedInSightAndNeverSentAsAnotherNumber)
{
    connected(); // the high range: 0 to 300 V
    EXPECT_EQ(commit(steady, STEADY_VOLTAGE, 100.0), 0);
    timeline.clear();
    EXPECT_EQ(commit(steady, STEADY_VOLTAGE, 350.0), 0);
    EXPECT_EQ(commit(steady, STEADY_FREQUENCY, 10.0), 0); // below the lowest frequency of the control
    EXPECT_EQ(timeline.writes(), Events{});
    EXPECT_EQ(value<double>(steady, STEADY_VOLTAGE), 100.0);
    EXPECT_EQ(text(steady, STEADY_STATUS), "Not sent: 16 to 500 only");
    EXPECT_EQ(commit(steady, STEADY_VOLTAGE, 120.0), 0);
    EXPECT_EQ(text(steady, STEADY_STATUS), text::kReadyStatus) << "the refusal's explanation went stale";
}

TEST_F(WorkerTest, TheWaitCursorShowsWhileJobsRunAndAHelpAnswersAtOnce)
{
    connected();
    EXPECT_FALSE(toolkit.waitCursor());
    holdWorker();
    for (int turn = 0; turn < 1000000 && !toolkit.waitCursor(); ++turn) {
        ui::ProcessSystemEvents(); // the worker shows it from its own thread
        std::this_thread::yield();
    }
    ASSERT_TRUE(toolkit.waitCursor());
    EXPECT_EQ(toolkit.rightClick(steady, STEADY_VOLTAGE), 0);
    EXPECT_EQ(popups(), Events{popup(title::kController, help::kVoltage)}) << "a help waits for no instrument";
    release();
    instrumentWorker().waitIdle();
    EXPECT_FALSE(toolkit.waitCursor());
}

TEST_F(WorkerTest, AJobWhosePanelWentAwayMeanwhileSendsNothing)
{
    connected();
    holdWorker();
    toolkit.answerConfirm(true);
    EXPECT_EQ(toolkit.close(steady), 0); // the window closed: the session ends, the panel goes
    EXPECT_EQ(toolkit.commit(steady, STEADY_VOLTAGE, 50.0), 0);
    release();
    instrumentWorker().waitIdle();
    EXPECT_EQ(instrumentWorker().takeResults(), (std::vector<int>{0, 0, -1}));
    EXPECT_EQ(state.steadypanel, 0);
    EXPECT_EQ(popups(), Events{popup(title::kController, text::kCloseQuestion)}) << "the voltage job ran";
}

} // namespace
} // namespace qx::app::test
