// The test-sequence and measurement-log panels on the headless toolkit: a sequence opened from a
// file and run on the instrument worker (exact traffic, each step's verdict, the saved report),
// refused by the connected model with nothing sent, aborted with the output left off; a log whose
// rows reach the CSV file, the database and the plot, and that stops cleanly.
#include "app_fixture.h"

#include "held_clock.h"
#include "report_file.h"
#include "store.h"
#include "test_files.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace qx::app::test {
namespace {

std::string writeFile(const std::string &name, const std::string &text)
{
    const std::string path = qx::test::privateTempPath(name);
    std::ofstream(path) << text;
    return path;
}

std::string readFile(const std::string &path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// A run reads the instrument's identity for its record first: model, serial number, firmware.
const Events kIdentityWrites{"*IDN?", "SYST:ERR?", "*IDN?", "*IDN?", "SYST:ERR?"};

class BenchPanels : public AppTest {
protected:
    // Opens the sequence panel and the file in it, as the operator picks it in the dialog.
    int openSequence(const std::string &steps, const std::string &more = "")
    {
        const int opened = click(steady, STEADY_SEQUENCES);
        EXPECT_EQ(opened, 0);
        const int panel = toolkit.activePanel();
        toolkit.answerFile(writeFile("bench.json", R"({"name": "Bench", )" + more + R"("steps": [)" + steps + "]}"));
        EXPECT_EQ(click(panel, SEQUENCE_OPEN), 0);
        timeline.clear();
        return panel;
    }
};

TEST_F(BenchPanels, ASequenceRunsOnTheWorkerShowsEachVerdictAndSavesItsReport)
{
    connected();
    const int panel = openSequence(R"({"set": {"voltage": 120}}, {"output": "on"},
        {"measure": ["voltage"], "expect": {"voltage": [0, 1]}}, {"output": "off"})");
    EXPECT_EQ(text(panel, SEQUENCE_NAME), "Bench");
    EXPECT_EQ(text(panel, SEQUENCE_PROGRESS), "Ready: 4 steps");
    int dimmed = 1;
    ui::GetCtrlDimmed(panel, SEQUENCE_RUN, &dimmed);
    EXPECT_EQ(dimmed, 0);

    EXPECT_EQ(click(panel, SEQUENCE_RUN), -1) << "a step failed";
    EXPECT_EQ(timeline.writes(), join({kIdentityWrites, {"VOLT:RANG?", "VOLT 120.000000", "SYST:ERR?", "OUTP 1", "SYST:ERR?",
                                        "INST:COUP 1", "MEAS:VOLT?", "OUTP 0", "SYST:ERR?"},
                                       kRefreshWrites}));
    EXPECT_EQ(text(panel, SEQUENCE_PROGRESS), "NOT PASSED: 3 passed, 1 failed; completed");
    EXPECT_EQ(text(panel, SEQUENCE_STEPS), "  1  set voltage 120  [pass]\n"
                                           "  2  output on  [pass]\n"
                                           "  3  measure voltage (all phases); voltage 0 to 1  [FAIL: voltage=120 outside [0, 1]]\n"
                                           "  4  output off  [pass]\n");
    EXPECT_EQ(text(steady, STEADY_RESULT), "Sequence: NOT PASSED: 3 passed, 1 failed; completed");

    const std::string report = qx::test::privateTempPath("bench_report.csv");
    toolkit.answerFile(report);
    EXPECT_EQ(click(panel, SEQUENCE_SAVE), 0);
    std::istringstream lines(readFile(report));
    Events saved;
    for (std::string line; std::getline(lines, line);)
        saved.push_back(line);
    ASSERT_EQ(saved.size(), 8u);
    EXPECT_EQ(saved[1], sequence::kReportHeader);
    EXPECT_EQ(saved[6], "# completed: 4 runs, 3 passed, 1 failed");
}

TEST_F(BenchPanels, AStepTheModelLacksIsRefusedBeforeAnythingIsSent)
{
    sim::Config single;
    single.model = sim::Model::QX7101;
    useSimulator(single);
    ASSERT_EQ(connectRs232(1, "7101QX"), 0);
    steady = state.steadypanel;
    const int panel = openSequence(R"({"output": "on"}, {"drop": {"phase": 2}})");

    EXPECT_EQ(click(panel, SEQUENCE_RUN), -1);
    EXPECT_EQ(timeline.writes(), Events{});
    const ui::HeadlessToolkit::Popup &refusal = toolkit.popups().back();
    EXPECT_EQ(refusal.kind, ui::HeadlessToolkit::Popup::Kind::Warning);
    EXPECT_TRUE(refusal.message.ends_with("step 2: phase 2: the 7101QX has phase 1 only")) << refusal.message;
}

TEST_F(BenchPanels, ARunFilesItsRecordWithThePanelsFieldsAndARequiredRecordWaitsForThem)
{
    connected();
    const std::string store = qx::test::privateTempPath("records.sqlite");
    const int panel = openSequence(R"({"set": {"voltage": 120}}, {"output": "on"},
        {"measure": ["voltage"], "expect": {"voltage": [110, 130]}}, {"drop": {"angle": 90, "time": 0.01}},
        {"output": "off"})", R"("record": "required", )");
    ui::SetCtrlVal(panel, SEQUENCE_RECORDS, store);
    ui::SetCtrlVal(panel, SEQUENCE_EUT, "PSU-12");

    EXPECT_EQ(click(panel, SEQUENCE_RUN), -1);
    EXPECT_EQ(timeline.writes(), Events{});
    EXPECT_NE(toolkit.popups().back().message.find("must name the operator: fill in"), std::string::npos)
        << toolkit.popups().back().message;

    EXPECT_EQ(commit(panel, SEQUENCE_OPERATOR, std::string("A. Tester")), 0);
    ui::SetCtrlVal(panel, SEQUENCE_EUT_SERIAL, "E-77");
    EXPECT_EQ(click(panel, SEQUENCE_RUN), 0);
    EXPECT_EQ(text(panel, SEQUENCE_RECORD), "Record 1 filed in " + store);
    EXPECT_EQ(ui::GetSetting("record/operator", ""), "A. Tester") << "remembered once typed";

    std::string error;
    const auto records = records::openStore(store, error);
    ASSERT_TRUE(records) << error;
    const std::optional<records::TestRecord> record = records->load("last", error);
    ASSERT_TRUE(record) << error;
    EXPECT_EQ(record->operatorName, "A. Tester");
    EXPECT_EQ(record->eut.name, "PSU-12");
    EXPECT_EQ(record->eut.serial, "E-77");
    EXPECT_EQ(record->instrument.model, "7103QX");
    EXPECT_EQ(record->instrument.serial, "SN000123");
    EXPECT_EQ(record->instrument.firmware, "1.02");
    EXPECT_EQ(record->instrument.resource, "GPIB::5::INSTR");
    EXPECT_EQ(record->software, "qxseries");
    EXPECT_EQ(record->sequenceName, "Bench");
    EXPECT_EQ(record->sequenceSha256.size(), 64u);
    EXPECT_EQ(record->verdict, "pass");
    EXPECT_EQ(record->ending, "completed");
    ASSERT_EQ(record->steps.size(), 5u);
    ASSERT_EQ(record->steps[2].readings.size(), 1u);
    EXPECT_EQ(record->steps[2].readings[0].unit, "V");
    EXPECT_EQ(record->steps[2].readings[0].value, 120.0);
    ASSERT_EQ(record->steps[2].limits.size(), 1u);
    EXPECT_EQ(record->steps[2].limits[0].high, 130.0);
    EXPECT_EQ(record->steps[3].dropAngle, 90.0);
    EXPECT_EQ(record->steps[3].dropTime, 0.01);
    EXPECT_LE(record->started, record->steps[0].started);
    EXPECT_LE(record->steps[4].ended, record->ended);

    // Its report, from the record.
    const std::string pdf = qx::test::privateTempPath("report.pdf");
    toolkit.answerFile(pdf);
    EXPECT_EQ(click(panel, SEQUENCE_SAVE), 0);
    EXPECT_EQ(readFile(pdf).substr(0, 5), "%PDF-");
}

// Run by ctest with a PostgreSQL server of its own (app_records_postgres); skipped without one.
TEST_F(BenchPanels, ARunFromThePanelFilesItsRecordOnTheLabServer)
{
    const char *uri = std::getenv("QX_TEST_POSTGRES_URI");
    if (uri == nullptr)
        GTEST_SKIP() << "no PostgreSQL server: tests/records/with_postgres.sh starts one";
    connected();
    const int panel = openSequence(R"({"output": "on"}, {"measure": ["voltage", "power"]}, {"output": "off"})");
    ui::SetCtrlVal(panel, SEQUENCE_RECORDS, uri);
    ui::SetCtrlVal(panel, SEQUENCE_OPERATOR, "A. Tester");
    ui::SetCtrlVal(panel, SEQUENCE_EUT, "PSU-12");

    EXPECT_EQ(click(panel, SEQUENCE_RUN), 0);
    EXPECT_EQ(text(panel, SEQUENCE_RECORD), std::string("Record 1 filed in ") + uri);
    std::string error;
    const auto server = records::openStore(uri, error);
    ASSERT_TRUE(server) << error;
    const std::optional<records::TestRecord> record = server->load("last", error);
    ASSERT_TRUE(record) << error;
    EXPECT_EQ(record->software, "qxseries");
    EXPECT_EQ(record->operatorName, "A. Tester");
    EXPECT_EQ(record->instrument.serial, "SN000123");
    ASSERT_EQ(record->steps.size(), 3u);
    EXPECT_EQ(record->steps[1].readings.size(), 2u);
    EXPECT_EQ(record->steps[1].readings[1].unit, "W");
}

TEST_F(BenchPanels, AnAbortedSequenceLeavesTheOutputOff)
{
    connected();
    const int panel = openSequence(R"({"output": "on"}, {"wait": 600}, {"output": "on"})");
    const std::string store = qx::test::privateTempPath("records.sqlite");
    ui::SetCtrlVal(panel, SEQUENCE_RECORDS, store);
    beforeWrite = [](const std::string &message) {
        if (message.starts_with("OUTP 1"))
            abortSequence(); // as the Abort button does, while the run goes on
    };

    EXPECT_EQ(click(panel, SEQUENCE_RUN), -1);
    EXPECT_EQ(timeline.writes(),
              join({kIdentityWrites, {"OUTP 1", "SYST:ERR?", "OUTP 0", "SYST:ERR?"}, kRefreshWrites}));
    EXPECT_EQ(text(panel, SEQUENCE_PROGRESS),
              "NOT PASSED: 1 passed, 0 failed; aborted before step 2; output switched off");
    EXPECT_FALSE(simulator->snapshot().settings.output);
    EXPECT_EQ(click(panel, SEQUENCE_ABORT), ui::UIE_CONTROL_DIMMED) << "held while nothing runs";

    std::string error;
    const auto record = records::openStore(store, error)->load("last", error);
    ASSERT_TRUE(record) << error;
    EXPECT_EQ(record->ending, "aborted");
    EXPECT_EQ(record->endedBy, "operator (Abort button)");
    EXPECT_EQ(record->verdict, "incomplete") << "an aborted run says nothing of the equipment";
    EXPECT_EQ(record->steps.size(), 1u);
}

std::size_t databaseRows(const std::string &path, const std::string &table)
{
    sqlite3 *db = nullptr;
    std::size_t rows = 0;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK)
        sqlite3_exec(
            db, ("SELECT * FROM \"" + table + "\"").c_str(),
            [](void *count, int, char **, char **) {
                ++*static_cast<std::size_t *>(count);
                return 0;
            },
            &rows, nullptr);
    sqlite3_close(db);
    return rows;
}

TEST_F(BenchPanels, ALogWritesEachRowToBothFilesAndThePlotOnTheClocksPaceThenStops)
{
    connected();
    qx::test::HeldClock held{timeline}; // the log's pace waits for the test; the worker's pauses do not
    instrumentWorker().submit({-1, -1, -1}, [&held] { return held.free(std::this_thread::get_id()), 0; });
    instrumentWorker().waitIdle();
    instrumentWorker().takeResults();
    const runtime::ScopedClock heldGuard{held};
    ASSERT_EQ(click(steady, STEADY_LOGGING), 0);
    const int panel = toolkit.activePanel();
    ui::SetCtrlVal(panel, LOG_CURRENT, 0);
    ui::SetCtrlVal(panel, LOG_PHASE, std::int16_t{2});
    ui::SetCtrlVal(panel, LOG_INTERVAL, 3600.0); // one row now, the next in an hour
    const std::string folder = qx::test::privateTempPath("bench_log");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    toolkit.answerFile(folder + "/log.csv");

    ASSERT_EQ(click(panel, LOG_START), 0);
    std::vector<ui::ChartPoint> voltage;
    const auto rowAt = [&](const std::string &elapsed) { // rows reach the panel from the log's own thread
        for (int tries = 0; tries < 500 && !text(panel, LOG_LAST).starts_with(elapsed); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            instrumentWorker().waitIdle();
            ui::ProcessSystemEvents();
        }
        ui::GetStripChartPoints(panel, LOG_CHART, 0, &voltage);
    };
    held.runTo(0.0); // the first reading; the next is an hour away
    rowAt("0.0 s");
    ASSERT_EQ(voltage.size(), 1u);
    EXPECT_EQ(timeline.writes(), (Events{"INST:NSEL 2", "MEAS:VOLT?", "INST:NSEL 2", "MEAS:POW?"}));
    EXPECT_TRUE(text(panel, LOG_LAST).starts_with("0.0 s: voltage_p2 0 power_p2 0")) << text(panel, LOG_LAST);
    const std::string csv = readFile(folder + "/log.csv");
    EXPECT_TRUE(csv.starts_with("time,elapsed_s,voltage_p2,power_p2\n")) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
    const std::string files = text(panel, LOG_FILES);
    const std::string table = files.substr(files.find("(table ") + 7, files.size() - files.find("(table ") - 8);
    EXPECT_EQ(databaseRows(folder + "/qxseries-log.db", table), 1u);
    int dimmed = 0;
    ui::GetCtrlDimmed(panel, LOG_INTERVAL, &dimmed);
    EXPECT_EQ(dimmed, 1) << "what is logged is held while it logs";

    held.runTo(3600.0);
    rowAt("3600.0 s");
    ASSERT_EQ(voltage.size(), 1u) << "the plot shows its last five minutes";
    EXPECT_EQ(voltage[0].x, 3600.0) << "rows keep to the clock that paces them";

    held.release(true);
    EXPECT_EQ(click(panel, LOG_START), 0); // stops: the pace ends, the files close
    ui::GetCtrlDimmed(panel, LOG_INTERVAL, &dimmed);
    EXPECT_EQ(dimmed, 0);
    timeline.clear();
    held.release(false);
    instrumentWorker().waitIdle();
    EXPECT_EQ(timeline.writes(), Events{}) << "nothing is measured after the stop";
    EXPECT_EQ(ui::GetSetting("folders/logs", ""), folder);
}

} // namespace
} // namespace qx::app::test
