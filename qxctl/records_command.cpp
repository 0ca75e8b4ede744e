#include "records_command.h"

#include "record_json.h"
#include "sequence.h"
#include "store.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace qx::ctl {
namespace {

using namespace qx::records;

constexpr int kFailed = 1;

int fail(const std::string &what)
{
    std::cerr << "qxctl: records: " << what << '\n';
    return kFailed;
}

constexpr std::array<const char *, 8> kListColumns = {"ID", "TIME", "SEQUENCE", "MODEL", "SERIAL", "OPERATOR", "EUT",
                                                      "VERDICT"};

std::array<std::string, 8> listCells(const RecordSummary &s)
{
    return {std::to_string(s.id), s.started, s.sequenceName, s.model, s.serial, s.operatorName, s.eut, s.verdict};
}

// One line per run, in columns as wide as their widest cell.
void printList(const std::vector<RecordSummary> &summaries)
{
    std::vector<std::array<std::string, 8>> rows{{}};
    std::copy(kListColumns.begin(), kListColumns.end(), rows[0].begin());
    for (const RecordSummary &s : summaries)
        rows.push_back(listCells(s));
    std::array<std::size_t, 8> widths{};
    for (const auto &row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    for (const auto &row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i] + std::string(widths[i] - row[i].size() + 2, ' ') : row[i];
        std::cout << line << '\n';
    }
}

std::string number(double value) { return sequence::numberText(value); }

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string ending(const TestRecord &r)
{
    std::string text = r.ending;
    if (!r.endedBy.empty())
        text += " by " + r.endedBy;
    if (r.failedStep > 0)
        text += " at step " + std::to_string(r.failedStep);
    return text;
}

void printRecord(const TestRecord &r)
{
    const std::pair<const char *, std::string> trace[] = {
        {"record", std::to_string(r.id) + " (uuid " + r.uuid + ")"},
        {"instrument", r.instrument.model + ", serial " + r.instrument.serial + ", firmware " + r.instrument.firmware},
        {"resource", r.instrument.resource},
        {"software", r.software + " " + r.softwareVersion},
        {"host", r.host},
        {"operator", r.operatorName},
        {"EUT", r.eut.serial.empty() ? r.eut.name : r.eut.name + ", serial " + r.eut.serial},
        {"sequence", r.sequenceName},
        {"file", r.sequenceFile},
        {"SHA-256", r.sequenceSha256},
        {"started", r.started},
        {"ended", r.ended},
        {"ending", ending(r)},
        {"message", r.message},
        {"runs", std::to_string(r.runs) + " (" + std::to_string(r.passed) + " passed, " + std::to_string(r.failed) +
                     " failed)"},
        {"verdict", r.verdict},
    };
    for (const auto &[label, value] : trace)
        std::cout << label << ':' << std::string(12 - std::string(label).size(), ' ') << value << '\n';
    std::cout << "steps:\n";
    for (const StepRun &s : r.steps) {
        std::cout << "  " << s.step << '.' << s.run << ' ' << s.kind << ' ' << s.sent << ": " << s.verdict
                  << (s.detail.empty() ? "" : " (" + s.detail + ")") << "  " << s.started << " to " << s.ended << ", "
                  << seconds(s.elapsed) << " s";
        if (s.dropAngle || s.dropTime)
            std::cout << "  drop " << (s.dropAngle ? "at " + number(*s.dropAngle) + "°" : "at once") << ", "
                      << (s.dropTime ? number(*s.dropTime) + " s" : "the instrument's time");
        std::cout << '\n';
        for (const Reading &m : s.readings)
            std::cout << "      " << m.kind << (m.phase > 0 ? " phase " + std::to_string(m.phase) : "") << ": "
                      << number(m.value) << (m.unit.empty() ? "" : " " + m.unit) << '\n';
        for (const Limit &l : s.limits)
            std::cout << "      " << l.kind << " within " << number(l.low) << " to " << number(l.high)
                      << (l.unit.empty() ? "" : " " + l.unit) << '\n';
    }
}

int list(RecordStore &store, bool json)
{
    std::string error;
    const auto summaries = store.list(error);
    if (!summaries)
        return fail(error);
    if (json) {
        Json array = Json::array();
        for (const RecordSummary &s : *summaries)
            array.push_back(toJson(s));
        std::cout << array.dump() << '\n';
    } else if (summaries->empty()) {
        std::cerr << "qxctl: records: none in " << store.where() << '\n';
    } else {
        printList(*summaries);
    }
    return std::cout.flush() ? 0 : kFailed;
}

int show(RecordStore &store, const std::string &which, bool json)
{
    std::string error;
    const std::optional<TestRecord> record = store.load(which, error);
    if (!record)
        return fail(error);
    if (json)
        std::cout << toJson(*record).dump() << '\n';
    else
        printRecord(*record);
    return std::cout.flush() ? 0 : kFailed;
}

int sync(RecordStore &store, bool json)
{
    std::string error;
    const std::optional<int> sent = store.sync(error);
    if (!sent)
        return fail("sync: " + error);
    if (json)
        std::cout << Json{{"sent", *sent}, {"store", store.where()}}.dump() << '\n';
    else
        std::cout << *sent << " sent to " << store.where() << '\n';
    return std::cout.flush() ? 0 : kFailed;
}

} // namespace

int runRecordsCommand(const Command &command, bool json)
{
    std::string error;
    const std::unique_ptr<RecordStore> store = openStore(command.records, error);
    if (!store)
        return fail(error);
    if (command.action == "list")
        return list(*store, json);
    if (command.action == "show")
        return show(*store, command.run, json);
    return sync(*store, json);
}

} // namespace qx::ctl
