// The toolkit API through the headless backend, on the shipped QXSERIES.UIR.
#include "ui/headless_toolkit.h"

#include "qxseries_panels.h"
#include "recording_callbacks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>

using namespace qx::ui;
using qx::ui::test::Call;
using qx::ui::test::recorder;
using qx::ui::test::recordingCallbacks;

namespace {

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorder().reset();
        ASSERT_EQ(RegisterCallbacks(recordingCallbacks()), 0);
        ui = &useHeadless();
        mainPanel = LoadPanel(0, PanelResourcePath(), MAIN);
        steady = LoadPanel(0, PanelResourcePath(), STEADY);
        ASSERT_GT(mainPanel, 0) << LastLoadError();
        ASSERT_GT(steady, 0) << LastLoadError();
    }
    void TearDown() override
    {
        CloseUserInterface();
        recorder().reset();
    }
    // Both panels up, the steady one in front; the focus events of that are forgotten.
    void displayBoth()
    {
        ASSERT_EQ(DisplayPanel(mainPanel), 0);
        ASSERT_EQ(DisplayPanel(steady), 0);
        recorder().calls.clear();
    }
    std::vector<std::string> callbacksCalled() const
    {
        std::vector<std::string> names;
        for (const Call &c : recorder().calls)
            names.push_back(c.callback + ":" + std::to_string(c.event));
        return names;
    }

    HeadlessToolkit *ui = nullptr;
    int mainPanel = 0;
    int steady = 0;
};

std::string text(int panel, int control)
{
    std::string value;
    EXPECT_EQ(GetCtrlVal(panel, control, &value), 0);
    return value;
}

int integer(int panel, int control)
{
    int value = -12345;
    EXPECT_EQ(GetCtrlVal(panel, control, &value), 0);
    return value;
}

int ignore(int, int, int, void *, int, int) { return 0; }

double real(int panel, int control)
{
    double value = NAN;
    EXPECT_EQ(GetCtrlVal(panel, control, &value), 0);
    return value;
}

} // namespace

TEST_F(Headless, LoadsBothPanelsHiddenWithTheResourceDefaults)
{
    EXPECT_NE(mainPanel, steady);
    EXPECT_FALSE(ui->displayed(mainPanel));
    EXPECT_FALSE(ui->displayed(steady));
    EXPECT_EQ(text(mainPanel, MAIN_MODEL), "7101QX");
    EXPECT_EQ(text(mainPanel, MAIN_STATUS), "Choose the address or com port before selecting GPIB or RS-232");
    EXPECT_EQ(integer(mainPanel, MAIN_COMPORT), 1);
    EXPECT_EQ(integer(mainPanel, MAIN_GPIB), 0);
    EXPECT_EQ(integer(steady, STEADY_RANGE), 1);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_DROPTIME), 0.1);
    int dimmed = 0;
    EXPECT_EQ(GetCtrlDimmed(steady, STEADY_ANGLE_90, &dimmed), 0);
    EXPECT_EQ(dimmed, 1);
    EXPECT_TRUE(recorder().calls.empty());
}

TEST_F(Headless, LoadFailuresGiveNegativeStatusesWithADetail)
{
    EXPECT_EQ(LoadPanel(0, "/nonexistent/QXSERIES.UIR", MAIN), UIE_FILE_NOT_FOUND);
    EXPECT_NE(LastLoadError().find("/nonexistent/QXSERIES.UIR"), std::string::npos);
    EXPECT_EQ(LoadPanel(0, PanelResourcePath(), 3), UIE_NO_SUCH_PANEL);
    EXPECT_EQ(LoadPanel(mainPanel, PanelResourcePath(), STEADY), UIE_NOT_SUPPORTED);
    EXPECT_EQ(LoadPanel(0, static_cast<const char *>(nullptr), MAIN), UIE_NULL_POINTER);

    // A table without "voltage": the steady panel cannot be bound, the main panel can.
    std::vector<CallbackEntry> table = recordingCallbacks();
    std::erase_if(table, [](const CallbackEntry &e) { return std::string(e.name) == "voltage"; });
    ASSERT_EQ(RegisterCallbacks(table), 0);
    EXPECT_EQ(LoadPanel(0, PanelResourcePath(), STEADY), UIE_UNKNOWN_CALLBACK);
    EXPECT_NE(LastLoadError().find("\"voltage\""), std::string::npos) << LastLoadError();
    EXPECT_GT(LoadPanel(0, PanelResourcePath(), MAIN), 0);
    EXPECT_EQ(LastLoadError(), "");

    ASSERT_EQ(CloseUserInterface(), 0);
    EXPECT_EQ(LoadPanel(0, PanelResourcePath(), MAIN), UIE_NOT_INITIALIZED);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_COMPORT, 2), UIE_NOT_INITIALIZED);
}

TEST_F(Headless, CallbackTablesWithEmptyRepeatedOrNullEntriesAreRefusedAndTheOldTableKept)
{
    const CallbackEntry repeated[] = {{"quit", ignore}, {"quit", ignore}};
    EXPECT_EQ(RegisterCallbacks(repeated), UIE_BAD_CALLBACK_TABLE);
    const CallbackEntry empty[] = {{"", ignore}};
    EXPECT_EQ(RegisterCallbacks(empty), UIE_BAD_CALLBACK_TABLE);
    const CallbackEntry null[] = {{"quit", static_cast<CtrlCallbackPtr>(nullptr)}};
    EXPECT_EQ(RegisterCallbacks(null), UIE_BAD_CALLBACK_TABLE);
    EXPECT_GT(LoadPanel(0, PanelResourcePath(), STEADY), 0) << LastLoadError();
}

TEST_F(Headless, ValuesAreTypedAndAMismatchIsAnErrorNotAConversion)
{
    int i = 0;
    std::int16_t s = 0;
    double d = 0.0;
    std::string t;
    EXPECT_EQ(GetCtrlVal(steady, STEADY_VOLTAGE, &i), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(steady, STEADY_MEAS_PHASE, &i), UIE_TYPE_MISMATCH); // 16-bit control
    EXPECT_EQ(GetCtrlVal(steady, STEADY_REGISTER, &s), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(steady, STEADY_REGISTER, &t), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, &d), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_QUIT, &i), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_REGISTER, 2.5), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, "120"), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_STATUS, 1), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_QUIT, 1), UIE_TYPE_MISMATCH);

    // Whole numbers go into any numeric control; 16-bit values read back as 16-bit.
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, 120), 0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_VOLTAGE), 120.0);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_MEAS_PHASE, 2), 0);
    EXPECT_EQ(GetCtrlVal(steady, STEADY_MEAS_PHASE, &s), 0);
    EXPECT_EQ(s, 2);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_TIMED_DROP, std::int16_t{1}), 0);
    EXPECT_EQ(GetCtrlVal(steady, STEADY_TIMED_DROP, &s), 0);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_CONNECTION, std::string("GPIB, Address 5")), 0);
    EXPECT_EQ(text(steady, STEADY_CONNECTION), "GPIB, Address 5");
}

TEST_F(Headless, BadHandlesIdsAndPointersGiveCodes)
{
    int i = 0;
    EXPECT_EQ(GetCtrlVal(steady, STEADY_REGISTER, static_cast<int *>(nullptr)), UIE_NULL_POINTER);
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, static_cast<char *>(nullptr), 10), UIE_NULL_POINTER);
    EXPECT_EQ(SetCtrlVal(mainPanel, MAIN_MODEL, static_cast<const char *>(nullptr)), UIE_NULL_POINTER);
    EXPECT_EQ(GetCtrlRange(steady, STEADY_VOLTAGE, nullptr, nullptr), UIE_NULL_POINTER);
    EXPECT_EQ(GetCtrlVal(0, STEADY_REGISTER, &i), UIE_INVALID_PANEL);
    EXPECT_EQ(GetCtrlVal(steady, 999, &i), UIE_INVALID_CONTROL);
    EXPECT_EQ(GetCtrlVal(steady, MAIN_COMPORT, &i), UIE_INVALID_CONTROL); // an ID of the other panel
    EXPECT_EQ(DisplayPanel(-4), UIE_INVALID_PANEL);

    // A discarded panel's handle stays invalid: handles are not reused.
    ASSERT_EQ(DiscardPanel(steady), 0);
    EXPECT_EQ(DiscardPanel(steady), UIE_INVALID_PANEL);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_REGISTER, 1), UIE_INVALID_PANEL);
    const int again = LoadPanel(0, PanelResourcePath(), STEADY);
    EXPECT_GT(again, steady);
}

TEST_F(Headless, TextIntoACharBufferNeverOverrunsIt)
{
    char buffer[7];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "7101QX");
    char small[4];
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, small, sizeof small), UIE_BUFFER_TOO_SMALL);
    EXPECT_STREQ(small, "710");
    EXPECT_EQ(GetCtrlVal(mainPanel, MAIN_MODEL, small, 0), UIE_NULL_POINTER);
}

TEST_F(Headless, NumbersStayWithinTheRangeAndMaximaChangeAtRunTime)
{
    double min = 0.0, max = 0.0;
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, 250.0), 0);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_VOLTAGE, 150.0), 0);
    EXPECT_EQ(GetCtrlRange(steady, STEADY_VOLTAGE, &min, &max), 0);
    EXPECT_EQ(max, 150.0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_VOLTAGE), 150.0); // coerced into the new range
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, 500.0), 0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_VOLTAGE), 150.0);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, -3.0), 0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_VOLTAGE), 0.0);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, NAN), UIE_INVALID_VALUE);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_VOLTAGE, NAN), UIE_INVALID_RANGE);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_VOLTAGE, -1.0), UIE_INVALID_RANGE); // below the minimum
    EXPECT_EQ(SetCtrlMin(steady, STEADY_VOLTAGE, 10.0), 0);
    EXPECT_EQ(GetCtrlRange(steady, STEADY_VOLTAGE, &min, &max), 0);
    EXPECT_EQ(min, 10.0);
    EXPECT_EQ(max, 150.0);
    EXPECT_DOUBLE_EQ(real(steady, STEADY_VOLTAGE), 10.0);

    // Integer controls round their limits inward.
    EXPECT_EQ(SetCtrlMax(steady, STEADY_REGISTER, 4.7), 0);
    EXPECT_EQ(GetCtrlRange(steady, STEADY_REGISTER, &min, &max), 0);
    EXPECT_EQ(max, 4.0);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_MEAS_PHASE, 1e9), 0);
    EXPECT_EQ(GetCtrlRange(steady, STEADY_MEAS_PHASE, &min, &max), 0);
    EXPECT_EQ(max, 32767.0);

    // Switches and toggles hold 0 or 1 and have no settable range.
    EXPECT_EQ(SetCtrlVal(steady, STEADY_OUTPUT, 7), 0);
    EXPECT_EQ(integer(steady, STEADY_OUTPUT), 1);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_OUTPUT, -7), 0);
    EXPECT_EQ(integer(steady, STEADY_OUTPUT), 1);
    EXPECT_EQ(SetCtrlVal(steady, STEADY_OUTPUT, 0), 0);
    EXPECT_EQ(integer(steady, STEADY_OUTPUT), 0);
    EXPECT_EQ(SetCtrlMax(steady, STEADY_OUTPUT, 5.0), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlMax(mainPanel, MAIN_MODEL, 5.0), UIE_TYPE_MISMATCH);
}

TEST_F(Headless, SettingValuesNeverRaisesAnEvent)
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
}

TEST_F(Headless, OperatorActionsReachTheCallbackBoundByNameWithTheNewValue)
{
    displayBoth();
    double seen = 0.0;
    recorder().behaviour = [&](const Call &c) {
        if (c.callback == "voltage")
            GetCtrlVal(c.panel, c.control, &seen);
        return c.callback == "current" ? -1 : 0;
    };

    EXPECT_EQ(ui->commit(steady, STEADY_VOLTAGE, 120.0), 0);
    ASSERT_EQ(recorder().calls.size(), 1u);
    const Call &call = recorder().calls[0];
    EXPECT_EQ(call.callback, "voltage");
    EXPECT_EQ(call.panel, steady);
    EXPECT_EQ(call.control, STEADY_VOLTAGE);
    EXPECT_EQ(call.event, EVENT_COMMIT);
    EXPECT_EQ(call.data, nullptr);
    EXPECT_DOUBLE_EQ(seen, 120.0);

    EXPECT_EQ(ui->commit(steady, STEADY_CURRENT, 2.5), -1); // the callback's own result
    EXPECT_EQ(ui->click(mainPanel, MAIN_GPIB), 0);
    EXPECT_EQ(integer(mainPanel, MAIN_GPIB), 1);
    EXPECT_EQ(ui->click(mainPanel, MAIN_GPIB), 0);
    EXPECT_EQ(integer(mainPanel, MAIN_GPIB), 0);
    EXPECT_EQ(ui->click(steady, STEADY_REGISTER_GO), 0);
    EXPECT_EQ(ui->rightClick(steady, STEADY_DISPLAY), 0);
    EXPECT_EQ(ui->commit(steady, STEADY_MEAS_PHASE, std::int16_t{3}), 0); // no callback: nothing runs
    EXPECT_EQ(ui->commit(mainPanel, MAIN_MODEL, "7103qx"), 0);
    EXPECT_EQ(text(mainPanel, MAIN_MODEL), "7103qx");
    EXPECT_EQ(callbacksCalled(), (std::vector<std::string>{"voltage:1", "current:1", "interfaceGPIB:1",
                                                           "interfaceGPIB:1", "register_control:1",
                                                           "display_on_off:5"}));
}

TEST_F(Headless, TheOperatorCannotReachHiddenDimmedOrDisplayOnlyControls)
{
    EXPECT_EQ(ui->click(steady, STEADY_OUTPUT), UIE_PANEL_HIDDEN);
    displayBoth();
    EXPECT_EQ(ui->click(steady, STEADY_ANGLE_0), UIE_CONTROL_DIMMED);
    EXPECT_EQ(integer(steady, STEADY_ANGLE_0), 0);
    EXPECT_EQ(ui->rightClick(steady, STEADY_ANGLE_0), UIE_CONTROL_DIMMED);
    EXPECT_EQ(ui->commit(steady, STEADY_MEAS_VOLTAGE, 1.0), UIE_NOT_SUPPORTED);
    EXPECT_EQ(ui->commit(steady, STEADY_STATUS), UIE_NOT_SUPPORTED);
    EXPECT_EQ(ui->click(steady, STEADY_VOLTAGE), UIE_NOT_SUPPORTED);
    EXPECT_EQ(ui->commit(steady, STEADY_REGISTER, 1.5), UIE_TYPE_MISMATCH);
    EXPECT_EQ(ui->commit(steady, 999), UIE_INVALID_CONTROL);
    EXPECT_TRUE(recorder().calls.empty());

    ASSERT_EQ(SetCtrlDimmed(steady, STEADY_ANGLE_0, 0), 0);
    EXPECT_EQ(ui->click(steady, STEADY_ANGLE_0), 0);
    EXPECT_EQ(callbacksCalled(), std::vector<std::string>{"Angle1:1"});
}

TEST_F(Headless, InstalledCallbacksReceiveTheirData)
{
    displayBoth();
    int token = 0;
    ASSERT_EQ(InstallCtrlCallback(steady, STEADY_MEAS_PHASE, &test::recordControl<0>, &token), 0);
    EXPECT_EQ(ui->commit(steady, STEADY_MEAS_PHASE, 1), 0);
    ASSERT_EQ(recorder().calls.size(), 1u);
    EXPECT_EQ(recorder().calls[0].data, &token);
    ASSERT_EQ(InstallPanelCallback(steady, nullptr, nullptr), 0);
    EXPECT_EQ(ui->close(steady), 0);
    EXPECT_EQ(recorder().calls.size(), 1u);
}

TEST_F(Headless, DisplayingAPanelMakesItActiveAndItsFocusEventsFollow)
{
    ASSERT_EQ(DisplayPanel(mainPanel), 0); // no panel callback on the main panel
    ASSERT_EQ(DisplayPanel(steady), 0);
    EXPECT_TRUE(ui->displayed(steady));
    EXPECT_EQ(ui->activePanel(), steady);
    ASSERT_EQ(DisplayPanel(steady), 0); // already in front: no second event
    EXPECT_EQ(ui->activate(mainPanel), 0);
    EXPECT_EQ(ui->activate(steady), 0);
    EXPECT_EQ(callbacksCalled(), (std::vector<std::string>{"steady_panel:8", "steady_panel:9", "steady_panel:8"}));
    for (const Call &c : recorder().calls)
        EXPECT_EQ(c.panel, steady);
    ASSERT_EQ(HidePanel(steady), 0);
    EXPECT_FALSE(ui->displayed(steady));
    EXPECT_EQ(recorder().calls.back().event, EVENT_LOST_FOCUS);
    EXPECT_EQ(ui->activate(steady), UIE_PANEL_HIDDEN);
}

TEST_F(Headless, ClosingTheWindowLeavesThePanelUntilTheCallbackDiscardsIt)
{
    displayBoth();
    EXPECT_EQ(ui->close(steady), 0);
    EXPECT_EQ(callbacksCalled(), std::vector<std::string>{"steady_panel:11"});
    EXPECT_TRUE(ui->displayed(steady));

    recorder().behaviour = [](const Call &c) { return c.event == EVENT_CLOSE ? DiscardPanel(c.panel) : 0; };
    EXPECT_EQ(ui->close(steady), 0);
    EXPECT_FALSE(ui->displayed(steady));
    EXPECT_EQ(ui->activePanel(), 0);
    EXPECT_EQ(ui->close(steady), UIE_INVALID_PANEL);
    EXPECT_EQ(ui->close(mainPanel), 0); // no panel callback: nothing happens, the panel stays
    EXPECT_TRUE(ui->displayed(mainPanel));
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
    EXPECT_EQ(callbacksCalled(),
              (std::vector<std::string>{"interfaceGPIB:1", "end of interfaceGPIB:0", "steady_panel:8"}));

    // A panel discarded by the callback drops its waiting got focus; the steady panel, which lost
    // the focus to it, still hears of that.
    recorder().calls.clear();
    const int another = LoadPanel(0, PanelResourcePath(), STEADY);
    recorder().behaviour = [&](const Call &c) {
        if (c.callback == "interfaceRS232") {
            DisplayPanel(another);
            DiscardPanel(another);
        }
        return 0;
    };
    EXPECT_EQ(ui->click(mainPanel, MAIN_RS232), 0);
    EXPECT_EQ(callbacksCalled(), (std::vector<std::string>{"interfaceRS232:1", "steady_panel:9"}));
    EXPECT_EQ(recorder().calls[1].panel, steady);
}

TEST_F(Headless, ACallbackThatThrowsIsStoppedThereAndTheToolkitCarriesOn)
{
    displayBoth();
    recorder().behaviour = [](const Call &c) -> int {
        if (c.callback == "measure")
            throw std::runtime_error("boom");
        return 0;
    };
    EXPECT_EQ(ui->click(steady, STEADY_MEASURE), UIE_INTERNAL);
    EXPECT_EQ(ui->click(steady, STEADY_DROP), 0);
    EXPECT_EQ(callbacksCalled(), (std::vector<std::string>{"measure:1", "OutputDrop:1"}));
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

    using Kind = HeadlessToolkit::Popup::Kind;
    const auto &p = ui->popups();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].kind, Kind::Message);
    EXPECT_EQ(p[0].title, "QX Series Error");
    EXPECT_EQ(p[0].message, "Error programming instrument.\nPlease check your instrument.");
    EXPECT_EQ(p[1].kind, Kind::Confirm);
    EXPECT_EQ(p[1].message, "Do you want to quit the program?");
    EXPECT_EQ(p[1].answer, 1);
    EXPECT_EQ(p[2].answer, 0);
    EXPECT_FALSE(p[2].unanswered);
    EXPECT_TRUE(p[3].unanswered);
}

TEST_F(Headless, TheRunTimesPopupsShowThroughTheToolkit)
{
    ToolkitPopupService service;
    qx::runtime::ScopedPopupService guard(service);
    qx::runtime::MessagePopup("Error Message", "\nOutput Drop function only supports 0, 90, 180, 270 phase angle");
    ASSERT_EQ(ui->popups().size(), 1u);
    EXPECT_EQ(ui->popups()[0].title, "Error Message");
    EXPECT_EQ(ui->popups()[0].message, "\nOutput Drop function only supports 0, 90, 180, 270 phase angle");
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
    EXPECT_EQ(callbacksCalled(), (std::vector<std::string>{"interfaceGPIB:1", "quit:1"}));

    // Nothing left to do and nobody quit: the loop says so instead of hanging.
    EXPECT_EQ(RunUserInterface(), UIE_NO_MORE_EVENTS);
}

TEST(Toolkit, DelayGoesThroughTheOneClock)
{
    qx::runtime::Timeline timeline;
    qx::runtime::VirtualClock clock(&timeline);
    qx::runtime::ScopedClock guard(clock);
    qx::ui::Delay(0.05);
    EXPECT_EQ(timeline.events(), std::vector<std::string>{"wait 0.05"});
}

TEST(Toolkit, EveryStatusHasItsOwnText)
{
    std::set<std::string> texts;
    for (int status = UIE_SUCCESS; status >= UIE_INTERNAL; --status)
        EXPECT_TRUE(texts.insert(GetUILErrorString(status)).second) << status;
    EXPECT_EQ(texts.count("Unknown status"), 0u);
    EXPECT_STREQ(GetUILErrorString(1), "Unknown status");
}

TEST(Toolkit, WithoutABackendEveryCallSaysSo)
{
    ASSERT_EQ(CloseUserInterface(), 0);
    EXPECT_EQ(MessagePopup("t", "m"), UIE_NOT_INITIALIZED);
    EXPECT_EQ(ConfirmPopup("t", "m"), UIE_NOT_INITIALIZED);
    EXPECT_EQ(RunUserInterface(), UIE_NOT_INITIALIZED);
    EXPECT_EQ(QuitUserInterface(0), UIE_NOT_INITIALIZED);
    EXPECT_EQ(DisplayPanel(1), UIE_NOT_INITIALIZED);
    EXPECT_EQ(raisePanelEvent(1, EVENT_CLOSE, 0, 0), UIE_NOT_INITIALIZED);
}

TEST(ToolkitDeathTest, ExitProcessEndsTheProcessWithTheStatus)
{
    EXPECT_EXIT(ExitProcess(-1), ::testing::ExitedWithCode(255), "");
}

TEST(Toolkit, ThePanelResourceIsFoundInTheBuildTree)
{
    const std::string path = PanelResourcePath();
    EXPECT_NE(path.find("QXSERIES.UIR"), std::string::npos);
    EXPECT_NE(path, "QXSERIES.UIR") << "neither next to the test nor in the build tree";
    EXPECT_EQ(PanelResourcePath("NOSUCH.UIR"), "NOSUCH.UIR");
    EXPECT_EQ(PanelResourcePath(nullptr), "");
}
