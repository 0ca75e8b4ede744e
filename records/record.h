// A test record: what a lab files and signs for one run of a test sequence. It says which
// instrument ran it (identity and resource), with which software, by whom, on which equipment
// under test, which sequence (name, file, SHA-256 of its text), when (UTC, ISO 8601), every step
// run with what was sent and measured, and how the run ended. Reports are made from a record,
// never from live state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx::records {

struct Instrument {
    std::string model;    // "7103QX"
    std::string serial;   // as the instrument reports it
    std::string firmware; // its firmware revision
    std::string resource; // the VISA resource it was reached by
};

struct Eut { // the equipment under test
    std::string name;
    std::string serial; // "" when not given
};

struct Reading {
    std::string kind; // "voltage", "current", "power", ...
    int phase = 0;    // 0: all phases coupled, 1 to 3 one phase
    double value = 0.0;
    std::string unit; // "V", "A", "W"; "" for a ratio
};

struct Limit { // an expectation of a measure step: kind within [low, high]
    std::string kind;
    double low = 0.0;
    double high = 0.0;
    std::string unit;
};

// One run of one step (a step with "repeat": 3 gives three).
struct StepRun {
    int step = 0; // 1-based, as the sequence file counts
    int run = 1;
    std::string kind;    // "set", "output", "wait", "drop", "measure", "ramp"
    std::string action;  // the step in words: "drop at 90°, 0.01 s, all phases"
    std::string sent;    // what this run commanded: "angle=90;time=0.01;phase=0"
    std::string started; // ISO 8601 UTC
    std::string ended;   // ISO 8601 UTC
    double elapsed = 0.0; // seconds from the start of the sequence to the end of this run
    std::string verdict;  // "pass", "fail", "error"
    std::string detail;   // why it failed, or a warning
    std::vector<Reading> readings;
    std::vector<Limit> limits;
    // A drop as commanded: its start angle (none: at once) and time in seconds (none: the
    // instrument's own drop time).
    std::optional<double> dropAngle;
    std::optional<double> dropTime;
};

struct TestRecord {
    std::int64_t id = 0; // in the store it was read from; 0 before it is stored
    std::string uuid;    // the same in every store it reaches: a record is never filed twice
    Instrument instrument;
    std::string software;        // "qxctl", "qxseries", "qx70"
    std::string softwareVersion; // "1.4.0"
    std::string host;            // the bench's host name
    std::string operatorName;
    Eut eut;
    std::string sequenceName;
    std::string sequenceFile;
    std::string sequenceSha256; // of the file's text, lower-case hex
    std::string started;        // ISO 8601 UTC
    std::string ended;
    std::string verdict;   // "pass" (completed, every run passed), "fail" or "error"
    std::string ending;    // "completed", "aborted", "error"
    std::string endedBy;   // who aborted: "operator (Abort)", "interrupt (Ctrl-C)"; "" otherwise
    int failedStep = 0;    // the step an error ended the run in; 0 for none
    std::string message;   // how it ended, in words
    int runs = 0;
    int passed = 0;
    int failed = 0;
    std::vector<StepRun> steps;
};

// The short form `records list` gives.
struct RecordSummary {
    std::int64_t id = 0;
    std::string uuid;
    std::string started;
    std::string sequenceName;
    std::string model;
    std::string serial;
    std::string operatorName;
    std::string eut; // "name" or "name (serial)"
    std::string verdict;
};

// The fields a run should not start without when its sequence says "record": "required";
// the names of those missing ("operator", "EUT").
std::vector<std::string> missingRecordFields(const std::string &operatorName, const Eut &eut);

// "NAME[,SERIAL]" as typed on a command line.
Eut parseEut(const std::string &text);

} // namespace qx::records
