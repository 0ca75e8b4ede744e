// Quitting, the close button, closing the steady window, and the fatal start-up report.
#include "app_fixture.h"

#include "ui/backend.h"

#include <algorithm>
#include <cstdio>

namespace qx::app::test {
namespace {

const std::string kQuitConfirm = message(title::kController, text::kQuitQuestion);
const std::string kCloseConfirm = message(title::kController, text::kCloseQuestion);

class Shutdown : public AppTest {
protected:
    bool sessionOpen() const
    {
        ViInt32 relay = 0;
        return ZEV_QX70_QueryOutputRelay(state.vi, kChannel, &relay) == VI_SUCCESS;
    }
    // Marks COM port `port` open in the serial library, as a test open would leave it.
    void holdComPort(int port)
    {
        const std::string name = "ASRL" + std::to_string(port) + "::INSTR";
        if (!visa::findDevice(name)) {
            visa::attachDevice(name, visa::findDevice(kSerialResource));
            attached.push_back(name);
        }
        ASSERT_EQ(rs232::OpenComConfig(port, "", 9600, 0, 8, 1, 512, 512), 0);
    }
    static bool comPortOpen(int port) { return rs232::CloseCom(port) == 0; }
};

TEST_F(Shutdown, QuitConfirmedEndsTheLoopWithoutTouchingTheSession)
{
    connected();
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.click(mainpanel, MAIN_QUIT), 0);

    EXPECT_EQ(popups(), Events{kQuitConfirm});
    EXPECT_EQ(toolkit.quitCodes(), std::vector<int>{0});
    EXPECT_TRUE(timeline.writes().empty()); // no close, no relay change
    EXPECT_TRUE(sessionOpen());
    EXPECT_TRUE(toolkit.displayed(steady));
}

TEST_F(Shutdown, QuitEndsTheEventLoopSoTheProgramReturnsZero)
{
    toolkit.answerConfirm(true);
    toolkit.schedule([this] { toolkit.click(mainpanel, MAIN_QUIT); });

    EXPECT_EQ(ui::RunUserInterface(), 0);
}

TEST_F(Shutdown, QuitDeclinedAfterAnRs232SetUpHasClosedTheComPortAgain)
{
    ASSERT_EQ(connectRs232(1), 0);
    steady = state.steadypanel;
    holdComPort(1);
    forget();
    toolkit.answerConfirm(false);

    EXPECT_EQ(toolkit.click(mainpanel, MAIN_QUIT), 0);

    EXPECT_FALSE(comPortOpen(1));
    EXPECT_EQ(popups(), Events{kQuitConfirm});
    EXPECT_TRUE(toolkit.quitCodes().empty());
    EXPECT_TRUE(sessionOpen());
    EXPECT_TRUE(toolkit.displayed(steady));
}

TEST_F(Shutdown, QuitLeavesComPortsAloneWhenNoRs232SetUpRan)
{
    connected();
    holdComPort(1);
    toolkit.answerConfirm(false);

    EXPECT_EQ(toolkit.click(mainpanel, MAIN_QUIT), 0);

    EXPECT_TRUE(comPortOpen(1));
}

TEST_F(Shutdown, CloseButtonOpensTheRelaySetsDisplayModeOneThenEndsTheSession)
{
    for (const char *command : {"OUTP 1", "DISP:MODE 2"})
        simulator->receive(std::string(command) + "\n");
    connected();
    ASSERT_EQ(integer(steady, STEADY_OUTPUT), 1);
    int outputSwitchAtDisplayMode = -1;
    beforeEachWrite([&](const std::string &message) {
        if (message == "DISP:MODE 1")
            outputSwitchAtDisplayMode = integer(steady, STEADY_OUTPUT);
    });
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);

    const Events check{"> SYST:ERR?", "wait 0.05", "< 0,\"No error\"\\n", "wait 0.05"};
    Events expected{"> OUTP 0", "wait 0.03"};
    expected.insert(expected.end(), check.begin(), check.end());
    expected.insert(expected.end(), {"wait 0.05", "> DISP:MODE 1", "wait 0.03"});
    expected.insert(expected.end(), check.begin(), check.end());
    expected.insert(expected.end(), {"wait 0.05", "> SYST:LOC", "wait 0.03", "wait 0.05"});
    EXPECT_EQ(events(), expected);
    EXPECT_EQ(outputSwitchAtDisplayMode, 0);
    EXPECT_EQ(popups(), Events{kCloseConfirm});
    const sim::Snapshot s = snapshot();
    EXPECT_FALSE(s.settings.output);
    EXPECT_EQ(s.settings.displayMode, 1);
    EXPECT_FALSE(s.remote);
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 0);
    EXPECT_EQ(integer(mainpanel, MAIN_RS232), 0);
    EXPECT_FALSE(toolkit.displayed(steady));
    EXPECT_TRUE(toolkit.displayed(mainpanel));
    EXPECT_EQ(state.steadypanel, 0);
}

TEST_F(Shutdown, CloseButtonOnAFailingSessionStillRunsEveryStep)
{
    connected();
    const ViSession vi = state.vi;
    sim::Faults faults;
    faults.closeAfter = 1;
    ASSERT_TRUE(simulator->setFaults(faults));
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);

    const Events writes = timeline.writes();
    EXPECT_NE(std::find(writes.begin(), writes.end(), "DISP:MODE 1"), writes.end());
    EXPECT_EQ(popups(), Events{kCloseConfirm});
    EXPECT_FALSE(toolkit.displayed(steady));
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 0);
    ViInt32 relay = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(vi, kChannel, &relay), ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);
}

TEST_F(Shutdown, CloseDeclinedChangesNothing)
{
    connected();
    toolkit.answerConfirm(false);
    toolkit.answerConfirm(false);

    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);
    EXPECT_EQ(toolkit.close(steady), 0);

    EXPECT_EQ(popups(), (Events{kCloseConfirm, kCloseConfirm}));
    EXPECT_TRUE(timeline.writes().empty());
    EXPECT_TRUE(toolkit.displayed(steady));
    EXPECT_TRUE(sessionOpen());
}

TEST_F(Shutdown, ClosingTheWindowEndsTheSessionButLeavesRelayAndDisplayAlone)
{
    for (const char *command : {"OUTP 1", "DISP:MODE 2"})
        simulator->receive(std::string(command) + "\n");
    connected();
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.close(steady), 0);

    EXPECT_EQ(events(), (Events{"> SYST:LOC", "wait 0.03", "wait 0.05"}));
    EXPECT_EQ(popups(), Events{kCloseConfirm});
    const sim::Snapshot s = snapshot();
    EXPECT_TRUE(s.settings.output);
    EXPECT_EQ(s.settings.displayMode, 2);
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 0);
    EXPECT_EQ(integer(mainpanel, MAIN_RS232), 0);
    EXPECT_FALSE(toolkit.displayed(steady));
    EXPECT_TRUE(toolkit.displayed(mainpanel));
}

TEST_F(Shutdown, GpibConnectionClosesTheComPortOfAnEarlierRs232Attempt)
{
    setenv("QX_COM2", "/nonexistent/ttyQX", 1);
    ASSERT_EQ(connectRs232(2), -1);
    unsetenv("QX_COM2");
    ASSERT_EQ(state.comopened, 1);
    connected();
    holdComPort(2);
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);

    EXPECT_FALSE(comPortOpen(2));
}

// Shows each popup on standard error, where the death test can read it after the exit.
class PopupPrinter final : public ui::Backend {
public:
    std::unique_ptr<ui::PanelView> createPanel(const ui::PanelRecord &, int) override { return nullptr; }
    int messagePopup(const std::string &title, const std::string &message) override
    {
        std::fprintf(stderr, "[%s] %s\n", title.c_str(), message.c_str());
        return 0;
    }
    int confirmPopup(const std::string &, const std::string &) override { return 0; }
    int runEventLoop() override { return 0; }
    void quitEventLoop(int) override {}
};

TEST(ErrorCheck, ShowsTheMessageTitledQxSeriesAndEndsTheProcessWithMinusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ui::installBackend(std::make_unique<PopupPrinter>());
            Error_check(text::kMainLoadError, ui::UIE_FILE_NOT_FOUND);
        },
        ::testing::ExitedWithCode(255), "^\\[QX Series\\] Error Loading Main Window\n$");
}

} // namespace
} // namespace qx::app::test
