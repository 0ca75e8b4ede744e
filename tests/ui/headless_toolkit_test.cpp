// The toolkit API through the headless backend, on the shipped QXSERIES.UIR.
#include "ui/headless_toolkit.h"

#include "qxseries_panels.h"
#include "recording_callbacks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace qx::ui;
using qx::ui::test::Call;
using qx::ui::test::recorder;
using qx::ui::test::recordingCallbacks;
using Names = std::vector<std::string>;

namespace {

template <class T> T value(int panel, int control)
{
    T v{};
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0) << control;
    return v;
}

int ignore(int, int, int, void *, int, int) { return 0; }

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorder() = {};
        ASSERT_EQ(RegisterCallbacks(recordingCallbacks()), 0);
        ui = &useHeadless();
        mainPanel = LoadPanel(0, test::panelResourceFile(), MAIN);
        steady = LoadPanel(0, test::panelResourceFile(), STEADY);
        ASSERT_GT(mainPanel, 0) << LastLoadError();
        ASSERT_GT(steady, 0) << LastLoadError();
    }
    void TearDown() override
    {
        CloseUserInterface();
        recorder() = {};
    }
    // Both panels up, the steady one in front; the focus events of that are forgotten.
    void displayBoth()
    {
        ASSERT_EQ(DisplayPanel(mainPanel), 0);
        ASSERT_EQ(DisplayPanel(steady), 0);
        recorder().calls.clear();
    }

    HeadlessToolkit *ui = nullptr;
    int mainPanel = 0;
    int steady = 0;
};

} // namespace

TEST_F(Headless, LoadFailuresAndBadCallbackTablesGiveNegativeStatusesWithADetail)
{
    EXPECT_EQ(LoadPanel(0, "/nonexistent/QXSERIES.UIR", MAIN), UIE_FILE_NOT_FOUND);
    EXPECT_NE(LastLoadError().find("/nonexistent/QXSERIES.UIR"), std::string::npos);
    EXPECT_EQ(LoadPanel(0, test::panelResourceFile(), 3), UIE_NO_SUCH_PANEL);
    EXPECT_EQ(LoadPanel(mainPanel, test::panelResourceFile(), STEADY), UIE_NOT_SUPPORTED);
    EXPECT_EQ(LoadPanel(0, static_cast<const char *>(nullptr), MAIN), UIE_NULL_POINTER);

    // Tables with repeated, empty or null entries are refused and the old table kept.
    const CallbackEntry repeated[] = {{"quit", ignore}, {"quit", ignore}};
    const CallbackEntry empty[] = {{"", ignore}};
    const CallbackEntry null[] = {{"quit", static_cast<CtrlCallbackPtr>(nullptr)}};
    EXPECT_EQ(RegisterCallbacks(repeated), UIE_BAD_CALLBACK_TABLE);
    EXPECT_EQ(RegisterCallbacks(empty), UIE_BAD_CALLBACK_TABLE);
    EXPECT_EQ(RegisterCallbacks(null), UIE_BAD_CALLBACK_TABLE);
    EXPECT_GT(LoadPanel(0, test::panelResourceFile(), STEADY), 0) << LastLoadError();

    // A table without "voltage": the steady panel cannot be bound, the main panel can.
    std::vector<CallbackEntry> table = recordingCallbacks();
    std::erase_if(table, [](const CallbackEntry &e) { return std::string(e.name) == "voltage"; });
    ASSERT_EQ(RegisterCallbacks(table), 0);
    EXPECT_EQ(LoadPanel(0, test::panelResourceFile(), STEADY), UIE_UNKNOWN_CALLBACK);
    EXPECT_NE(LastLoadError().find("\"voltage\""), std::string::npos) << LastLoadError();
    EXPECT_GT(LoadPanel(0, test::panelResourceFile(), MAIN), 0);
    EXPECT_EQ(LastLoadError(), "");

    // Without a backend every call says so.
    ASSERT_EQ(CloseUserInterface(), 0);
    EXPECT_EQ(LoadPanel(0, test::panelResourceFile(), MAIN), UIE_NOT_INITIALIZED);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_COMPORT, 2), UIE_NOT_INITIALIZED);
    EXPECT_EQ(MessagePopup("t", "m"), UIE_NOT_INITIALIZED);
    EXPECT_EQ(ConfirmPopup("t", "m"), UIE_NOT_INITIALIZED);
    EXPECT_EQ(RunUserInterface(), UIE_NOT_INITIALIZED);
    EXPECT_EQ(QuitUserInterface(0), UIE_NOT_INITIALIZED);
    EXPECT_EQ(DisplayPanel(1), UIE_NOT_INITIALIZED);
    EXPECT_EQ(raisePanelEvent(1, EVENT_CLOSE, 0, 0), UIE_NOT_INITIALIZED);
}

TEST_F(Headless, ValuesAreTypedAndBadHandlesIdsPointersAndBuffersGiveCodes)
{
    int i = 0;
    std::int16_t s = 0;
    double d = 0.0;
    std::string t;
    for (const int status : {GetCtrlVal(steady, STEADY_VOLTAGE, &i), GetCtrlVal(steady, STEADY_MEAS_PHASE, &i),
                             GetCtrlVal(steady, STEADY_REGISTER, &s), GetCtrlVal(steady, STEADY_REGISTER, &t),
                             GetCtrlVal(mainPanel, MAIN_MODEL, &d), GetCtrlVal(mainPanel, MAIN_QUIT, &i),
                             SetCtrlVal(steady, STEADY_REGISTER, 2.5), SetCtrlVal(steady, STEADY_VOLTAGE, "120"),
                             SetCtrlVal(mainPanel, MAIN_STATUS, 1), SetCtrlVal(mainPanel, MAIN_QUIT, 1)})
        EXPECT_EQ(status, UIE_TYPE_MISMATCH); // an error, not a conversion

    // Whole numbers go into any numeric control; 16-bit values read back as 16-bit.
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, 120), 0);
    EXPECT_DOUBLE_EQ(value<double>(steady, STEADY_VOLTAGE), 120.0);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_MEAS_PHASE, 2), 0);
    EXPECT_EQ(value<std::int16_t>(steady, STEADY_MEAS_PHASE), 2);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_CONNECTION, std::string("GPIB, Address 5")), 0);
    EXPECT_EQ(value<std::string>(steady, STEADY_CONNECTION), "GPIB, Address 5");

    EXPECT_EQ(GetCtrlVal(steady, STEADY_REGISTER, static_cast<int *>(nullptr)), UIE_NULL_POINTER);
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, static_cast<char *>(nullptr), 10), UIE_NULL_POINTER);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_MODEL, static_cast<const char *>(nullptr)), UIE_NULL_POINTER);
    EXPECT_EQ(GetCtrlRange(steady, STEADY_VOLTAGE, nullptr, nullptr), UIE_NULL_POINTER);
    EXPECT_EQ(GetCtrlVal(0, STEADY_REGISTER, &i), UIE_INVALID_PANEL);
    EXPECT_EQ(GetCtrlVal(steady, 999, &i), UIE_INVALID_CONTROL);
    EXPECT_EQ(GetCtrlVal(steady, MAIN_COMPORT, &i), UIE_INVALID_CONTROL); // an ID of the other panel
    EXPECT_EQ(DisplayPanel(-4), UIE_INVALID_PANEL);

    // Text into a char buffer never overruns it.
    char buffer[7] = "xxxxxx";
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "7101QX");
    char small[4];
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, small, sizeof small), UIE_BUFFER_TOO_SMALL);
    EXPECT_STREQ(small, "710");
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, small, 0), UIE_NULL_POINTER);

    // A discarded panel's handle stays invalid: handles are not reused.
    ASSERT_EQ(DiscardPanel(steady), 0);
    EXPECT_EQ(DiscardPanel(steady), UIE_INVALID_PANEL);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_REGISTER, 1), UIE_INVALID_PANEL);
    EXPECT_GT(LoadPanel(0, test::panelResourceFile(), STEADY), steady);
}

TEST_F(Headless, NumbersStayWithinTheRangeAndMaximaChangeAtRunTime)
{
    double min = 0.0, max = 0.0;
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, 250.0), 0);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_VOLTAGE, 150.0), 0);
    EXPECT_EQ(GetCtrlRange(steady, STEADY_VOLTAGE, &min, &max), 0);
    EXPECT_EQ(max, 150.0);
    EXPECT_DOUBLE_EQ(value<double>(steady, STEADY_VOLTAGE), 150.0); // coerced into the new range
    for (const auto &[set, held] : {std::pair{500.0, 150.0}, {-3.0, 0.0}}) {
        EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, set), 0);
        EXPECT_DOUBLE_EQ(value<double>(steady, STEADY_VOLTAGE), held);
    }
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, NAN), UIE_INVALID_VALUE);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_VOLTAGE, NAN), UIE_INVALID_RANGE);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_VOLTAGE, -1.0), UIE_INVALID_RANGE); // below the minimum

    // Integer controls round their maximum down.
    struct Rounding {
        int control;
        double set, held;
    };
    for (const Rounding r : {Rounding{.control = STEADY_REGISTER, .set = 4.7, .held = 4.0},
                             Rounding{.control = STEADY_MEAS_PHASE, .set = 1e9, .held = 32767.0}}) {
        EXPECT_EQ(SetCtrlMax(steady, r.control, r.set), 0);
        EXPECT_EQ(GetCtrlRange(steady, r.control, &min, &max), 0);
        EXPECT_EQ(max, r.held);
    }

    // Switches and toggles hold 0 or 1 and have no settable range.
    for (const auto &[set, held] : {std::pair{7, 1}, {-7, 1}, {0, 0}}) {
        EXPECT_EQ(SetCtrlVal(steady, STEADY_OUTPUT, set), 0);
        EXPECT_EQ(value<int>(steady, STEADY_OUTPUT), held) << set;
    }
    EXPECT_EQ(SetCtrlMax(steady, STEADY_OUTPUT, 5.0), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlMax(mainPanel, MAIN_MODEL, 5.0), UIE_TYPE_MISMATCH);
}

TEST_F(Headless, ProgramSetsRaiseNoEventButOperatorActionsReachTheCallbackBoundByName)
{
    displayBoth();
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, 120.0), 0);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_RANGE, 0), 0);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_MEASURE, 1), 0);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_GPIB, 1), 0);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_MODEL, "7103QX"), 0);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_CURRENT, 1.0), 0);
    EXPECT_EQ(SetCtrlDimmed(steady, STEADY_ANGLE_0, 0), 0);
    EXPECT_TRUE(recorder().calls.empty());

    double seen = 0.0;
    recorder().behaviour = [&](const Call &c) {
        if (c.callback == "voltage")
            GetCtrlVal(c.panel, c.control, &seen);
        return c.callback == "current" ? -1 : 0;
    };
    EXPECT_EQ(ui->commit(steady, STEADY_VOLTAGE, 130.0), 0);
    ASSERT_EQ(recorder().calls.size(), 1u);
    const Call &call = recorder().calls[0];
    EXPECT_EQ(std::make_tuple(call.panel, call.control, call.event, call.data),
              std::make_tuple(steady, STEADY_VOLTAGE, EVENT_COMMIT, nullptr));
    EXPECT_DOUBLE_EQ(seen, 130.0);

    EXPECT_EQ(ui->commit(steady, STEADY_CURRENT, 2.5), -1); // the callback's own result
    EXPECT_EQ(ui->click(mainPanel, MAIN_GPIB), 0);
    EXPECT_EQ(value<int>(mainPanel, MAIN_GPIB), 0); // flipped from the 1 the program set
    EXPECT_EQ(ui->click(steady, STEADY_REGISTER_GO), 0);
    EXPECT_EQ(ui->rightClick(steady, STEADY_DISPLAY), 0);
    EXPECT_EQ(ui->commit(steady, STEADY_MEAS_PHASE, std::int16_t{3}), 0); // no callback: nothing runs
    EXPECT_EQ(ui->commit(mainPanel, MAIN_MODEL, "7103qx"), 0);
    EXPECT_EQ(value<std::string>(mainPanel, MAIN_MODEL), "7103qx");
    EXPECT_EQ(recorder().names(),
              (Names{"voltage:1", "current:1", "interfaceGPIB:1", "register_control:1", "display_on_off:5"}));
}

TEST_F(Headless, TheOperatorCannotReachHiddenDimmedOrDisplayOnlyControls)
{
    EXPECT_EQ(ui->click(steady, STEADY_OUTPUT), UIE_PANEL_HIDDEN);
    displayBoth();
    EXPECT_EQ(ui->click(steady, STEADY_ANGLE_0), UIE_CONTROL_DIMMED);
    EXPECT_EQ(value<int>(steady, STEADY_ANGLE_0), 0);
    EXPECT_EQ(ui->rightClick(steady, STEADY_ANGLE_0), UIE_CONTROL_DIMMED);
    EXPECT_EQ(ui->commit(steady, STEADY_MEAS_VOLTAGE, 1.0), UIE_NOT_SUPPORTED);
    EXPECT_EQ(ui->commit(steady, STEADY_STATUS), UIE_NOT_SUPPORTED);
    EXPECT_EQ(ui->click(steady, STEADY_VOLTAGE), UIE_NOT_SUPPORTED);
    EXPECT_EQ(ui->commit(steady, STEADY_REGISTER, 1.5), UIE_TYPE_MISMATCH);
    EXPECT_EQ(ui->commit(steady, 999), UIE_INVALID_CONTROL);
    EXPECT_TRUE(recorder().calls.empty());

    ASSERT_EQ(SetCtrlDimmed(steady, STEADY_ANGLE_0, 0), 0);
    EXPECT_EQ(ui->click(steady, STEADY_ANGLE_0), 0);
    EXPECT_EQ(recorder().names(), Names{"Angle1:1"});
}

TEST_F(Headless, ActivationRaisesFocusEventsAndClosingLeavesThePanelUntilTheCallbackDiscardsIt)
{
    EXPECT_FALSE(ui->displayed(mainPanel) || ui->displayed(steady)); // panels load hidden
    ASSERT_EQ(DisplayPanel(mainPanel), 0); // no panel callback on the main panel
    ASSERT_EQ(DisplayPanel(steady), 0);
    EXPECT_EQ(ui->activePanel(), steady);
    ASSERT_EQ(DisplayPanel(steady), 0); // already in front: no second event
    EXPECT_EQ(ui->activate(mainPanel), 0);
    EXPECT_EQ(ui->activate(steady), 0);
    EXPECT_EQ(ui->close(steady), 0);
    EXPECT_EQ(recorder().names(), (Names{"steady_panel:8", "steady_panel:9", "steady_panel:8", "steady_panel:11"}));
    for (const Call &c : recorder().calls)
        EXPECT_EQ(c.panel, steady);
    EXPECT_TRUE(ui->displayed(steady));

    recorder().behaviour = [](const Call &c) { return c.event == EVENT_CLOSE ? DiscardPanel(c.panel) : 0; };
    EXPECT_EQ(ui->close(steady), 0);
    EXPECT_FALSE(ui->displayed(steady));
    EXPECT_EQ(ui->activePanel(), 0);
    EXPECT_EQ(ui->close(steady), UIE_INVALID_PANEL);
    EXPECT_EQ(ui->close(mainPanel), 0); // no panel callback: nothing happens, the panel stays
    EXPECT_TRUE(ui->displayed(mainPanel));

    const int another = LoadPanel(0, test::panelResourceFile(), STEADY);
    EXPECT_EQ(ui->activate(another), UIE_PANEL_HIDDEN);
}

TEST_F(Headless, EventsRaisedWhileACallbackRunsWaitForItToReturn)
{
    ASSERT_EQ(DisplayPanel(mainPanel), 0);
    recorder().behaviour = [&](const Call &c) {
        if (c.callback == "interfaceGPIB") {
            DisplayPanel(steady); // got focus now would re-enter; it must come after
            recorder().calls.push_back({"end of interfaceGPIB"});
        }
        return 0;
    };
    EXPECT_EQ(ui->click(mainPanel, MAIN_GPIB), 0);
    EXPECT_EQ(recorder().names(), (Names{"interfaceGPIB:1", "end of interfaceGPIB:0", "steady_panel:8"}));

    // A panel discarded by the callback drops its waiting got focus; the steady panel, which lost
    // the focus to it, still hears of that.
    recorder().calls.clear();
    const int another = LoadPanel(0, test::panelResourceFile(), STEADY);
    recorder().behaviour = [&](const Call &c) {
        if (c.callback == "interfaceRS232") {
            DisplayPanel(another);
            DiscardPanel(another);
        }
        return 0;
    };
    EXPECT_EQ(ui->click(mainPanel, MAIN_RS232), 0);
    EXPECT_EQ(recorder().names(), (Names{"interfaceRS232:1", "steady_panel:9"}));
    EXPECT_EQ(recorder().calls[1].panel, steady);

    // A callback that throws is stopped there and the toolkit carries on.
    recorder().calls.clear();
    recorder().behaviour = [](const Call &c) -> int {
        if (c.callback == "measure")
            throw std::runtime_error("boom");
        return 0;
    };
    EXPECT_EQ(ui->click(steady, STEADY_MEASURE), UIE_INTERNAL);
    EXPECT_EQ(ui->click(steady, STEADY_DROP), 0);
    EXPECT_EQ(recorder().names(), (Names{"measure:1", "OutputDrop:1"}));
}

TEST_F(Headless, PopupsAreRecordedAndConfirmationsAnsweredFromTheQueue)
{
    EXPECT_EQ(MessagePopup("QX Series Error", "Error programming instrument.\nPlease check your instrument."), 0);
    ui->answerConfirm(true);
    ui->answerConfirm(false);
    EXPECT_EQ(ConfirmPopup("QX Series Controller", "Do you want to quit the program?"), 1);
    EXPECT_EQ(ConfirmPopup(std::string("QX Series Controller"), std::string("Do you want to close the program?")), 0);
    EXPECT_EQ(ui->pendingAnswers(), 0u);
    EXPECT_EQ(ui->unansweredConfirms(), 0u);
    EXPECT_EQ(ConfirmPopup("QX Series Controller", "Unexpected?"), 0); // nobody answered: no, and flagged
    EXPECT_EQ(ui->unansweredConfirms(), 1u);
    EXPECT_EQ(MessagePopup(nullptr, "text"), UIE_NULL_POINTER);
    // The run time's popups show through the toolkit too.
    ToolkitPopupService service;
    qx::runtime::ScopedPopupService guard(service);
    qx::runtime::MessagePopup("Error Message", "\nOutput Drop function only supports 0, 90, 180, 270 phase angle");

    using Kind = HeadlessToolkit::Popup::Kind;
    const auto &p = ui->popups();
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].kind, Kind::Message);
    EXPECT_EQ(p[0].title, "QX Series Error");
    EXPECT_EQ(p[0].message, "Error programming instrument.\nPlease check your instrument.");
    EXPECT_EQ(p[1].kind, Kind::Confirm);
    EXPECT_EQ(p[1].message, "Do you want to quit the program?");
    EXPECT_EQ(std::make_tuple(p[1].answer, p[2].answer, p[2].unanswered, p[3].unanswered),
              std::make_tuple(1, 0, false, true));
    EXPECT_EQ(p[4].title + "|" + p[4].message,
              "Error Message|\nOutput Drop function only supports 0, 90, 180, 270 phase angle");
}

TEST_F(Headless, TheEventLoopRunsTheScriptUntilACallbackQuits)
{
    ASSERT_EQ(DisplayPanel(mainPanel), 0);
    recorder().behaviour = [](const Call &c) {
        if (c.callback == "quit")
            QuitUserInterface(7);
        if (c.callback == "interfaceGPIB") {
            EXPECT_EQ(RunUserInterface(), UIE_LOOP_RUNNING);
        }
        return 0;
    };
    bool ranAfterQuit = false;
    ui->schedule([&] { ui->click(mainPanel, MAIN_GPIB); });
    ui->schedule([&] { ui->click(mainPanel, MAIN_QUIT); });
    ui->schedule([&] { ranAfterQuit = true; });
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_FALSE(ranAfterQuit);
    EXPECT_EQ(ui->quitCodes(), std::vector<int>{7});
    EXPECT_EQ(recorder().names(), (Names{"interfaceGPIB:1", "quit:1"}));

    // Nothing left to do and nobody quit: the loop says so instead of hanging.
    EXPECT_EQ(RunUserInterface(), UIE_NO_MORE_EVENTS);
}

TEST(Toolkit, DelayGoesThroughTheOneClock)
{
    qx::runtime::Timeline timeline;
    qx::runtime::VirtualClock clock(&timeline);
    qx::runtime::ScopedClock guard(clock);
    Delay(0.05);
    EXPECT_EQ(timeline.events(), Names{"wait 0.05"});
}

TEST(Toolkit, ThePanelResourceIsFoundNextToTheProgram)
{
    const std::string path = test::panelResourceFile();
    EXPECT_NE(path.find("QXSERIES.UIR"), std::string::npos);
    EXPECT_NE(path, "QXSERIES.UIR") << "not next to the test program";
    EXPECT_EQ(PanelResourcePath("NOSUCH.UIR"), "NOSUCH.UIR");
    EXPECT_EQ(PanelResourcePath(nullptr), "");
}

TEST(ToolkitDeathTest, ExitProcessEndsTheProcessWithTheStatus)
{
    EXPECT_EXIT(ExitProcess(-1), ::testing::ExitedWithCode(255), "");
}
