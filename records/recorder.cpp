#include "recorder.h"

#include "snapshot.h"

#include <sodium.h>
#include <unistd.h>

#include <array>

namespace qx::records {
namespace {

std::string hostName()
{
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return name.data();
}

const sequence::Step *findStep(const sequence::Sequence &sequence, int number)
{
    for (const sequence::Step &step : sequence.steps)
        if (step.number == number)
            return &step;
    return nullptr;
}

std::vector<Limit> limitsOf(const sequence::Step &step)
{
    std::vector<Limit> limits;
    for (const sequence::Expectation &e : step.expect) {
        const sequence::MeasurementKind *kind = sequence::findMeasurement(e.kind);
        limits.push_back({e.kind, e.low, e.high, kind != nullptr ? kind->unit : ""});
    }
    return limits;
}

} // namespace

ViStatus readInstrument(ViSession vi, Instrument &instrument)
{
    ViChar model[512] = {};
    ViChar serial[257] = {};
    ViChar driverRevision[256] = {};
    ViChar firmware[256] = {};
    ViStatus status = ZEV_QX70_Model_Number(vi, model);
    if (status >= 0)
        status = ZEV_QX70_Serial_Number(vi, serial);
    if (status >= 0)
        status = ZEV_QX70_revision_query(vi, driverRevision, firmware);
    if (status < 0)
        return status;
    instrument.model = model;
    instrument.serial = serial;
    instrument.firmware = firmware;
    return status;
}

std::string sha256Hex(const std::string &text)
{
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char *>(text.data()), text.size());
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    return hex;
}

void beginRecord(TestRecord &record, const sequence::Sequence &sequence, const std::string &file,
                 const std::string &text, const std::string &software, const std::string &version)
{
    record.software = software;
    record.softwareVersion = version;
    record.host = hostName();
    record.sequenceName = sequence.name;
    record.sequenceFile = file;
    record.sequenceSha256 = sha256Hex(text);
    record.started = monitor::utcTimestamp();
    record.steps.clear();
}

ViStatus startRecord(TestRecord &record, ViSession vi, const sequence::Sequence &sequence, const RunTrace &trace)
{
    beginRecord(record, sequence, trace.file, trace.text, trace.software, trace.version);
    record.operatorName = trace.operatorName;
    record.eut = trace.eut;
    record.instrument.resource = trace.resource;
    return readInstrument(vi, record.instrument);
}

void endRecord(TestRecord &record, const sequence::Summary &summary, const std::string &endedBy)
{
    record.ended = monitor::utcTimestamp();
    record.ending = sequence::endingName(summary.ending);
    record.endedBy = summary.ending == sequence::Ending::Aborted ? endedBy : std::string();
    record.message = summary.message;
    record.runs = summary.runs;
    record.passed = summary.passed;
    record.failed = summary.failed;
    record.failedStep = 0;
    if (summary.ending == sequence::Ending::Error && !record.steps.empty())
        record.failedStep = record.steps.back().step;
    // A run that did not complete says nothing of the equipment under test: neither pass nor fail.
    record.verdict = summary.allPassed() ? "pass" : summary.ending == sequence::Ending::Completed ? "fail" : "incomplete";
}

void Recorder::starting(const sequence::Step &step, int run)
{
    if (next_ != nullptr)
        next_->starting(step, run);
}

void Recorder::finished(const sequence::Row &row)
{
    StepRun run;
    run.step = row.step;
    run.run = row.run;
    run.kind = sequence::stepKindName(row.kind);
    run.sent = row.values;
    run.started = row.started;
    run.ended = row.time;
    run.elapsed = row.elapsed;
    run.verdict = sequence::verdictName(row.verdict);
    run.detail = row.detail;
    for (const sequence::Measured &m : row.readings)
        run.readings.push_back({m.kind, m.phase, m.value, m.unit});
    if (const sequence::Step *step = findStep(sequence_, row.step)) {
        run.action = sequence::describeStep(*step);
        run.limits = limitsOf(*step);
        if (step->kind == sequence::StepKind::Drop) {
            run.dropAngle = step->angle;
            run.dropTime = step->dropTime;
        }
    }
    record_.steps.push_back(std::move(run));
    if (next_ != nullptr)
        next_->finished(row);
}

} // namespace qx::records
