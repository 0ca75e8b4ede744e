// The command line of qxctl: the options that choose the instrument and the output form, and the
// one command to run on it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qx::ctl {

enum class Verb {
    Identify, Limits, Get, Set, Output, Measure, Save, Recall, Remote, Drop, Errors, Run, Log, Presets, Discover,
    Records, Report
};

struct Command {
    Verb verb = Verb::Identify;
    std::string name;            // the command as typed, e.g. "set voltage", "measure power"
    std::string quantity;        // get, set: voltage|frequency|current|range|output; measure: the kind
    double value = 0.0;          // set: the value (a range as its selector, 1.0 low or 2.0 high)
    bool on = false;             // output, remote
    int number = 0;              // save, recall: the register
    std::optional<int> phase;    // measure, drop: 0 all phases coupled, 1 to 3 one phase
    std::optional<double> angle; // drop: the start angle in degrees
    std::optional<double> time;  // drop: the drop time in seconds
    std::string file;            // run: the sequence file, or a shipped sequence's name
    std::string report;          // run: the CSV report's path ("" for none)
    bool check = false;          // run: check the sequence against a model's limits only
    std::string model;           // run --check: the model, "7101QX" or "7103QX"
    std::string operatorName;    // run: who runs it, for the test record
    std::string eut;             // run: the equipment under test, "NAME[,SERIAL]"
    std::string records;         // run, records, report: the record store ("" for the default file)
    std::string action;          // records: list, show or sync
    std::string run;             // records show, report: a record's id, or "last"
    std::string pdf;             // report: the PDF file to write
    std::string html;            // report: the HTML file to write
    std::vector<std::string> kinds;  // log: the measurement kinds
    double interval = 1.0;           // log: seconds from one row to the next
    std::optional<double> duration;  // log: seconds to log (none: until Ctrl-C)
    std::string csv;                 // log: the CSV file ("" for none)
    bool force = false;              // log: overwrite an existing CSV file
    std::string database;            // log: the SQLite database ("" for none)
    double timeout = 2.0;            // discover: seconds to look
};

// Presets, run --check and discover need no instrument.
bool needsInstrument(const Command &command);

// Whether the command may change the instrument: each that may is followed by a look into the
// instrument's error queue. A measurement counts, since it selects the phases later settings reach.
bool changesInstrument(Verb verb);

struct Invocation {
    std::string resource;                    // -r, or QX_RESOURCE
    int baud = 9600;                         // --baud (serial links)
    std::optional<std::string> simulateModel; // --simulate[=MODEL]
    bool json = false;
    Command command;
};

struct Parsed {
    std::optional<Invocation> invocation; // none: exit at once with exitCode
    int exitCode = 0;                     // 0 after --help, 2 after a usage error (told on stderr)
};

Parsed parseCommandLine(int argc, const char *const *argv);

} // namespace qx::ctl
