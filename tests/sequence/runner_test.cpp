// Sequence runs against the in-process simulator under the virtual clock: the exact traffic and
// waits of an interruption sequence, failed expectations that let the run go on, and the three
// early ends (an abort between runs, an abort within a wait, a driver error), each leaving the
// output off. The report's CSV is checked with them; the shipped sequences are valid for both
// models.
#include "report_file.h"
#include "runner.h"
#include "sequence.h"

#include "runtime/clock.h"
#include "sim/attach.h"
#include "sim/simulator.h"
#include "tapped_device.h"
#include "visa/device.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace qx::sequence {
namespace {

using Events = std::vector<std::string>;

// The platform's clock; an abort can be planted at a moment of the virtual time.
class VirtualPacer final : public Pacer {
public:
    double now() override { return runtime::currentClock().now(); }
    void sleep(double seconds, const std::atomic<bool> &abort) override
    {
        if (abortAt > 0.0 && now() + seconds >= abortAt) {
            runtime::Delay(abortAt - now());
            *abortFlag = true;
            return;
        }
        runtime::Delay(seconds);
        (void)abort;
    }
    double abortAt = 0.0;
    std::atomic<bool> *abortFlag = nullptr;
};

class Rows final : public Observer {
public:
    void finished(const Row &row) override
    {
        rows.push_back(row);
        if (after)
            after(row);
    }
    std::vector<Row> rows;
    std::function<void(const Row &)> after;
};

class SequenceRun : public ::testing::Test {
protected:
    SequenceRun()
    {
        visa::attachDevice(kResource, std::make_shared<test::TappedDevice>(sim::attach(simulator, kResource), timeline, hook));
        char resource[] = "GPIB0::5::INSTR";
        EXPECT_EQ(ZEV_QX70_init(resource, VI_TRUE, VI_FALSE, &vi, 9600), VI_SUCCESS);
        timeline.clear();
        pacer.abortFlag = &abort;
    }
    ~SequenceRun() override
    {
        ZEV_QX70_close(vi);
        visa::detachDevice(kResource);
    }

    Summary run(const std::string &steps)
    {
        const ParsedSequence parsed = parseSequence(R"({"name": "test", "steps": [)" + steps + "]}");
        EXPECT_TRUE(parsed.sequence) << parsed.error;
        return parsed.sequence ? runSequence(vi, *parsed.sequence, pacer, rows, abort) : Summary{};
    }
    bool outputOn() { return simulator->snapshot().settings.output; }

    static constexpr const char *kResource = "GPIB0::5::INSTR";
    runtime::Timeline timeline;
    runtime::VirtualClock clock{&timeline};
    runtime::ScopedClock clockGuard{clock};
    test::TappedDevice::Hook hook;
    std::shared_ptr<sim::Simulator> simulator = std::make_shared<sim::Simulator>(sim::Config{});
    ViSession vi = VI_NULL;
    VirtualPacer pacer;
    Rows rows;
    std::atomic<bool> abort{false};
};

// The status check finding no error, and the clearing that ends a drop.
const Events kChecked{"> SYST:ERR?", "wait 0.05", "< 0,\"No error\"\\n", "wait 0.05"};

Events join(std::initializer_list<Events> parts)
{
    Events all;
    for (const Events &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(SequenceRun, AnInterruptionSequenceSendsEachStepInOrderWithItsWaits)
{
    const Summary summary = run(R"({"output": "on"},
        {"drop": {"angle": 90, "time": 0.01}, "repeat": 2, "interval": 10},
        {"wait": 2.5},
        {"measure": ["voltage"], "phase": 2, "expect": {"voltage": [0, 300]}})");

    const Events drop = join({{"> INST:COUP 1", "wait 0.03", "> OUTP:STAR:STAT 1", "wait 0.03", "> OUTP:STAR:PHAS 90.000000",
                               "wait 0.03", "> OUTP:DROP 0.010000", "wait 0.03"},
                              kChecked, {"> *CLS", "wait 0.03"}});
    EXPECT_EQ(timeline.events(), join({{"> OUTP 1", "wait 0.03"}, kChecked, drop, {"wait 10"}, drop, {"wait 2.5"},
                                       {"> INST:NSEL 2", "wait 0.03", "> MEAS:VOLT?", "< 0\\n"}}));
    EXPECT_EQ(std::make_tuple(summary.ending, summary.runs, summary.passed, summary.failed, summary.allPassed()),
              std::make_tuple(Ending::Completed, 5, 5, 0, true));
    ASSERT_EQ(rows.rows.size(), 5u);
    EXPECT_EQ(std::make_pair(rows.rows[2].step, rows.rows[2].run), std::make_pair(2, 2));
    EXPECT_EQ(rows.rows[2].values, "angle=90;time=0.01;phase=0");
    EXPECT_EQ(rows.rows[4].values, "voltage=0");
    EXPECT_TRUE(outputOn()) << "a completed run leaves the source as the sequence left it";
}

TEST_F(SequenceRun, AFailedExpectationIsRecordedAndTheRunGoesOn)
{
    const Summary summary = run(R"({"set": {"voltage": 120}}, {"output": "on"},
        {"measure": ["voltage", "current"], "expect": {"voltage": [125, 130], "current": [0, 1]}},
        {"set": {"voltage": 127}}, {"measure": ["voltage"], "expect": {"voltage": [125, 130]}})");

    ASSERT_EQ(rows.rows.size(), 5u);
    EXPECT_EQ(std::make_tuple(rows.rows[2].verdict, rows.rows[2].detail),
              std::make_tuple(Verdict::Fail, std::string("voltage=120 outside [125, 130];current=1.2 outside [0, 1]")));
    EXPECT_EQ(rows.rows[4].verdict, Verdict::Pass);
    EXPECT_EQ(std::make_tuple(summary.ending, summary.passed, summary.failed, summary.allPassed()),
              std::make_tuple(Ending::Completed, 4, 1, false));
}

TEST_F(SequenceRun, AnAbortBetweenRunsEndsWithTheOutputOff)
{
    rows.after = [&](const Row &row) { abort = row.step == 2; };
    const Summary summary = run(R"({"output": "on"}, {"drop": {}, "repeat": 3, "interval": 1}, {"output": "on"})");

    EXPECT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(summary.ending, Ending::Aborted);
    EXPECT_EQ(summary.message, "aborted before step 2, run 2; output switched off");
    const Events writes = timeline.writes();
    EXPECT_EQ(writes.back(), "SYST:ERR?"); // the switching off's status check
    EXPECT_EQ(writes[writes.size() - 2], "OUTP 0");
    EXPECT_FALSE(outputOn());
}

TEST_F(SequenceRun, AnAbortWithinAWaitStopsItThereWithTheOutputOff)
{
    pacer.abortAt = 4.0;
    const Summary summary = run(R"({"output": "on"}, {"wait": 3600}, {"output": "on"})");

    EXPECT_EQ(summary.ending, Ending::Aborted);
    EXPECT_EQ(summary.message, "aborted during step 2; output switched off");
    EXPECT_LT(runtime::currentClock().now(), 5.0) << "the wait ended when the abort came";
    EXPECT_FALSE(outputOn());
}

TEST_F(SequenceRun, ADriverErrorEndsTheRunThereWithTheOutputOff)
{
    ASSERT_TRUE(simulator->setFaults({.errorAfter = sim::ErrorAfterFault{"OUTP:DROP", -222, ""}}));
    const Summary summary = run(R"({"output": "on"}, {"drop": {"time": 0.5}}, {"wait": 10})");

    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[1].verdict, Verdict::Error);
    EXPECT_NE(rows.rows[1].detail.find("-222,\"Data out of range\""), std::string::npos) << rows.rows[1].detail;
    EXPECT_EQ(summary.ending, Ending::Error);
    EXPECT_TRUE(summary.message.starts_with("error in step 2: ")) << summary.message;
    EXPECT_TRUE(summary.message.ends_with("; output switched off")) << summary.message;
    EXPECT_FALSE(outputOn());
    const Events events = timeline.events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "wait 10"), 0) << "nothing after the error";
}

TEST_F(SequenceRun, ARampSetsEachStepOnItsScheduleAndEndsExactlyAtItsLastValue)
{
    const Summary summary = run(R"({"ramp": {"voltage": [230, 161], "seconds": 2, "steps": 4}}, {"wait": 1})");

    // A setting takes 0.13 s of driver waits; the pacer waits out the rest of each 0.5 s.
    auto set = [](const char *volts) { return join({{std::string("> VOLT ") + volts, "wait 0.03"}, kChecked}); };
    EXPECT_EQ(timeline.events(), join({{"> VOLT:RANG?", "< 300\\n"}, set("230.000000"), {"wait 0.37"}, set("212.750000"), {"wait 0.37"},
                                       set("195.500000"), {"wait 0.37"}, set("178.250000"), {"wait 0.37"},
                                       set("161.000000"), {"wait 1"}}));
    EXPECT_EQ(simulator->snapshot().settings.phases[0].voltage, 161.0);
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[0].values, "voltage=230..161;seconds=2;steps=4");
    EXPECT_DOUBLE_EQ(rows.rows[0].elapsed, 2.13);
    EXPECT_EQ(summary.ending, Ending::Completed);
}

TEST_F(SequenceRun, AnAbortWithinARampStopsItThereWithTheOutputOff)
{
    const double start = runtime::currentClock().now();
    pacer.abortAt = start + 3.5; // in the wait after the step to 103 V (each step 1 s from 0.13 s on)
    const Summary summary =
        run(R"({"output": "on"}, {"ramp": {"voltage": [100, 200], "seconds": 100, "steps": 100}}, {"output": "on"})");

    EXPECT_EQ(summary.ending, Ending::Aborted);
    EXPECT_EQ(summary.message, "aborted during step 2; output switched off");
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[1].detail, "stopped by the abort at 103 V");
    EXPECT_LT(runtime::currentClock().now() - start, 4.0) << "the ramp ended when the abort came";
    const Events writes = timeline.writes();
    EXPECT_EQ(std::count_if(writes.begin(), writes.end(), [](const std::string &w) { return w.starts_with("VOLT "); }),
              4);
    EXPECT_EQ(writes[writes.size() - 2], "OUTP 0");
    EXPECT_FALSE(outputOn());
}

TEST_F(SequenceRun, TheReportHasARowPerRunAsItEndsAndTheSummaryLast)
{
    const std::string path = qx::test::privateTempPath("sequence_report.csv");
    ReportFile report;
    std::string error;
    ASSERT_TRUE(report.open(path, "demo, \"quoted\"", error)) << error;
    std::size_t linesWhenSecondEnded = 0;
    rows.after = [&](const Row &row) {
        report.finished(row);
        if (rows.rows.size() == 2) { // the file already holds it: a killed run keeps it
            std::ifstream in(path);
            linesWhenSecondEnded = static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
        }
    };
    ASSERT_TRUE(simulator->setFaults({.errorAfter = sim::ErrorAfterFault{"FREQ", -222, ""}}));
    report.close(run(R"({"set": {"range": "low", "voltage": 100}}, {"measure": ["voltage"], "expect": {"voltage": [1, 2]}},
                        {"set": {"frequency": 60}})"));

    std::ifstream in(path);
    Events lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(linesWhenSecondEnded, 4u);
    EXPECT_EQ(lines[0], "# sequence: demo, \"quoted\"");
    EXPECT_EQ(lines[1], kReportHeader);
    // After the ISO time stamp (2026-12-07T06:26:42.498Z): the virtual clock's seconds, and each
    // field with a comma or a quote quoted.
    EXPECT_EQ(lines[2].substr(24), ",0.260,1,1,set,range=low;voltage=100,pass,");
    EXPECT_EQ(lines[3].substr(24), ",0.290,2,1,measure,voltage=0,fail,\"voltage=0 outside [1, 2]\"");
    EXPECT_EQ(lines[4].substr(24), ",0.420,3,1,set,frequency=60,error,\"Instrument error detected.  Use ErrorQuery to "
                                   "determine the error(s): -222,\"\"Data out of range\"\" (status 0xBFFA0001)\"");
    EXPECT_EQ(lines[5], "# error: 3 runs, 1 passed, 2 failed");
    EXPECT_TRUE(lines[6].starts_with("# error in step 3: ")) << lines[6];
    EXPECT_FALSE(report.failed());
}

// Every shipped sequence: named, described, and within what both models can do; each leaves the
// output off at its end.
TEST(ShippedSequences, AreValidForBothModels)
{
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(QX_PRESETS_DIR)) {
        const ParsedSequence parsed = loadSequence(entry.path().string());
        ASSERT_TRUE(parsed.sequence) << entry.path() << ": " << parsed.error;
        EXPECT_FALSE(parsed.sequence->name.empty() || parsed.sequence->description.empty()) << entry.path();
        for (const char *model : {"7101QX", "7103QX"})
            EXPECT_EQ(checkAgainst(*parsed.sequence, *shippedLimits(model)), "") << entry.path() << " on a " << model;
        const Step &last = parsed.sequence->steps.back();
        EXPECT_TRUE(last.kind == StepKind::Output && !last.outputOn) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 10);
}

} // namespace
} // namespace qx::sequence
