#include "run_command.h"

#include "commands.h"
#include "failure_text.h"
#include "real_time.h"
#include "recorder.h"
#include "record.h"
#include "report_file.h"
#include "runner.h"
#include "store.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace qx::ctl {
namespace {

namespace fs = std::filesystem;
using namespace qx::sequence;

// Progress on stderr, one line per step run, and the report file when there is one.
class Progress final : public Observer {
public:
    Progress(std::size_t steps, ReportFile *report) : steps_(steps), report_(report) {}
    void starting(const Step &step, int) override
    {
        if (step.kind == StepKind::Wait) // a long wait is not taken for a hang
            std::cerr << "qxctl: step " << step.number << '/' << steps_ << " waits " << step.seconds << " s" << std::endl;
    }
    void finished(const Row &row) override
    {
        std::cerr << "qxctl: step " << row.step << '/' << steps_;
        if (row.run > 1)
            std::cerr << " run " << row.run;
        std::cerr << ' ' << stepKindName(row.kind) << ' ' << row.values << ": " << verdictName(row.verdict);
        if (!row.detail.empty())
            std::cerr << " (" << row.detail << ')';
        std::cerr << std::endl;
        if (report_ != nullptr)
            report_->finished(row);
    }

private:
    std::size_t steps_;
    ReportFile *report_;
};

double hundredths(double seconds) { return std::round(seconds * 100.0) / 100.0; }

std::vector<std::string> presetNames()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(shippedSequenceFolder(), error))
        if (entry.path().extension() == ".json")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A sequence refused before a run (nothing sent) or by run --check; the exit status.
int refuse(const Command &command, const std::string &what, bool json)
{
    std::cerr << "qxctl: run: " << what << (command.check ? "\n" : "; nothing was sent\n");
    if (json)
        std::cout << nlohmann::json{{"command", "run"}, {"ok", false}, {"error", {{"message", what}}}}.dump() << '\n';
    return command.check ? 1 : kRefusedSequence;
}

std::string fileText(const std::string &path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string abortedBy(int signal)
{
    switch (signal) {
    case SIGINT: return "operator (Ctrl-C, SIGINT)";
    case SIGTERM: return "signal SIGTERM";
    default: return "signal " + std::to_string(signal);
    }
}

// The record's fields a run starts with: who, on what, with which instrument and sequence.
void beginRunRecord(records::TestRecord &record, ViSession vi, const Command &command,
                    const Sequence &sequence, const std::string &resource)
{
    const std::string path = findSequence(command.file);
    const records::RunTrace trace{"qxctl", QX_VERSION, resource, command.operatorName, records::parseEut(command.eut),
                                  fs::absolute(path).string(), fileText(path)};
    if (const ViStatus status = records::startRecord(record, vi, sequence, trace); status < 0)
        std::cerr << "qxctl: run: the instrument's identity could not be read for the record: "
                  << failureText(vi, status) << std::endl;
}

// Files the record; false when it could be kept nowhere. A record kept on the bench for the lab's
// server later is kept.
bool fileRecord(records::RecordStore &store, records::TestRecord &record)
{
    std::string error;
    const bool kept = store.save(record, error);
    if (!kept)
        std::cerr << "qxctl: run: the test record could not be filed in " << store.where() << ": " << error << '\n';
    else if (!error.empty())
        std::cerr << "qxctl: run: " << error << '\n';
    else
        std::cerr << "qxctl: run: test record " << record.id << " filed in " << store.where() << '\n';
    return kept;
}

// The record fields a run of the command would lack ("operator", "EUT").
std::vector<std::string> missingFields(const Command &command)
{
    return records::missingRecordFields(command.operatorName, records::parseEut(command.eut));
}

std::string joined(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words)
        text += (text.empty() ? "" : ", ") + word;
    return text;
}

// The refusal of a sequence that requires a complete record, or "" when it may run.
std::string recordProblem(const Command &command, const Sequence &sequence, const std::vector<std::string> &missing)
{
    if (!sequence.recordRequired || missing.empty())
        return {};
    return command.file + ": the sequence requires a complete record; missing " + joined(missing) +
           " (give --operator NAME and --eut NAME[,SERIAL])";
}

} // namespace

std::string presetList()
{
    std::string list;
    for (const std::string &name : presetNames())
        list += (list.empty() ? "" : ", ") + name;
    return list.empty() ? "none installed" : list;
}

std::string findSequence(const std::string &fileOrName)
{
    std::error_code error;
    if (fs::is_regular_file(fileOrName, error))
        return fileOrName;
    const fs::path shipped = fs::path(shippedSequenceFolder()) / (fileOrName + ".json");
    return fs::is_regular_file(shipped, error) ? shipped.string() : std::string();
}

std::optional<Sequence> readSequenceCommand(const Command &command, bool json)
{
    const std::string path = findSequence(command.file);
    if (path.empty()) {
        refuse(command,
               "no sequence file \"" + command.file + "\" and no shipped sequence of that name (" + presetList() + ")",
               json);
        return std::nullopt;
    }
    ParsedSequence parsed = loadSequence(path);
    if (!parsed.sequence)
        refuse(command, path + ": " + parsed.error, json);
    return std::move(parsed.sequence);
}

int runSequenceCommand(ViSession vi, const Command &command, const Sequence &sequence, bool json,
                       const RunContext &context)
{
    if (const std::string problem = recordProblem(command, sequence, missingFields(command)); !problem.empty())
        return refuse(command, problem, json);
    InstrumentLimits limits;
    readLimits(vi, limits); // unknown limits (0) are not checked
    if (const std::string problem = checkAgainst(sequence, limits); !problem.empty())
        return refuse(command, command.file + ": " + problem, json);

    // A run whose record could be kept nowhere is not started.
    std::string error;
    const std::unique_ptr<records::RecordStore> store = records::openStore(command.records, error);
    if (!store)
        return refuse(command, "the test records cannot be kept: " + error, json);
    ReportFile report;
    if (!command.report.empty() && !report.open(command.report, sequence.name, error))
        return refuse(command, error, json);
    records::TestRecord record;
    beginRunRecord(record, vi, command, sequence, context.resource);
    std::cerr << "qxctl: running \"" << sequence.name << "\" (" << sequence.steps.size() << " steps)" << std::endl;
    RealTime clock;
    Progress progress(sequence.steps.size(), command.report.empty() ? nullptr : &report);
    records::Recorder recorder(record, sequence, &progress);
    const Summary summary = runSequence(vi, sequence, clock, recorder, context.abort);
    if (!command.report.empty())
        report.close(summary);
    records::endRecord(record, summary, abortedBy(context.signal));
    const bool filed = fileRecord(*store, record);

    const std::string tally = std::string(endingName(summary.ending)) + ": " + std::to_string(summary.runs) +
                              " runs, " + std::to_string(summary.passed) + " passed, " +
                              std::to_string(summary.failed) + " failed";
    if (json)
        std::cout << nlohmann::json{{"command", "run"},         {"ok", summary.allPassed()},
                                    {"ending", endingName(summary.ending)}, {"runs", summary.runs},
                                    {"passed", summary.passed}, {"failed", summary.failed},
                                    {"message", summary.message}, {"record", record.id},
                                    {"uuid", record.uuid}, {"filed", filed}}
                         .dump()
                  << '\n';
    else
        std::cout << tally << '\n' << summary.message << '\n';
    if (report.failed())
        std::cerr << "qxctl: run: writing the report " << command.report << " failed\n";
    return summary.allPassed() && !report.failed() && filed ? 0 : 1;
}

int checkSequenceCommand(const Command &command, const Sequence &sequence, bool json)
{
    const std::optional<InstrumentLimits> limits = shippedLimits(command.model);
    if (!limits)
        return refuse(command, "no model " + command.model + " (7101QX or 7103QX)", json);
    if (const std::string problem = checkAgainst(sequence, *limits); !problem.empty())
        return refuse(command, command.file + ": " + problem + " (checked as a " + command.model + ")", json);
    const std::vector<std::string> missing = missingFields(command);
    if (const std::string problem = recordProblem(command, sequence, missing); !problem.empty())
        return refuse(command, problem, json);
    const double seconds = estimatedSeconds(sequence);
    if (json) {
        Values steps = Values::array();
        for (const Step &step : sequence.steps)
            steps.push_back(describeStep(step));
        std::cout << Values{{"command", "run"},       {"ok", true},
                            {"model", command.model}, {"name", sequence.name},
                            {"seconds", hundredths(seconds)}, {"steps", steps},
                            {"missing", missing}}
                         .dump()
                  << '\n';
    } else {
        std::cout << '"' << sequence.name << "\": " << sequence.steps.size() << " steps, about "
                  << durationText(seconds) << "; a " << command.model << " can run it\n";
        for (const Step &step : sequence.steps)
            std::cout << step.number << ". " << describeStep(step) << '\n';
        if (!missing.empty())
            std::cout << "record: missing " << joined(missing) << '\n';
    }
    return std::cout.flush() ? 0 : 1;
}

int listPresets(bool json)
{
    Values list = Values::array();
    bool readable = true;
    for (const std::string &name : presetNames()) {
        const ParsedSequence parsed = loadSequence(findSequence(name));
        if (!parsed.sequence) {
            std::cerr << "qxctl: presets: " << name << ": " << parsed.error << '\n';
            readable = false;
            continue;
        }
        const double seconds = estimatedSeconds(*parsed.sequence);
        list.push_back({{"name", name}, {"seconds", hundredths(seconds)}, {"title", parsed.sequence->name}});
        if (!json)
            std::cout << name << "  about " << durationText(seconds) << "  " << parsed.sequence->name << '\n';
    }
    if (json)
        std::cout << Values{{"command", "presets"}, {"ok", readable}, {"presets", list}}.dump() << '\n';
    return std::cout.flush() && readable ? 0 : 1;
}

} // namespace qx::ctl
