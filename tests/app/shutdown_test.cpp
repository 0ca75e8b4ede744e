// Quitting, the close button, closing the steady window, and the fatal start-up report.
#include "app_fixture.h"

#include "ui/backend.h"

#include <cstdio>

namespace qx::app::test {
namespace {

const std::string kQuitConfirm = popup(title::kController, text::kQuitQuestion);
const std::string kCloseConfirm = popup(title::kController, text::kCloseQuestion);

class Shutdown : public AppTest {
protected:
    // Marks COM port `port` open in the serial library, as a test open would leave it.
    void holdComPort(int port)
    {
        const std::string name = "ASRL" + std::to_string(port) + "::INSTR";
        if (!visa::findDevice(name))
            attach(name, visa::findDevice("ASRL1::INSTR"));
        ASSERT_EQ(rs232::OpenComConfig(port, "", 9600, 0, 8, 1, 512, 512), 0);
    }
    static bool comPortOpen(int port) { return rs232::CloseCom(port) == 0; }
    // After a declined close, which changed nothing, then a confirmed one, by button or window.
    void expectEnded(ViSession vi, bool relayClosed, int displayMode)
    {
        const sim::Snapshot s = simulator->snapshot();
        EXPECT_EQ(std::make_tuple(popups(), sessionOpen(vi), s.settings.output, s.settings.displayMode),
                  std::make_tuple(Events{kCloseConfirm, kCloseConfirm}, false, relayClosed, displayMode));
        EXPECT_EQ(std::make_tuple(value<int>(mainpanel, MAIN_GPIB), value<int>(mainpanel, MAIN_RS232),
                                  toolkit.displayed(steady), toolkit.displayed(mainpanel), state.steadypanel,
                                  text(mainpanel, MAIN_STATUS)),
                  std::make_tuple(0, 0, false, true, 0, std::string(text::kChooseStatus)));
    }
};

TEST_F(Shutdown, QuitConfirmedByButtonOrMainWindowCloseEndsTheLoopWithZeroAndGivesTheInstrumentBackToLocal)
{
    connected();
    toolkit.answerConfirm(false);
    toolkit.schedule([this] { closeWindow(mainpanel); }); // declined: the program goes on
    toolkit.answerConfirm(true);
    toolkit.schedule([this] { click(mainpanel, MAIN_QUIT); });

    EXPECT_EQ(ui::RunUserInterface(), 0);

    // The relay asked (off: nothing more to ask), no relay change; the session ends in local.
    const ViSession vi = state.vi;
    EXPECT_EQ((std::tuple{popups(), toolkit.quitCodes(), timeline.writes(), sessionOpen(vi), simulator->snapshot().remote}),
              std::make_tuple(Events{kQuitConfirm, kQuitConfirm}, std::vector<int>{0},
                              Events{"OUTP?", "SYST:ERR?", "*CLS", "OUTP?", "SYST:ERR?", "*CLS", "SYST:LOC"}, false, false));
    toolkit.answerConfirm(true);
    EXPECT_EQ(closeWindow(mainpanel), 0);
    EXPECT_EQ(toolkit.quitCodes(), (std::vector<int>{0, 0})) << "the window's close quits as the button does";
}

TEST_F(Shutdown, QuitAndCloseCloseTheComPortOnceAnRs232SetUpHasTriedIt)
{
    connected();
    holdComPort(1);
    toolkit.answerConfirm(false);
    EXPECT_EQ(click(mainpanel, MAIN_QUIT), 0);
    EXPECT_TRUE(comPortOpen(1)); // comopened is 0 after a GPIB set-up

    ASSERT_EQ(connectRs232(1), 0);
    holdComPort(1);
    toolkit.clearPopups();
    toolkit.answerConfirm(false);
    EXPECT_EQ(click(mainpanel, MAIN_QUIT), 0);
    EXPECT_FALSE(comPortOpen(1)); // closed again although the operator said no
    EXPECT_EQ(std::make_tuple(popups(), toolkit.quitCodes(), sessionOpen(state.vi), toolkit.displayed(state.steadypanel)),
              std::make_tuple(Events{kQuitConfirm}, std::vector<int>{}, true, true));

    // comopened stays 1 from a failed RS-232 attempt into the next GPIB connection.
    setenv("QX_COM2", "/nonexistent/ttyQX", 1);
    ASSERT_EQ(connectRs232(2), -1);
    unsetenv("QX_COM2");
    connected();
    holdComPort(2);
    toolkit.answerConfirm(true);
    EXPECT_EQ(click(steady, STEADY_CLOSE), 0);
    EXPECT_FALSE(comPortOpen(2));
}

TEST_F(Shutdown, CloseButtonOnceConfirmedOpensTheRelaySetsDisplayModeOneThenEndsTheSession)
{
    preset({"OUTP 1", "DISP:MODE 2"});
    connected();
    const ViSession vi = state.vi;
    int outputSwitchAtDisplayMode = -1;
    beforeWrite = [&](const std::string &message) {
        if (message == "DISP:MODE 1")
            outputSwitchAtDisplayMode = value<int>(steady, STEADY_OUTPUT);
    };
    toolkit.answerConfirm(false);
    ASSERT_EQ(click(steady, STEADY_CLOSE), 0);
    ASSERT_TRUE(events().empty() && toolkit.displayed(steady)); // nothing sent: the session lives on
    toolkit.answerConfirm(true);

    EXPECT_EQ(click(steady, STEADY_CLOSE), 0);

    EXPECT_EQ(events(), join({{"> OUTP 0", "wait 0.03"}, kNoError, {"wait 0.05", "> DISP:MODE 1", "wait 0.03"}, kNoError,
                              {"wait 0.05", "> SYST:LOC", "wait 0.03", "wait 0.05"}}));
    EXPECT_EQ(std::make_pair(outputSwitchAtDisplayMode, simulator->snapshot().remote), std::make_pair(0, false));
    expectEnded(vi, false, 1);
}

TEST_F(Shutdown, ClosingTheWindowOnceConfirmedEndsTheSessionButLeavesRelayAndDisplayAlone)
{
    preset({"DISP:MODE 2"});
    connected();
    const ViSession vi = state.vi;
    const Events relayAsked{"OUTP?", "SYST:ERR?", "*CLS"}; // open: the plain question follows
    toolkit.answerConfirm(false);
    ASSERT_EQ(closeWindow(steady), 0);
    ASSERT_TRUE(timeline.writes() == relayAsked && toolkit.displayed(steady)); // the session lives on
    toolkit.answerConfirm(true);

    EXPECT_EQ(closeWindow(steady), 0);

    EXPECT_EQ(timeline.writes(), join({relayAsked, relayAsked, {"SYST:LOC"}}));
    expectEnded(vi, false, 2);
}

TEST_F(Shutdown, CloseButtonOnAFailingSessionStillRunsEveryStep)
{
    connected();
    const ViSession vi = state.vi;
    ASSERT_TRUE(simulator->setFaults({.closeAfter = 1}));
    toolkit.answerConfirm(true);

    EXPECT_EQ(click(steady, STEADY_CLOSE), 0);

    EXPECT_EQ(std::make_tuple(sent("DISP:MODE 1"), toolkit.displayed(steady), state.steadypanel, sessionOpen(vi)),
              std::make_tuple(true, false, 0, false));
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
    int choicePopup(const std::string &, const std::string &, const std::vector<std::string> &choices) override
    {
        return static_cast<int>(choices.size()) - 1;
    }
    int runEventLoop() override { return 0; }
    void quitEventLoop(int) override {}
    void post(std::function<void()>) override {}
    void processEvents() override {}
    void setWaitCursor(bool) override {}
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
