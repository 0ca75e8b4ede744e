// The C face of sequences with records: the same checks, run and record as qxctl's, on a session
// the caller opened. Nothing escapes as an exception; each refusal sends nothing.
#include "qx_sequences.h"

#include "real_time.h"
#include "recorder.h"
#include "sequence.h"
#include "store.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace qx;

constexpr char kChannel[] = "1";

// The runs going on, by session, so that another thread can stop one.
struct Abort {
    std::atomic<bool> flag{false};
    std::string by;
};
std::mutex runsMutex;
std::map<ViSession, std::shared_ptr<Abort>> runs;

class Running {
public:
    explicit Running(ViSession vi) : vi_(vi)
    {
        const std::lock_guard lock(runsMutex);
        const auto [entry, inserted] = runs.emplace(vi, std::make_shared<Abort>());
        busy_ = !inserted; // another run of this session holds it
        abort_ = inserted ? entry->second : std::make_shared<Abort>();
    }
    ~Running()
    {
        const std::lock_guard lock(runsMutex);
        if (!busy_)
            runs.erase(vi_);
    }
    Running(const Running &) = delete;
    Running &operator=(const Running &) = delete;
    bool busy() const { return busy_; }
    const std::atomic<bool> &flag() const { return abort_->flag; }
    std::string by() const
    {
        const std::lock_guard lock(runsMutex);
        return abort_->by;
    }

private:
    ViSession vi_;
    bool busy_ = false;
    std::shared_ptr<Abort> abort_;
};

std::string text(ViConstString value) { return value != nullptr ? value : ""; }

std::string sequencePath(const std::string &fileOrName)
{
    std::error_code error;
    if (fs::is_regular_file(fileOrName, error))
        return fileOrName;
    for (const fs::path &folder : {fs::path(sequence::shippedSequenceFolder()), fs::path(QX_SEQUENCES_DIR)}) {
        const fs::path shipped = folder / (fileOrName + ".json");
        if (fs::is_regular_file(shipped, error))
            return shipped.string();
    }
    return {};
}

bool put(const nlohmann::json &value, ViInt32 size, ViChar result[])
{
    const std::string dumped = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (result == nullptr || size <= 0 || dumped.size() >= static_cast<std::size_t>(size))
        return false;
    std::memcpy(result, dumped.c_str(), dumped.size() + 1);
    return true;
}

ViStatus refuse(const std::string &why, ViInt32 size, ViChar result[])
{
    put({{"error", why}}, size, result);
    return ZEV_QX70_ERROR_INVALID_VALUE;
}

// Why the sequence cannot run on this session ("" when it can); nothing is sent by the checks but
// the limits' query.
std::string problemOf(ViSession vi, const sequence::Sequence &seq, const records::RunTrace &trace)
{
    sequence::InstrumentLimits limits;
    if (ZEV_QX70_ConfigureLimits(vi, kChannel, &limits.frequencyLow, &limits.frequencyHigh, &limits.current,
                                 &limits.voltage, &limits.model) < 0)
        return "not an open session of the driver, or its instrument does not answer";
    if (std::string problem = sequence::checkAgainst(seq, limits); !problem.empty())
        return problem;
    if (seq.recordRequired) {
        std::string missing;
        for (const std::string &field : records::missingRecordFields(trace.operatorName, trace.eut))
            missing += (missing.empty() ? "" : " and ") + field;
        if (!missing.empty())
            return "the sequence's test record must name the " + missing;
    }
    return {};
}

ViStatus run(ViSession vi, ViConstString sequenceName, ViConstString resource, ViConstString operatorName,
             ViConstString eut, ViConstString store, ViInt32 size, ViChar result[])
{
    if (result == nullptr || size < 64)
        return ZEV_QX70_ERROR_INVALID_VALUE;
    const std::string path = sequencePath(text(sequenceName));
    if (path.empty())
        return refuse("no sequence file \"" + text(sequenceName) + "\" and no shipped sequence of that name", size,
                      result);
    std::ostringstream fileText;
    fileText << std::ifstream(path, std::ios::binary).rdbuf();
    const sequence::ParsedSequence parsed = sequence::parseSequence(fileText.str());
    if (!parsed.sequence)
        return refuse(path + ": " + parsed.error, size, result);
    const Running running(vi);
    if (running.busy())
        return refuse("a sequence already runs on this session", size, result);
    const records::RunTrace trace{"qx70",         QX_VERSION,          text(resource), text(operatorName),
                                  records::parseEut(text(eut)), fs::absolute(path).string(), fileText.str()};
    if (const std::string problem = problemOf(vi, *parsed.sequence, trace); !problem.empty())
        return refuse(path + ": " + problem, size, result);
    std::string error;
    const std::unique_ptr<records::RecordStore> records = records::openStore(text(store), error);
    if (!records)
        return refuse("the test records cannot be kept: " + error, size, result);

    records::TestRecord record;
    records::startRecord(record, vi, *parsed.sequence, trace); // an unread identity leaves its fields empty
    sequence::RealTime clock;
    records::Recorder recorder(record, *parsed.sequence);
    const sequence::Summary summary = sequence::runSequence(vi, *parsed.sequence, clock, recorder, running.flag());
    records::endRecord(record, summary, running.by());
    const bool filed = records->save(record, error);
    put({{"ending", record.ending},
         {"verdict", record.verdict},
         {"runs", record.runs},
         {"passed", record.passed},
         {"failed", record.failed},
         {"message", record.message},
         {"record", record.id},
         {"uuid", record.uuid},
         {"store", records->where()},
         {"filed", filed},
         {"store_message", error}},
        size, result);
    if (!filed)
        return ZEV_QX70_ERROR_INVALID_VALUE; // ran, but its record is not kept: told in the result
    return summary.allPassed() ? VI_SUCCESS : 1;
}

} // namespace

extern "C" ViStatus QX_RunSequence(ViSession vi, ViConstString sequence, ViConstString resource,
                                   ViConstString operatorName, ViConstString eut, ViConstString store,
                                   ViInt32 resultSize, ViChar result[])
{
    try {
        return run(vi, sequence, resource, operatorName, eut, store, resultSize, result);
    } catch (...) { // out of memory, or a library's exception: reported, never passed on
        return ZEV_QX70_ERROR_INVALID_VALUE;
    }
}

extern "C" ViStatus QX_AbortSequence(ViSession vi, ViConstString by)
{
    try {
        const std::lock_guard lock(runsMutex);
        if (const auto found = runs.find(vi); found != runs.end()) {
            if (found->second->by.empty())
                found->second->by = by != nullptr ? by : "caller";
            found->second->flag = true;
        }
        return VI_SUCCESS;
    } catch (...) {
        return ZEV_QX70_ERROR_INVALID_VALUE;
    }
}
