// The steady panel's setting controls: one driver call each, the pause, the error popup where
// the status is examined, the refresh after a range change or a recall, and the right-click hints.
#include "app_fixture.h"

#include "ui/panel_resource.h"

#include <cmath>
#include <map>
#include <set>

namespace qx::app::test {
namespace {

// What the instrument answers the status check after failNext(), and the popup that reports it.
const std::string kInstrumentError = "-222,\"Data out of range\"";
const std::string kProgrammingPopup =
    popup(title::kError, text::kProgrammingError + std::string(text::kInstrumentReports) + kInstrumentError);

struct Setting {
    const char *name;
    int control;
    double entered;      // the committed value, or NAN for a click on the switch
    int before;          // a switch set to this before the click; -1: as connecting left it
    double shown;        // the control's value afterwards, kept after a failure too
    const char *failing; // the header the instrument then fails
    bool examined;       // a failure shows the programming-error popup
    Events writes;       // the driver call's, with its status check
    bool refreshes = false;
};

const Setting kSettings[] = {
    {"Voltage", STEADY_VOLTAGE, 120.0, -1, 120.0, "VOLT", true, {"VOLT:RANG?", "VOLT 120.000000", "SYST:ERR?"}},
    {"Current", STEADY_CURRENT, 3.5, -1, 3.5, "CURR", true, {"VOLT:RANG?", "CURR 3.500000", "SYST:ERR?"}},
    {"Frequency", STEADY_FREQUENCY, 60.0, -1, 60.0, "FREQ", false, {"FREQ 60.000000", "SYST:ERR?"}},
    {"RemoteOn", STEADY_REMOTE, NAN, 0, 1, "SYST:REM", false, {"SYST:REM", "SYST:ERR?"}},
    {"RemoteOff", STEADY_REMOTE, NAN, 1, 0, "SYST:LOC", false, {"SYST:LOC", "SYST:ERR?"}},
    {"OutputOn", STEADY_OUTPUT, NAN, -1, 1, "OUTP", true, {"OUTP 1", "SYST:ERR?"}},
    {"OutputOff", STEADY_OUTPUT, NAN, 1, 0, "OUTP", true, {"OUTP 0", "SYST:ERR?"}},
    {"DisplayOnIsModeOne", STEADY_DISPLAY, NAN, -1, 1, "DISP:MODE", true, {"DISP:MODE 1", "SYST:ERR?"}},
    {"DisplayOffIsModeTwo", STEADY_DISPLAY, NAN, 1, 0, "DISP:MODE", true, {"DISP:MODE 2", "SYST:ERR?"}},
    {"RangeLow", STEADY_RANGE, NAN, -1, 0, "VOLT:RANG", true, {"VOLT:RANG 150.000000", "SYST:ERR?"}, true},
};
void PrintTo(const Setting &s, std::ostream *os) { *os << s.name; }

class OutputControl : public AppTest, public ::testing::WithParamInterface<Setting> {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        connected();
        if (GetParam().before >= 0)
            ui::SetCtrlVal(steady, GetParam().control, GetParam().before);
    }
    int operate()
    {
        const Setting &s = GetParam();
        return std::isnan(s.entered) ? click(steady, s.control) : commit(steady, s.control, s.entered);
    }
    void expectShown()
    {
        const Setting &s = GetParam();
        EXPECT_EQ(std::isnan(s.entered) ? value<int>(steady, s.control) : value<double>(steady, s.control), s.shown);
    }
    // The status check's answer and pause, then the panel's pause.
    void expectEndsWith(const std::string &answer)
    {
        const Events all = events();
        ASSERT_GE(all.size(), 3u);
        EXPECT_EQ(Events(all.end() - 3, all.end()), (Events{"< " + answer + "\\n", "wait 0.05", "wait 0.05"}));
    }
};

TEST_P(OutputControl, ProgramsTheInstrumentThenPauses)
{
    const Setting &s = GetParam();
    EXPECT_EQ(operate(), 0);

    Events writes = timeline.writes();
    if (s.refreshes) { // from its first query on
        ASSERT_GT(writes.size(), s.writes.size());
        EXPECT_EQ(writes[s.writes.size()], "VOLT:RANG?");
        writes.resize(s.writes.size());
    }
    EXPECT_EQ(writes, s.writes);
    expectEndsWith("0,\"No error\"");
    expectShown();
    EXPECT_TRUE(popups().empty());
    EXPECT_TRUE(text(steady, STEADY_RESULT).ends_with(": done")) << text(steady, STEADY_RESULT);
}

TEST_P(OutputControl, FailureIsReportedWhereExaminedAndTheControlKeepsTheOperatorsValue)
{
    const Setting &s = GetParam();
    failNext(s.failing);

    EXPECT_EQ(operate(), s.examined ? -1 : 0);

    EXPECT_EQ(timeline.writes(), s.writes); // no refresh
    expectEndsWith(kInstrumentError);
    EXPECT_EQ(popups(), s.examined ? Events{kProgrammingPopup} : Events{});
    EXPECT_TRUE(!s.examined || toolkit.popups()[0].kind == ui::HeadlessToolkit::Popup::Kind::Warning);
    expectShown();
    // Examined or not, the failure shows in the last action's line and stays in the history.
    const std::string line = text(steady, STEADY_RESULT);
    EXPECT_TRUE(line.ends_with(": failed, instrument error " + kInstrumentError)) << line;
    ASSERT_FALSE(errorHistory().empty());
    EXPECT_TRUE(errorHistory().back().ends_with(line)) << errorHistory().back();
}

INSTANTIATE_TEST_SUITE_P(Settings, OutputControl, ::testing::ValuesIn(kSettings),
                         [](const auto &row) { return std::string(row.param.name); });

using OutputControls = AppTest;

TEST_F(OutputControls, RangeSetsTheNewLimitsBeforeTheRefreshReadsThemBack)
{
    sim::Config config;
    config.limits.current = 10.0;
    useSimulator(config);
    preset({"VOLT:RANG 150"});
    connected();
    std::vector<double> atRefresh; // maxima of voltage and current when the refresh begins
    beforeWrite = [&](const std::string &message) {
        if (message == "VOLT:RANG?" && atRefresh.empty())
            atRefresh = {maximum(steady, STEADY_VOLTAGE), maximum(steady, STEADY_CURRENT)};
    };

    EXPECT_EQ(click(steady, STEADY_RANGE), 0);
    EXPECT_EQ(timeline.writes()[0], "VOLT:RANG 300.000000"); // range value 2.0 is the high range
    EXPECT_EQ(atRefresh, (std::vector<double>{300.0, 5.0}));
    EXPECT_EQ(std::make_pair(value<int>(steady, STEADY_RANGE), text(steady, STEADY_STATUS)),
              std::make_pair(1, std::string(text::kReadyStatus)));

    atRefresh.clear();
    EXPECT_EQ(click(steady, STEADY_RANGE), 0);
    EXPECT_EQ(atRefresh, (std::vector<double>{150.0, 10.0}));
    EXPECT_EQ(value<int>(steady, STEADY_RANGE), 0);

    failNext("VOLT:RANG"); // a failed change leaves the limits alone
    EXPECT_EQ(click(steady, STEADY_RANGE), -1);
    EXPECT_EQ((std::vector<double>{maximum(steady, STEADY_VOLTAGE), maximum(steady, STEADY_CURRENT)}),
              (std::vector<double>{150.0, 10.0}));
}

TEST_F(OutputControls, RegisterSaveThenRecallAndOnlyTheRecallRefreshes)
{
    preset({"VOLT 100"});
    connected();
    const auto go = [&](int number, int recall) {
        timeline.clear();
        ui::SetCtrlVal(steady, STEADY_REGISTER, number);
        ui::SetCtrlVal(steady, STEADY_SAVE_RECALL, recall);
        return click(steady, STEADY_REGISTER_GO);
    };

    EXPECT_EQ(go(3, 0), 0);
    EXPECT_EQ(timeline.writes(), (Events{"*SAV 3", "SYST:ERR?"}));
    preset({"VOLT 200"});

    EXPECT_EQ(go(3, 1), 0);
    EXPECT_EQ(std::make_tuple(position("*RCL 3"), sent("VOLT:RANG?"), value<double>(steady, STEADY_VOLTAGE), popups()),
              std::make_tuple(0UL, true, 100.0, Events{}));

    preset({"VOLT 200"});
    failNext("*RCL");
    EXPECT_EQ(go(3, 1), -1);
    EXPECT_EQ(popups(), Events{kProgrammingPopup});
    EXPECT_EQ(timeline.writes(), (Events{"*RCL 3", "SYST:ERR?"}));
    EXPECT_EQ(value<double>(steady, STEADY_VOLTAGE), 100.0);

    // The history lists the failure, time-stamped, at once: it waits for no instrument.
    toolkit.clearPopups();
    timeline.clear();
    EXPECT_EQ(click(steady, STEADY_ERRORS), 0);
    const std::string listing = toolkit.popups().at(0).message;
    EXPECT_EQ(toolkit.popups()[0].title, title::kHistory);
    EXPECT_NE(listing.find("  Register: failed, instrument error " + kInstrumentError + "\n"), std::string::npos) << listing;
    EXPECT_EQ(timeline.events(), Events{});
}

// Every control the resource binds, right-clicked: one hint of the controller's, shared only by
// controls of one purpose (the two interface toggles, measuring and the drop), or none for the
// start-angle group. Nothing is sent and nothing closes.
TEST_F(OutputControls, RightClickOnAnyControlShowsItsOwnHintAndActsOnNothing)
{
    connected();
    ASSERT_EQ(click(steady, STEADY_START), 0); // the angle buttons are usable now
    const std::shared_ptr<const ui::PanelResource> resource = ui::loadPanelResource(panelResourceFile().c_str()).resource;
    ASSERT_TRUE(resource);
    using Group = std::set<std::string>;
    std::map<std::string, Group> showing; // hint -> the callbacks that show it
    for (const auto &[number, handle] : {std::pair{MAIN, mainpanel}, {STEADY, steady}})
        for (const ui::ControlRecord *c : resource->panel(number)->controls()) {
            int dimmed = 0;
            if (c->callback.empty() || (ui::GetCtrlDimmed(handle, c->id, &dimmed) == 0 && dimmed != 0))
                continue; // Reconnect, offered once a connection is lost
            toolkit.clearPopups();
            EXPECT_EQ(rightClick(handle, c->id), 0) << c->name;
            const Events shown = popups();
            ASSERT_LE(shown.size(), 1u) << c->name;
            showing[shown.empty() ? "" : shown[0]].insert(c->callback);
        }
    EXPECT_EQ(showing[""], (Group{"Start", "Angle1", "Angle2", "Angle3", "Angle4"}));
    showing.erase("");
    const std::string titled = popup(title::kController, "");
    for (const auto &[hint, callbacks] : showing) {
        EXPECT_TRUE(hint.starts_with(titled) && hint.size() > titled.size()) << hint;
        EXPECT_TRUE(callbacks.size() == 1 || callbacks == Group({"interfaceGPIB", "interfaceRS232"}) ||
                    callbacks == Group({"measure", "OutputDrop"}))
            << hint;
    }
    EXPECT_EQ(std::make_tuple(timeline.writes(), state.steadypanel), std::make_tuple(Events{}, steady));
}

} // namespace
} // namespace qx::app::test
