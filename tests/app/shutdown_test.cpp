// Quitting, the close button, closing the steady window, and the fatal start-up report.
#include "app_fixture.h"

#include "ui/backend.h"

#include <cstdio>

namespace qx::app::test {
namespace {

const std::string kQuitConfirm = std::string(title::kController) + " | " + text::kQuitQuestion;
const std::string kCloseConfirm = std::string(title::kController) + " | " + text::kCloseQuestion;

class Shutdown : public AppTest {
protected:
    static bool sessionOpen(ViSession vi)
    {
        ViInt32 relay = 0;
        return ZEV_QX70_QueryOutputRelay(vi, kChannel, &relay) == VI_SUCCESS;
    }
    // Marks COM port `port` open in the serial library, as a test open would leave it.
    void holdComPort(int port)
    {
        const std::string name = "ASRL" + std::to_string(port) + "::INSTR";
        if (!visa::findDevice(name))
            attach(name, visa::findDevice("ASRL1::INSTR"));
        ASSERT_EQ(rs232::OpenComConfig(port, "", 9600, 0, 8, 1, 512, 512), 0);
    }
    static bool comPortOpen(int port) { return rs232::CloseCom(port) == 0; }
    // After a confirmed close, by button or window.
    void expectEnded(ViSession vi, bool relayClosed, int displayMode)
    {
        EXPECT_EQ(popups(), Events{kCloseConfirm});
        EXPECT_FALSE(sessionOpen(vi));
        const sim::Snapshot s = simulator->snapshot();
        EXPECT_EQ(std::make_tuple(s.settings.output, s.settings.displayMode), std::make_tuple(relayClosed, displayMode));
        EXPECT_EQ(value<int>(mainpanel, MAIN_GPIB) + value<int>(mainpanel, MAIN_RS232), 0);
        EXPECT_FALSE(toolkit.displayed(steady));
        EXPECT_TRUE(toolkit.displayed(mainpanel));
        EXPECT_EQ(state.steadypanel, 0);
    }
};

TEST_F(Shutdown, QuitConfirmedEndsTheLoopWithZeroWithoutTouchingTheSession)
{
    connected();
    toolkit.answerConfirm(true);
    toolkit.schedule([this] { toolkit.click(mainpanel, MAIN_QUIT); });

    EXPECT_EQ(ui::RunUserInterface(), 0);

    EXPECT_EQ(popups(), Events{kQuitConfirm});
    EXPECT_EQ(toolkit.quitCodes(), std::vector<int>{0});
    EXPECT_TRUE(timeline.writes().empty()); // no close, no relay change
    EXPECT_TRUE(sessionOpen(state.vi));
    EXPECT_TRUE(toolkit.displayed(steady));
}

TEST_F(Shutdown, QuitAndCloseCloseTheComPortOnceAnRs232SetUpHasTriedIt)
{
    connected();
    holdComPort(1);
    toolkit.answerConfirm(false);
    EXPECT_EQ(toolkit.click(mainpanel, MAIN_QUIT), 0);
    EXPECT_TRUE(comPortOpen(1)); // comopened is 0 after a GPIB set-up

    ASSERT_EQ(connectRs232(1), 0);
    holdComPort(1);
    toolkit.clearPopups();
    toolkit.answerConfirm(false);
    EXPECT_EQ(toolkit.click(mainpanel, MAIN_QUIT), 0);
    EXPECT_FALSE(comPortOpen(1)); // closed again although the operator said no
    EXPECT_EQ(popups(), Events{kQuitConfirm});
    EXPECT_TRUE(toolkit.quitCodes().empty());
    EXPECT_TRUE(sessionOpen(state.vi));
    EXPECT_TRUE(toolkit.displayed(state.steadypanel));

    // comopened stays 1 from a failed RS-232 attempt into the next GPIB connection.
    setenv("QX_COM2", "/nonexistent/ttyQX", 1);
    ASSERT_EQ(connectRs232(2), -1);
    unsetenv("QX_COM2");
    connected();
    holdComPort(2);
    toolkit.answerConfirm(true);
    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);
    EXPECT_FALSE(comPortOpen(2));
}

TEST_F(Shutdown, CloseButtonOpensTheRelaySetsDisplayModeOneThenEndsTheSession)
{
    preset({"OUTP 1", "DISP:MODE 2"});
    connected();
    const ViSession vi = state.vi;
    int outputSwitchAtDisplayMode = -1;
    beforeWrite = [&](const std::string &message) {
        if (message == "DISP:MODE 1")
            outputSwitchAtDisplayMode = value<int>(steady, STEADY_OUTPUT);
    };
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);

    EXPECT_EQ(events(), (Events{"> OUTP 0", "wait 0.03", "> SYST:ERR?", "wait 0.05", "< 0,\"No error\"\\n",
                                "wait 0.05", "wait 0.05", "> DISP:MODE 1", "wait 0.03", "> SYST:ERR?", "wait 0.05",
                                "< 0,\"No error\"\\n", "wait 0.05", "wait 0.05", "> SYST:LOC", "wait 0.03", "wait 0.05"}));
    EXPECT_EQ(outputSwitchAtDisplayMode, 0);
    EXPECT_FALSE(simulator->snapshot().remote);
    expectEnded(vi, false, 1);
}

TEST_F(Shutdown, ClosingTheWindowEndsTheSessionButLeavesRelayAndDisplayAlone)
{
    preset({"OUTP 1", "DISP:MODE 2"});
    connected();
    const ViSession vi = state.vi;
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.close(steady), 0);

    EXPECT_EQ(events(), (Events{"> SYST:LOC", "wait 0.03", "wait 0.05"}));
    expectEnded(vi, true, 2);
}

TEST_F(Shutdown, CloseButtonOnAFailingSessionStillRunsEveryStep)
{
    connected();
    const ViSession vi = state.vi;
    ASSERT_TRUE(simulator->setFaults({.closeAfter = 1}));
    toolkit.answerConfirm(true);

    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);

    EXPECT_TRUE(sent("DISP:MODE 1"));
    EXPECT_FALSE(toolkit.displayed(steady));
    EXPECT_EQ(state.steadypanel, 0);
    EXPECT_FALSE(sessionOpen(vi));
}

TEST_F(Shutdown, CloseDeclinedOnButtonOrWindowChangesNothing)
{
    connected();
    toolkit.answerConfirm(false);
    toolkit.answerConfirm(false);

    EXPECT_EQ(toolkit.click(steady, STEADY_CLOSE), 0);
    EXPECT_EQ(toolkit.close(steady), 0);

    EXPECT_EQ(popups(), (Events{kCloseConfirm, kCloseConfirm}));
    EXPECT_TRUE(timeline.writes().empty());
    EXPECT_TRUE(toolkit.displayed(steady));
    EXPECT_TRUE(sessionOpen(state.vi));
}

// Shows each popup on standard error, where the death test can read it after the exit.
class PopupPrinter final : public ui::Backend {
public:
    std::unique_ptr<ui::PanelView> createPanel(const ui::PanelRecord &, int) override { return nullptr; }
    int messagePopup(const std::string &title, const std::string &message) override
    {
        return std::fprintf(stderr, "[%s] %s\n", title.c_str(), message.c_str()) > 0 ? 0 : -1;
    }
    int confirmPopup(const std::string &, const std::string &) override { return 0; }
    int runEventLoop() override { return 0; }
    void quitEventLoop(int) override {}
};

TEST(ErrorCheck, ShowsTheMessageTitledQxSeriesAndEndsTheProcessWithMinusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT((ui::installBackend(std::make_unique<PopupPrinter>()),
                 errorCheck(text::kMainLoadError, ui::UIE_FILE_NOT_FOUND)),
                ::testing::ExitedWithCode(255), "^\\[QX Series\\] Error Loading Main Window\n$");
}

} // namespace
} // namespace qx::app::test
