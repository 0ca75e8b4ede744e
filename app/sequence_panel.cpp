// The test-sequence panel: a sequence opened from a file or the shipped ones, its steps listed,
// run on the instrument worker with the progress and each step's verdict shown as it comes,
// aborted at once from the panel. Each run leaves a test record (operator and equipment under test
// from the panel's fields, remembered; filed in the local records file or the lab's server), and
// its report is saved as PDF, HTML or CSV. Opening and saving are the operator's own work and run
// on the user-interface thread; the run, and filing its record, wait their turn on the worker like
// every other instrument job, and the abort does not wait at all.
#include "action_report.h"
#include "app_state.h"
#include "bench_pacer.h"
#include "callback_support.h"
#include "callbacks.h"
#include "qxseries_panels.h"
#include "recorder.h"
#include "record_report.h"
#include "report_file.h"
#include "sequence.h"
#include "store.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <optional>
#include <string_view>
#include <vector>

namespace qx::app {
namespace {

using namespace qx::sequence;

constexpr char kTitle[] = "QX Series Test Sequence";

struct SequenceState {
    int panel = 0;
    std::optional<Sequence> sequence; // the one opened; read by the run, replaced only while none runs
    std::string path;                 // its file and text, as they were read
    std::string text;
    std::atomic<bool> running{false};
    std::atomic<bool> abort{false};
    std::mutex mutex; // the run's results, written on the worker, saved on the user-interface thread
    std::vector<Row> rows;
    std::optional<Summary> summary;
    std::optional<records::TestRecord> record; // of the last run
    std::string abortedBy;                     // who asked for the abort
};

// The record fields' settings, one per control.
struct RecordField {
    int control;
    const char *setting;
};
constexpr RecordField kRecordFields[] = {
    {SEQUENCE_OPERATOR, "record/operator"},
    {SEQUENCE_EUT, "record/eut"},
    {SEQUENCE_EUT_SERIAL, "record/eutSerial"},
    {SEQUENCE_RECORDS, "record/store"},
};

SequenceState &state()
{
    static SequenceState instance;
    return instance;
}

// One line per step: its number, what it does, and how its runs went.
std::string stepList(const Sequence &sequence, const std::vector<Row> &rows, int current)
{
    std::string list;
    for (const Step &step : sequence.steps) {
        std::string verdict = step.number == current ? "running" : "";
        int runs = 0;
        for (const Row &row : rows) {
            if (row.step != step.number)
                continue;
            ++runs;
            if (row.verdict != Verdict::Pass)
                verdict = std::string(row.verdict == Verdict::Fail ? "FAIL" : "ERROR") + ": " + row.detail;
            else if (verdict.empty() || verdict == "running" || verdict.starts_with("pass"))
                verdict = step.repeat > 1 ? "pass " + std::to_string(runs) + "/" + std::to_string(step.repeat) : "pass";
        }
        if (step.number == current && runs < step.repeat && !verdict.starts_with("FAIL"))
            verdict = "running " + std::to_string(runs + 1) + "/" + std::to_string(step.repeat);
        char line[32];
        std::snprintf(line, sizeof line, "%3d  ", step.number);
        list += line + describeStep(step) + (verdict.empty() ? "" : "  [" + verdict + "]") + "\n";
    }
    return list;
}

// Shows each step as it starts and ends (called on the worker; the toolkit calls go across).
class PanelProgress final : public Observer {
public:
    PanelProgress(int panel, const Sequence &sequence) : panel_(panel), sequence_(sequence) {}
    void starting(const Step &step, int run) override
    {
        char line[96];
        std::snprintf(line, sizeof line, "Step %d of %zu, run %d of %d", step.number, sequence_.steps.size(), run,
                      step.repeat);
        ui::SetCtrlVal(panel_, SEQUENCE_PROGRESS, line);
        show(step.number);
    }
    void finished(const Row &row) override
    {
        {
            const std::lock_guard lock(state().mutex);
            state().rows.push_back(row);
        }
        if (row.kind == StepKind::Measure && row.verdict != Verdict::Error)
            publishReading(reading(row));
        show(row.step);
    }

private:
    // A measure step's values ("voltage=230;current=4.6") as a snapshot of the sequence's own.
    monitor::Snapshot reading(const Row &row) const
    {
        monitor::Snapshot snapshot;
        snapshot.origin = monitor::Origin::Sequence;
        int phase = 0;
        for (const Step &step : sequence_.steps)
            if (step.number == row.step)
                phase = step.phase.value_or(0);
        std::string_view rest = row.values;
        while (!rest.empty()) {
            const std::string_view item = rest.substr(0, rest.find(';'));
            rest.remove_prefix(std::min(rest.size(), item.size() + 1));
            const auto equals = item.find('=');
            if (equals == std::string_view::npos)
                continue;
            snapshot.channels.push_back({std::string(item.substr(0, equals)), phase});
            snapshot.values.push_back(std::strtod(std::string(item.substr(equals + 1)).c_str(), nullptr));
        }
        return snapshot;
    }

    void show(int current)
    {
        std::vector<Row> rows;
        {
            const std::lock_guard lock(state().mutex);
            rows = state().rows;
        }
        ui::SetCtrlVal(panel_, SEQUENCE_STEPS, stepList(sequence_, rows, current));
    }

    int panel_;
    const Sequence &sequence_;
};

// The controls that would change what runs are held while it runs.
void showRunning(int panel, bool running)
{
    for (const int control : {SEQUENCE_OPEN, SEQUENCE_PRESET, SEQUENCE_RUN, SEQUENCE_SAVE})
        ui::SetCtrlDimmed(panel, control, running ? 1 : 0);
    ui::SetCtrlDimmed(panel, SEQUENCE_ABORT, running ? 0 : 1);
}

std::string homeFolder()
{
    const char *home = std::getenv("HOME");
    return home != nullptr ? home : ".";
}

// As the connection learnt them: checking them sends nothing.
sequence::InstrumentLimits connectedLimits()
{
    const AppState &a = appState();
    return {a.modelnumber, a.voltmax, a.currmax, a.freqmin, a.freqmax};
}

// A shipped sequence by its name alone, any other by its path.
std::string fileLine(const std::string &path)
{
    std::error_code error;
    const std::filesystem::path file = std::filesystem::weakly_canonical(path, error);
    const std::filesystem::path shipped = std::filesystem::weakly_canonical(shippedSequenceFolder(), error);
    if (!error && file.parent_path() == shipped)
        return "shipped with the program: " + file.filename().string();
    return shownPath(path);
}

std::string fileText(const std::string &path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string fieldText(int panel, int control)
{
    std::string value;
    ui::GetCtrlVal(panel, control, &value);
    return value;
}

// Who runs it, on what, as the panel's fields say.
records::TestRecord recordFields(int panel)
{
    records::TestRecord record;
    record.operatorName = fieldText(panel, SEQUENCE_OPERATOR);
    record.eut = {fieldText(panel, SEQUENCE_EUT), fieldText(panel, SEQUENCE_EUT_SERIAL)};
    return record;
}

// "operator and EUT", "EUT", or "" when nothing is missing.
std::string missingFields(const records::TestRecord &record)
{
    std::string list;
    for (const std::string &field : records::missingRecordFields(record.operatorName, record.eut))
        list += (list.empty() ? "" : " and ") + field;
    return list;
}

// On the worker: the trace fields the run starts with, the instrument's identity among them.
void beginPanelRecord(records::TestRecord &record, ViSession vi)
{
    const SequenceState &s = state();
    const AppState &a = appState();
    const records::RunTrace trace{"qxseries", QX_VERSION,
                                  a.interfacekind == 1 ? "GPIB::" + std::to_string(a.address) + "::INSTR"
                                                       : "ASRL" + std::to_string(a.comport) + "::INSTR",
                                  record.operatorName, record.eut, s.path, s.text};
    if (records::startRecord(record, vi, *s.sequence, trace) < 0)
        recordFailure("Sequence: the instrument's identity could not be read for the test record");
}

// Files the record; what became of it, in words.
std::string fileRecord(records::RecordStore &store, records::TestRecord &record)
{
    std::string error;
    if (!store.save(record, error)) {
        recordFailure("Test record not filed: " + error);
        return "NOT FILED: " + error;
    }
    if (!error.empty())
        return "Record " + std::to_string(record.id) + ": " + error;
    return "Record " + std::to_string(record.id) + " filed in " + store.where();
}

std::string summaryLine(const Summary &summary)
{
    return std::string(summary.allPassed() ? "PASSED: " : "NOT PASSED: ") + std::to_string(summary.passed) +
           " passed, " + std::to_string(summary.failed) + " failed; " + summary.message;
}

} // namespace

int open_sequences(int, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kSequences);
    if (event != ui::EVENT_COMMIT)
        return 0;
    SequenceState &s = state();
    if (s.panel > 0 && ui::DisplayPanel(s.panel) == 0)
        return 0;
    s.panel = ui::LoadPanel(0, panelResourceFile(), SEQUENCE);
    if (s.panel < 0) {
        s.panel = 0;
        return -1;
    }
    for (const RecordField &field : kRecordFields)
        ui::SetCtrlVal(s.panel, field.control, ui::GetSetting(field.setting, ""));
    return ui::DisplayPanel(s.panel);
}

int sequence_panel(int panel, int event, void *, int, int)
{
    if (event != ui::EVENT_CLOSE)
        return 0;
    SequenceState &s = state();
    abortSequence("operator (closed the sequence window)"); // a run still going ends safe on its own
    ui::DiscardPanel(panel);
    s.panel = 0;
    return 0;
}

namespace {

int openSequence(int panel, int event, bool shipped)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(shipped ? help::kSequencePreset : help::kSequenceOpen);
    if (event != ui::EVENT_COMMIT || state().running)
        return 0;
    ui::FileRequest request{shipped ? "Open a shipped test sequence" : "Open a test sequence",
                            shipped ? shippedSequenceFolder() : ui::GetSetting("folders/sequences", homeFolder()),
                            "Test sequences (*.json)", false};
    std::string path;
    if (ui::FileSelectPopup(request, &path) != 1)
        return 0;
    // The text read once: the record's hash is of the very text that was checked and run.
    std::string text = fileText(path);
    ParsedSequence parsed = parseSequence(text);
    if (!parsed.sequence) {
        recordFailure("Sequence " + path + ": " + parsed.error);
        ui::WarningPopup(kTitle, "The sequence cannot be used:\n" + parsed.error);
        return -1;
    }
    if (!shipped)
        ui::SaveSetting("folders/sequences", std::filesystem::path(path).parent_path().string());
    SequenceState &s = state();
    {
        const std::lock_guard lock(s.mutex);
        s.rows.clear();
        s.summary.reset();
    }
    s.sequence = std::move(parsed.sequence);
    s.path = std::filesystem::absolute(path).string();
    s.text = std::move(text);
    ui::SetCtrlVal(panel, SEQUENCE_NAME, s.sequence->name.empty() ? "(unnamed)" : s.sequence->name);
    ui::SetCtrlVal(panel, SEQUENCE_FILE, fileLine(path));
    ui::SetCtrlVal(panel, SEQUENCE_STEPS, stepList(*s.sequence, {}, 0));
    ui::SetCtrlVal(panel, SEQUENCE_PROGRESS, "Ready: " + std::to_string(s.sequence->steps.size()) + " steps");
    showRunning(panel, false);
    ui::SetCtrlDimmed(panel, SEQUENCE_SAVE, 1);
    return 0;
}

} // namespace

int sequence_open(int panel, int, int event, void *, int, int) { return openSequence(panel, event, false); }
int sequence_preset(int panel, int, int event, void *, int, int) { return openSequence(panel, event, true); }

// Runs on the instrument worker.
int sequence_run(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kSequenceRun);
    SequenceState &s = state();
    if (event != ui::EVENT_COMMIT || !s.sequence || s.running)
        return 0;
    const ViSession vi = appState().vi;
    if (vi == VI_NULL) {
        ui::MessagePopup(kTitle, "Connect to the instrument first: the sequence runs on the connected source.");
        return -1;
    }
    if (const std::string problem = checkAgainst(*s.sequence, connectedLimits()); !problem.empty()) {
        recordFailure("Sequence refused: " + problem);
        ui::WarningPopup(kTitle, "The connected instrument cannot run this sequence; nothing was sent.\n" + problem);
        return -1;
    }
    records::TestRecord record = recordFields(panel);
    if (const std::string missing = missingFields(record); s.sequence->recordRequired && !missing.empty()) {
        recordFailure("Sequence refused: its record needs " + missing);
        ui::WarningPopup(kTitle, "This sequence's test record must name the " + missing +
                                     ": fill in the Test record fields. Nothing was sent.");
        return -1;
    }
    std::string error;
    const std::unique_ptr<records::RecordStore> store = records::openStore(fieldText(panel, SEQUENCE_RECORDS), error);
    if (!store) {
        recordFailure("Sequence refused: " + error);
        ui::WarningPopup(kTitle, "The test record could not be kept, so the sequence was not run; nothing was sent.\n" +
                                     error);
        return -1;
    }
    {
        const std::lock_guard lock(s.mutex);
        s.rows.clear();
        s.summary.reset();
        s.record.reset();
        s.abortedBy.clear();
    }
    s.abort = false;
    s.running = true;
    showRunning(panel, true);
    holdSteadyPanel(true, text::kSequenceOwns);
    beginPanelRecord(record, vi);
    BenchPacer pacer;
    PanelProgress progress(panel, *s.sequence);
    records::Recorder recorder(record, *s.sequence, &progress);
    const Summary summary = runSequence(vi, *s.sequence, pacer, recorder, s.abort);
    {
        const std::lock_guard lock(s.mutex);
        s.summary = summary;
        records::endRecord(record, summary, s.abortedBy.empty() ? "operator" : s.abortedBy);
    }
    const std::string filed = fileRecord(*store, record);
    {
        const std::lock_guard lock(s.mutex);
        s.record = std::move(record);
    }
    s.running = false;
    ui::SetCtrlVal(panel, SEQUENCE_RECORD, filed);
    ui::SetCtrlVal(panel, SEQUENCE_PROGRESS, summaryLine(summary));
    showRunning(panel, false);
    // The steady panel shows what the sequence left on the instrument, at once.
    holdSteadyPanel(false, text::kWaitStatus);
    if (appState().steadypanel > 0) {
        markMeasurementsStale();
        queryDisplay(false);
    }
    reportAction("Sequence", VI_SUCCESS, summaryLine(summary).c_str());
    if (summary.ending == Ending::Error)
        recordFailure("Sequence: " + summary.message);
    return summary.allPassed() ? 0 : -1;
}

// On the user-interface thread: it must not wait behind the run it stops.
int sequence_abort(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kSequenceAbort);
    if (event != ui::EVENT_COMMIT || !state().running)
        return 0;
    abortSequence("operator (Abort button)");
    ui::SetCtrlVal(panel, SEQUENCE_PROGRESS, "Aborting: the output goes off");
    return 0;
}

void abortSequence(const std::string &by)
{
    SequenceState &s = state();
    {
        const std::lock_guard lock(s.mutex);
        if (s.abortedBy.empty())
            s.abortedBy = by;
    }
    s.abort = true;
}

bool sequenceRunning() { return state().running; }

namespace {

bool endsWith(const std::string &path, const char *extension)
{
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.ends_with(extension);
}

// The report of the last run in the file's format: PDF or HTML from its test record, or CSV rows.
bool writeReport(const std::string &path, std::string &error)
{
    SequenceState &s = state();
    const std::lock_guard lock(s.mutex);
    if (endsWith(path, ".pdf") || endsWith(path, ".html") || endsWith(path, ".htm")) {
        if (!s.record) {
            error = "There is no test record yet: run the sequence first.";
            return false;
        }
        return endsWith(path, ".pdf") ? records::writePdfReport(*s.record, path, error)
                                      : records::writeHtmlReport(*s.record, path, error);
    }
    ReportFile report;
    if (!report.open(path, s.sequence->name, error))
        return false;
    for (const Row &row : s.rows)
        report.finished(row);
    if (s.summary)
        report.close(*s.summary);
    if (report.failed())
        error = "Writing " + path + " failed.";
    return !report.failed();
}

} // namespace

int sequence_save(int, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kSequenceSave);
    SequenceState &s = state();
    if (event != ui::EVENT_COMMIT || s.running || !s.sequence)
        return 0;
    std::string path;
    const ui::FileRequest request{"Save the sequence report", ui::GetSetting("folders/reports", homeFolder()),
                                  "PDF reports (*.pdf);;HTML reports (*.html);;CSV rows (*.csv)", true};
    if (ui::FileSelectPopup(request, &path) != 1)
        return 0;
    std::string error;
    if (!writeReport(path, error)) {
        ui::WarningPopup(kTitle, error.empty() ? "Writing " + path + " failed." : error);
        return -1;
    }
    ui::SaveSetting("folders/reports", std::filesystem::path(path).parent_path().string());
    return 0;
}

namespace {

// A record field changed: remembered for the next run and the next start of the program.
int recordFieldChanged(int panel, int control, int event)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kSequenceRecord);
    if (event != ui::EVENT_COMMIT)
        return 0;
    for (const RecordField &field : kRecordFields)
        if (field.control == control)
            ui::SaveSetting(field.setting, fieldText(panel, control));
    return 0;
}

} // namespace

int sequence_operator(int panel, int control, int event, void *, int, int)
{
    return recordFieldChanged(panel, control, event);
}
int sequence_eut(int panel, int control, int event, void *, int, int) { return recordFieldChanged(panel, control, event); }
int sequence_eut_serial(int panel, int control, int event, void *, int, int)
{
    return recordFieldChanged(panel, control, event);
}
int sequence_records(int panel, int control, int event, void *, int, int)
{
    return recordFieldChanged(panel, control, event);
}

} // namespace qx::app
