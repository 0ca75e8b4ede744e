// Builds a test record as a sequence runs: passed between the runner and whoever else watches it,
// it keeps every step run (what was sent, when, the readings with their units, the limits they
// were held to, a drop's angle and time as commanded) and, at the end, how the run ended.
#pragma once

#include "record.h"
#include "runner.h"
#include "zev_qx70.h"

#include <string>

namespace qx::records {

// Reads the instrument's model, serial number and firmware through the driver; the driver's
// status. `resource` is left as it was.
ViStatus readInstrument(ViSession vi, Instrument &instrument);

// The SHA-256 of `text`, lower-case hex.
std::string sha256Hex(const std::string &text);

// The trace fields a run starts with that need no instrument: software, host, sequence (name,
// file, hash of `text`), and the start time now.
void beginRecord(TestRecord &record, const sequence::Sequence &sequence, const std::string &file,
                 const std::string &text, const std::string &software, const std::string &version);

// Who and what a run is for, as its front end knows them.
struct RunTrace {
    std::string software; // "qxctl", "qxseries", "qx70"
    std::string version;
    std::string resource; // the VISA resource the session was opened by
    std::string operatorName;
    Eut eut;
    std::string file; // the sequence file, and the text of it that was read
    std::string text;
};

// A record begun for a run: beginRecord's fields, the trace's, and the instrument's identity read
// through the driver. Returns the driver's status of that reading: a record whose identity could
// not be read is still kept, with those fields empty.
ViStatus startRecord(TestRecord &record, ViSession vi, const sequence::Sequence &sequence, const RunTrace &trace);

// The end: verdict, ending, who ended it (`endedBy`, for an abort), tallies and the end time.
void endRecord(TestRecord &record, const sequence::Summary &summary, const std::string &endedBy);

class Recorder final : public sequence::Observer {
public:
    // Each run is added to `record` and then told to `next` (none: to nobody else).
    Recorder(TestRecord &record, const sequence::Sequence &sequence, sequence::Observer *next = nullptr)
        : record_(record), sequence_(sequence), next_(next)
    {
    }
    void starting(const sequence::Step &step, int run) override;
    void finished(const sequence::Row &row) override;

private:
    TestRecord &record_;
    const sequence::Sequence &sequence_;
    sequence::Observer *next_;
};

} // namespace qx::records
