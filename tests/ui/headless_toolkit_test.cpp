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
using Codes = std::vector<int>; // the statuses of a row of calls, compared at once

namespace {

template <class T> T value(int panel, int control)
{
    T v{};
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0) << control;
    return v;
}

int ignore(int, int, int, void *, int, int) { return 0; }

const std::string kFile = test::panelResourceFile();

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorder() = {};
        ASSERT_EQ(RegisterCallbacks(recordingCallbacks()), 0);
        ui = &useHeadless();
        mainPanel = LoadPanel(0, kFile, MAIN);
        steady = LoadPanel(0, kFile, STEADY);
        ASSERT_TRUE(mainPanel > 0 && steady > 0) << LastLoadError();
    }
    void TearDown() override
    {
        CloseUserInterface();
        recorder() = {};
    }
    // Both panels up, the steady one in front; the focus events of that are forgotten.
    void displayBoth()
    {
        ASSERT_EQ((Codes{DisplayPanel(mainPanel), DisplayPanel(steady)}), (Codes{0, 0}));
        recorder().calls.clear();
    }

    HeadlessToolkit *ui = nullptr;
    int mainPanel = 0;
    int steady = 0;
};

} // namespace

// (Delay's wait on the one clock shows in every pause of the front panel's tests, and ExitProcess
// in its fatal start-up report.)
TEST_F(Headless, TheResourceIsFoundNextToTheProgramLoadFailuresAndBadCallbackTablesGiveDetailedCodes)
{
    EXPECT_NE(kFile, "QXSERIES.UIR") << "the resource is not found next to the test program";
    EXPECT_EQ(PanelResourcePath("NOSUCH.UIR"), "NOSUCH.UIR");
    EXPECT_EQ(PanelResourcePath(nullptr), "");
    EXPECT_EQ(LoadPanel(0, "/nonexistent/QXSERIES.UIR", MAIN), UIE_FILE_NOT_FOUND);
    EXPECT_NE(LastLoadError().find("/nonexistent/QXSERIES.UIR"), std::string::npos);
    EXPECT_EQ((Codes{LoadPanel(0, kFile, 99), LoadPanel(mainPanel, kFile, STEADY),
                     LoadPanel(0, static_cast<const char *>(nullptr), MAIN)}),
              (Codes{UIE_NO_SUCH_PANEL, UIE_NOT_SUPPORTED, UIE_NULL_POINTER}));

    // Tables with repeated, empty or null entries are refused and the old table kept.
    const CallbackEntry repeated[] = {{"quit", ignore}, {"quit", ignore}};
    const CallbackEntry empty[] = {{"", ignore}};
    const CallbackEntry null[] = {{"quit", static_cast<CtrlCallbackPtr>(nullptr)}};
    for (const int status : {RegisterCallbacks(repeated), RegisterCallbacks(empty), RegisterCallbacks(null)})
        EXPECT_EQ(status, UIE_BAD_CALLBACK_TABLE);
    EXPECT_GT(LoadPanel(0, kFile, STEADY), 0) << LastLoadError();

    // A table without "voltage": the steady panel cannot be bound, the main panel can.
    std::vector<CallbackEntry> table = recordingCallbacks();
    std::erase_if(table, [](const CallbackEntry &e) { return std::string(e.name) == "voltage"; });
    ASSERT_EQ(RegisterCallbacks(table), 0);
    EXPECT_EQ(LoadPanel(0, kFile, STEADY), UIE_UNKNOWN_CALLBACK);
    EXPECT_NE(LastLoadError().find("\"voltage\""), std::string::npos) << LastLoadError();
    EXPECT_GT(LoadPanel(0, kFile, MAIN), 0);
    EXPECT_EQ(LastLoadError(), "");

    ASSERT_EQ(CloseUserInterface(), 0); // without a backend every call says so
    for (const int status : {LoadPanel(0, kFile, MAIN), SetCtrlVal(mainPanel, MAIN_COMPORT, 2), MessagePopup("t", "m"),
                             ConfirmPopup("t", "m"), RunUserInterface(), QuitUserInterface(0), DisplayPanel(1),
                             raisePanelEvent(1, EVENT_CLOSE, 0, 0)})
        EXPECT_EQ(status, UIE_NOT_INITIALIZED);
}

TEST_F(Headless, NumbersStayWithinTheRangeMaximaChangeAtRunTimeValuesAreTypedBadArgumentsGiveCodes)
{
    double min = 0.0, max = 0.0;
    EXPECT_EQ((Codes{SetCtrlVal(steady, STEADY_VOLTAGE, 250.0), SetCtrlMax(steady, STEADY_VOLTAGE, 150.0),
                     GetCtrlRange(steady, STEADY_VOLTAGE, &min, &max)}),
              (Codes{0, 0, 0}));
    EXPECT_EQ(max, 150.0);
    EXPECT_DOUBLE_EQ(value<double>(steady, STEADY_VOLTAGE), 150.0); // coerced into the new range
    for (const auto &[set, held] : {std::pair{500.0, 150.0}, {-3.0, 0.0}}) {
        EXPECT_EQ(SetCtrlVal(steady, STEADY_VOLTAGE, set), 0);
        EXPECT_DOUBLE_EQ(value<double>(steady, STEADY_VOLTAGE), held);
    }
    EXPECT_EQ((Codes{SetCtrlVal(steady, STEADY_VOLTAGE, NAN), SetCtrlMax(steady, STEADY_VOLTAGE, NAN),
                     SetCtrlMax(steady, STEADY_VOLTAGE, -1.0) /* below the minimum */}),
              (Codes{UIE_INVALID_VALUE, UIE_INVALID_RANGE, UIE_INVALID_RANGE}));

    // Integer controls round their maximum down; a ring offers no more than its items.
    for (const auto &[control, set, held] : {std::tuple{STEADY_REGISTER, 4.7, 4.0}, {STEADY_MEAS_PHASE, 1e9, 3.0}}) {
        EXPECT_EQ((Codes{SetCtrlMax(steady, control, set), GetCtrlRange(steady, control, &min, &max)}), (Codes{0, 0}));
        EXPECT_EQ(max, held);
    }

    // Switches and toggles hold 0 or 1 and have no settable range.
    for (const auto &[set, held] : {std::pair{7, 1}, {-7, 1}, {0, 0}}) {
        EXPECT_EQ(SetCtrlVal(steady, STEADY_OUTPUT, set), 0);
        EXPECT_EQ(value<int>(steady, STEADY_OUTPUT), held) << set;
    }
    EXPECT_EQ((Codes{SetCtrlMax(steady, STEADY_OUTPUT, 5.0), SetCtrlMax(mainPanel, MAIN_MODEL, 5.0)}),
              (Codes{UIE_TYPE_MISMATCH, UIE_TYPE_MISMATCH}));

    // Values are typed; bad handles, IDs, pointers and buffers give codes.
    int i = 0;
    std::string t;
    for (const int status : {GetCtrlVal(steady, STEADY_VOLTAGE, &i), GetCtrlVal(steady, STEADY_MEAS_PHASE, &i),
                             GetCtrlVal(steady, STEADY_REGISTER, &t), SetCtrlVal(steady, STEADY_VOLTAGE, "1"),
                             SetCtrlVal(steady, STEADY_REGISTER, 2.5), SetCtrlVal(mainPanel, MAIN_QUIT, 1)})
        EXPECT_EQ(status, UIE_TYPE_MISMATCH); // an error, not a conversion

    // Whole numbers go into any numeric control; 16-bit values read back as 16-bit.
    EXPECT_EQ((Codes{SetCtrlVal(steady, STEADY_VOLTAGE, 120), SetCtrlVal(steady, STEADY_MEAS_PHASE, 2),
                     SetCtrlVal(steady, STEADY_CONNECTION, std::string("GPIB, Address 5"))}),
              (Codes{0, 0, 0}));
    EXPECT_DOUBLE_EQ(value<double>(steady, STEADY_VOLTAGE), 120.0);
    EXPECT_EQ(value<std::int16_t>(steady, STEADY_MEAS_PHASE), 2);
    EXPECT_EQ(value<std::string>(steady, STEADY_CONNECTION), "GPIB, Address 5");

    EXPECT_EQ((Codes{GetCtrlVal(steady, STEADY_REGISTER, static_cast<int *>(nullptr)),
                     GetCtrlVal(mainPanel, MAIN_MODEL, static_cast<char *>(nullptr), 10),
                     SetCtrlVal(mainPanel, MAIN_MODEL, static_cast<const char *>(nullptr)),
                     GetCtrlRange(steady, STEADY_VOLTAGE, nullptr, nullptr), GetCtrlVal(0, STEADY_REGISTER, &i),
                     GetCtrlVal(steady, 999, &i), GetCtrlVal(steady, MAIN_COMPORT, &i), DisplayPanel(-4)}),
              (Codes{UIE_NULL_POINTER, UIE_NULL_POINTER, UIE_NULL_POINTER, UIE_NULL_POINTER, UIE_INVALID_PANEL,
                     UIE_INVALID_CONTROL, UIE_INVALID_CONTROL /* an ID of the other panel */, UIE_INVALID_PANEL}));

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
    EXPECT_EQ((Codes{DiscardPanel(steady), SetCtrlVal(steady, STEADY_REGISTER, 1)}),
              (Codes{UIE_INVALID_PANEL, UIE_INVALID_PANEL}));
    EXPECT_GT(LoadPanel(0, kFile, STEADY), steady);
}

TEST_F(Headless, ProgramSetsRaiseNoEventButOperatorActionsReachTheCallbackBoundByName)
{
    displayBoth();
    EXPECT_EQ((Codes{SetCtrlVal(steady, STEADY_VOLTAGE, 120.0), SetCtrlVal(mainPanel, MAIN_GPIB, 1),
                     SetCtrlMax(steady, STEADY_CURRENT, 1.0), SetCtrlDimmed(steady, STEADY_ANGLE_0, 0)}),
              (Codes{0, 0, 0, 0}));
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

    EXPECT_EQ(ui->commit(steady, STEADY_CURRENT, 0.5), -1); // the callback's own result
    EXPECT_EQ(ui->click(mainPanel, MAIN_GPIB), 0);
    EXPECT_EQ(value<int>(mainPanel, MAIN_GPIB), 0); // flipped from the 1 the program set
    EXPECT_EQ((Codes{ui->click(steady, STEADY_REGISTER_GO), ui->rightClick(steady, STEADY_DISPLAY),
                     ui->commit(steady, STEADY_MEAS_PHASE, std::int16_t{3}) /* no callback: nothing runs */,
                     ui->commit(mainPanel, MAIN_MODEL, "7103qx")}),
              (Codes{0, 0, 0, 0}));
    EXPECT_EQ(value<std::string>(mainPanel, MAIN_MODEL), "7103qx");
    EXPECT_EQ(recorder().names(),
              (Names{"voltage:1", "current:1", "interfaceGPIB:1", "register_control:1", "display_on_off:5"}));
}

TEST_F(Headless, TheOperatorCannotReachHiddenDimmedOrDisplayOnlyControls)
{
    EXPECT_EQ(ui->click(steady, STEADY_OUTPUT), UIE_PANEL_HIDDEN);
    displayBoth();
    EXPECT_EQ((Codes{ui->click(steady, STEADY_ANGLE_0), ui->rightClick(steady, STEADY_ANGLE_0),
                     ui->commit(steady, STEADY_MEAS_VOLTAGE, 1.0), ui->commit(steady, STEADY_STATUS),
                     ui->click(steady, STEADY_VOLTAGE), ui->commit(steady, STEADY_REGISTER, 1.5),
                     ui->commit(steady, 999)}),
              (Codes{UIE_CONTROL_DIMMED, UIE_CONTROL_DIMMED, UIE_NOT_SUPPORTED, UIE_NOT_SUPPORTED, UIE_NOT_SUPPORTED,
                     UIE_TYPE_MISMATCH, UIE_INVALID_CONTROL}));
    EXPECT_EQ(value<int>(steady, STEADY_ANGLE_0), 0);
    EXPECT_TRUE(recorder().calls.empty());

    ASSERT_EQ(SetCtrlDimmed(steady, STEADY_ANGLE_0, 0), 0);
    EXPECT_EQ(ui->click(steady, STEADY_ANGLE_0), 0);
    EXPECT_EQ(recorder().names(), Names{"Angle1:1"});
}

TEST_F(Headless, ActivationRaisesFocusEventsAndClosingLeavesThePanelUntilTheCallbackDiscardsIt)
{
    EXPECT_FALSE(ui->displayed(mainPanel) || ui->displayed(steady)); // panels load hidden
    EXPECT_EQ((Codes{DisplayPanel(mainPanel) /* no panel callback */, DisplayPanel(steady)}), (Codes{0, 0}));
    EXPECT_EQ(ui->activePanel(), steady);
    EXPECT_EQ((Codes{DisplayPanel(steady) /* already in front: no second event */, ui->activate(mainPanel),
                     ui->activate(steady), ui->close(steady)}),
              (Codes{0, 0, 0, 0}));
    EXPECT_EQ(recorder().names(), (Names{"steady_panel:8", "steady_panel:9", "steady_panel:8", "steady_panel:11"}));
    for (const Call &c : recorder().calls)
        EXPECT_EQ(c.panel, steady);
    EXPECT_TRUE(ui->displayed(steady));

    recorder().behaviour = [](const Call &c) { return c.event == EVENT_CLOSE ? DiscardPanel(c.panel) : 0; };
    EXPECT_EQ(ui->close(steady), 0);
    EXPECT_FALSE(ui->displayed(steady));
    EXPECT_EQ(ui->activePanel(), 0);
    EXPECT_EQ((Codes{ui->close(steady), ui->close(mainPanel)}), (Codes{UIE_INVALID_PANEL, 0}));
    EXPECT_TRUE(ui->displayed(mainPanel)); // no panel callback: nothing happens, the panel stays
    EXPECT_EQ(ui->activate(LoadPanel(0, kFile, STEADY)), UIE_PANEL_HIDDEN);
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
    const int another = LoadPanel(0, kFile, STEADY);
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
        return c.callback == "measure" ? throw std::runtime_error("boom") : 0;
    };
    EXPECT_EQ((Codes{ui->click(steady, STEADY_MEASURE), ui->click(steady, STEADY_DROP)}), (Codes{UIE_INTERNAL, 0}));
    EXPECT_EQ(recorder().names(), (Names{"measure:1", "OutputDrop:1"}));
}

// (The run time's popups reach the toolkit in the front panel's tests.)
TEST_F(Headless, PopupsAreRecordedConfirmationsAnsweredFromTheQueueTheLoopRunsTheScriptUntilAQuit)
{
    EXPECT_EQ(MessagePopup("QX Series Error", "Error programming instrument."), 0);
    ui->answerConfirm(true);
    ui->answerConfirm(false);
    EXPECT_EQ(ConfirmPopup("QX Series Controller", "Quit?"), 1);
    EXPECT_EQ(ConfirmPopup(std::string("QX Series Controller"), std::string("Close?")), 0);
    EXPECT_EQ(std::make_pair(ui->pendingAnswers(), ui->unansweredConfirms()), std::make_pair(0UL, 0UL));
    EXPECT_EQ(ConfirmPopup("QX Series Controller", "Unexpected?"), 0); // nobody answered: no, and flagged
    EXPECT_EQ(ui->unansweredConfirms(), 1u);
    EXPECT_EQ(MessagePopup(nullptr, "text"), UIE_NULL_POINTER);

    Names seen; // kind (m/c), answer, unanswered flag, title, text
    for (const HeadlessToolkit::Popup &p : ui->popups())
        seen.push_back(std::string(p.kind == HeadlessToolkit::Popup::Kind::Message ? "m" : "c") +
                       std::to_string(p.answer) + (p.unanswered ? "!" : "") + " " + p.title + "|" + p.message);
    EXPECT_EQ(seen, (Names{"m0 QX Series Error|Error programming instrument.",
                           "c1 QX Series Controller|Quit?", "c0 QX Series Controller|Close?",
                           "c0! QX Series Controller|Unexpected?"}));

    // The event loop runs the script until a callback quits.
    ASSERT_EQ(DisplayPanel(mainPanel), 0);
    recorder().behaviour = [](const Call &c) {
        if (c.callback == "quit")
            QuitUserInterface(7);
        if (c.callback == "interfaceGPIB")
            recorder().calls.push_back({RunUserInterface() == UIE_LOOP_RUNNING ? "refused" : "nested"});
        return 0;
    };
    bool ranAfterQuit = false;
    ui->schedule([&] { ui->click(mainPanel, MAIN_GPIB); });
    ui->schedule([&] { ui->click(mainPanel, MAIN_QUIT); });
    ui->schedule([&] { ranAfterQuit = true; });
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_FALSE(ranAfterQuit);
    EXPECT_EQ(ui->quitCodes(), std::vector<int>{7});
    EXPECT_EQ(recorder().names(), (Names{"interfaceGPIB:1", "refused:0", "quit:1"}));
    EXPECT_EQ(RunUserInterface(), UIE_NO_MORE_EVENTS); // nothing left, nobody quit: no hanging
}

