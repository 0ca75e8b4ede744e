#include "command_line.h"

#include "commands.h"
#include "quantities.h"
#include "run_command.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <iostream>
#include <vector>

namespace qx::ctl {
namespace {

constexpr int kUsageError = 2;

const char kDescription[] =
    "Command-line client for the QX Series programmable AC power sources (7101QX, 7103QX).\n"
    "Runs one command on the instrument and prints its values, one per line, or one JSON object\n"
    "(--json). Exit status 0 on success, 1 when the driver or the instrument reports an error\n"
    "(its message on stderr), 2 on a usage error.";

const char kFooter[] =
    "Resources: GPIB0::5::INSTR, ASRL1::INSTR (COM port 1: /dev/ttyS0, or the device QX_COM1 names),\n"
    "ASRL/dev/ttyUSB0::INSTR, TCPIP::host::port::SOCKET.\n"
    "Environment: QX_RESOURCE (default of -r), QX_IO_TRACE=FILE|stderr logs every read and write.";

// A finite number as typed, all of it: "12x", "", "nan" and "inf" are refused.
bool parseNumber(const std::string &text, double &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty() && std::isfinite(value);
}

// The value of "set range": low/high, or the selectors 1 and 2.
bool parseRange(const std::string &text, double &value)
{
    const std::optional<double> selector = sequence::rangeSelector(text);
    value = selector.value_or(0.0);
    return selector.has_value();
}

template <class Table> std::vector<std::string> namesOf(const Table &table)
{
    std::vector<std::string> names;
    for (const auto &entry : table)
        names.emplace_back(entry.name);
    return names;
}

std::vector<std::string> measurementNames() { return namesOf(sequence::kMeasurementKinds); }

// The options and positionals each command fills; copied into the Command after parsing.
struct Fields {
    std::string quantity;
    std::string value;
    std::string state;
    int number = 0;
    std::optional<int> phase;
    std::optional<double> angle;
    std::optional<double> time;
    std::string file;
    std::string report;
    bool check = false;
    std::string model;
    std::vector<std::string> kinds;
    double interval = 1.0;
    std::optional<double> duration;
    std::string csv;
    bool force = false;
    std::string database;
    std::string operatorName;
    std::string eut;
    std::string records;
    std::string action;
    std::string run;
    std::string pdf;
    std::string html;
    double timeout = 2.0;
    bool json = false;
};

struct Subcommand {
    Verb verb;
    CLI::App *app;
};

void addPhase(CLI::App *sub, Fields &fields, const char *what)
{
    sub->add_option("--phase", fields.phase, what)->check(CLI::Range(0, 3));
}

std::vector<Subcommand> addSubcommands(CLI::App &app, Fields &f)
{
    const std::vector<std::string> settable = namesOf(sequence::kSettableQuantities);
    std::vector<std::string> readable = settable;
    readable.emplace_back("output");
    const std::vector<std::string> onOff = {"on", "off"};
    std::vector<Subcommand> subs;
    auto add = [&](Verb verb, const char *name, const char *help) {
        subs.push_back({verb, app.add_subcommand(name, help)});
        return subs.back().app;
    };
    add(Verb::Identify, "identify", "model, serial number and firmware revision");
    add(Verb::Limits, "limits", "voltage limit (V), current limit (A), lowest and highest frequency (Hz), model");
    add(Verb::Get, "get", "the programmed value: voltage (V), frequency (Hz), current limit (A), "
                          "range (V), output (on/off)")
        ->add_option("what", f.quantity, "voltage|frequency|current|range|output")
        ->required()
        ->check(CLI::IsMember(readable));
    CLI::App *set = add(Verb::Set, "set", "program a value: voltage (V), frequency (Hz), current limit (A), "
                                          "range (low|high)");
    set->add_option("what", f.quantity, "voltage|frequency|current|range")->required()->check(CLI::IsMember(settable));
    set->add_option("value", f.value, "the value")->required();
    add(Verb::Output, "output", "close (on) or open (off) the output relay")
        ->add_option("state", f.state, "on|off")
        ->required()
        ->check(CLI::IsMember(onOff));
    CLI::App *measure = add(Verb::Measure, "measure", "measure the output");
    measure->add_option("kind", f.quantity)->required()->check(CLI::IsMember(measurementNames()));
    addPhase(measure, f, "0 all phases coupled (default), 1 to 3 one phase");
    add(Verb::Save, "save", "save the settings in register N")->add_option("N", f.number, "register")->required();
    add(Verb::Recall, "recall", "recall the settings of register N")->add_option("N", f.number, "register")->required();
    add(Verb::Remote, "remote", "remote (on) or local (off) operation")
        ->add_option("state", f.state, "on|off")
        ->required()
        ->check(CLI::IsMember(onOff));
    CLI::App *drop = add(Verb::Drop, "drop", "drop the output");
    drop->add_option("--angle", f.angle, "start at this angle: 0, 90, 180 or 270 degrees");
    drop->add_option("--time", f.time, "drop for this many seconds (else the instrument's own time)")
        ->check(CLI::PositiveNumber);
    addPhase(drop, f, "0 all phases (default), 1 to 3 one phase");
    add(Verb::Errors, "errors", "read the instrument's error queue until it is empty");
    CLI::App *run = add(Verb::Run, "run", "run a test sequence (a JSON file, or the name of a shipped one)");
    run->add_option("file", f.file, "the sequence file, or a shipped sequence: " + presetList())->required();
    run->add_option("--report", f.report, "write the results to this CSV file, row by row");
    run->add_flag("--check", f.check, "only check it against a model's limits and list its steps; no instrument");
    run->add_option("--model", f.model, "the model --check assumes: 7101QX or 7103QX (default)")
        ->check(CLI::IsMember({"7101QX", "7103QX"}));
    run->add_option("--operator", f.operatorName, "who runs it, as the test record names them");
    run->add_option("--eut", f.eut, "the equipment under test, NAME[,SERIAL], as the test record names it");
    run->add_option("--db", f.records, "file the test record here: an SQLite file, or a PostgreSQL URI "
                                       "(default: the local records file)");
    CLI::App *records = add(Verb::Records, "records", "the test records of past runs: list, show RUN, or sync "
                                                      "(send those kept locally to the lab's server)");
    records->add_option("action", f.action, "list|show|sync")->required()->check(CLI::IsMember({"list", "show", "sync"}));
    records->add_option("run", f.run, "show: a record's id, or last");
    records->add_option("--db", f.records, "the record store: an SQLite file, or a PostgreSQL URI");
    records->add_flag("--json", f.json, "print JSON");
    CLI::App *report = add(Verb::Report, "report", "make a report of a test record: PDF or HTML");
    report->add_option("run", f.run, "a record's id, or last")->required();
    report->add_option("--db", f.records, "the record store: an SQLite file, or a PostgreSQL URI");
    report->add_option("--pdf", f.pdf, "write a PDF file");
    report->add_option("--html", f.html, "write an HTML file");
    CLI::App *log = add(Verb::Log, "log", "measure again and again, printing a CSV row each time");
    log->add_option("kinds", f.kinds, "what to measure")->required()->check(CLI::IsMember(measurementNames()));
    addPhase(log, f, "0 all phases coupled (default), 1 to 3 one phase");
    log->add_option("--interval", f.interval, "seconds from one row to the next (default 1)")
        ->check(CLI::Range(0.01, 86400.0));
    log->add_option("--duration", f.duration, "seconds to log (default: until Ctrl-C)")->check(CLI::NonNegativeNumber);
    log->add_option("--csv", f.csv, "also write the rows to this CSV file (one that exists: only with --force)");
    log->add_flag("--force", f.force, "overwrite the CSV file if it exists");
    log->add_option("--db", f.database, "also write them to this SQLite database (a table per run)");
    add(Verb::Presets, "presets", "list the shipped test sequences, each with its estimated duration");
    CLI::App *discover = add(Verb::Discover, "discover", "list the instruments on the LAN (VXI-11 broadcast and "
                                                         "mDNS), one a line: resource strings, model, serial number");
    discover->add_option("--timeout", f.timeout, "seconds to look (default 2)")->check(CLI::Range(0.1, 60.0));
    discover->add_flag("--json", f.json, "print one JSON array");
    return subs;
}

// Fills the command from what the parser collected; "" or the problem in words.
std::string makeCommand(const Subcommand &sub, Fields &f, Command &c)
{
    c.verb = sub.verb;
    c.name = sub.app->get_name();
    c.quantity = f.quantity;
    if (!f.quantity.empty())
        c.name += " " + f.quantity;
    c.on = f.state == "on";
    c.number = f.number;
    c.phase = f.phase;
    c.angle = f.angle;
    c.time = f.time;
    c.file = f.file;
    c.report = f.report;
    c.check = f.check;
    c.model = f.model.empty() ? "7103QX" : f.model;
    c.kinds = f.kinds;
    c.interval = f.interval;
    c.duration = f.duration;
    c.csv = f.csv;
    c.force = f.force;
    c.database = f.database;
    c.operatorName = f.operatorName;
    c.eut = f.eut;
    c.records = f.records;
    c.action = f.action;
    c.run = f.run;
    c.pdf = f.pdf;
    c.html = f.html;
    c.timeout = f.timeout;
    if (c.verb != Verb::Set)
        return {};
    const bool ok = c.quantity == "range" ? parseRange(f.value, c.value) : parseNumber(f.value, c.value);
    if (ok)
        return {};
    return c.quantity == "range" ? "set range: \"" + f.value + "\" is no range (low, high, 1 or 2)"
                                 : "set " + c.quantity + ": \"" + f.value + "\" is not a number";
}

} // namespace

bool needsInstrument(const Command &command)
{
    return command.verb != Verb::Presets && command.verb != Verb::Discover && command.verb != Verb::Records &&
           command.verb != Verb::Report && !(command.verb == Verb::Run && command.check);
}

bool changesInstrument(Verb verb)
{
    switch (verb) {
    case Verb::Identify:
    case Verb::Limits:
    case Verb::Get:
    case Verb::Errors:
    case Verb::Presets:
    case Verb::Discover:
    case Verb::Records:
    case Verb::Report:
        return false;
    case Verb::Set:
    case Verb::Output:
    case Verb::Measure:
    case Verb::Save:
    case Verb::Recall:
    case Verb::Remote:
    case Verb::Drop:
    case Verb::Run:
    case Verb::Log:
        return true;
    }
    return true;
}

Parsed parseCommandLine(int argc, const char *const *argv)
{
    CLI::App app(kDescription, "qxctl");
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("qxctl ") + QX_VERSION);
    app.require_subcommand(0, 1); // a missing command is told below, after unknown words
    Invocation inv;
    std::string model;
    app.add_option("-r,--resource", inv.resource, "the instrument's VISA resource name")->envname("QX_RESOURCE");
    app.add_option("--baud", inv.baud, "baud rate of a serial link (default 9600)")->check(CLI::PositiveNumber);
    CLI::Option *simulate =
        app.add_option("--simulate", model, "run a simulated instrument (qxsim) of MODEL: 7101QX or 7103QX "
                                            "(default)")
            ->expected(0, 1)
            ->check(CLI::IsMember({"7101QX", "7103QX"}));
    app.add_flag("--json", inv.json, "print one JSON object");
    Fields fields;
    const std::vector<Subcommand> subs = addSubcommands(app, fields);
    try {
        app.parse(argc, argv);
        if (app.get_subcommands().empty())
            throw CLI::ValidationError("a command is required: identify, limits, get, set, output, measure, save, "
                                       "recall, remote, drop, errors, run, log, presets, discover, records or "
                                       "report");
        if (simulate->count() > 0)
            inv.simulateModel = model.empty() ? "7103QX" : model;
        for (const Subcommand &sub : subs) {
            if (sub.app->parsed()) {
                if (const std::string problem = makeCommand(sub, fields, inv.command); !problem.empty())
                    throw CLI::ValidationError(problem);
            }
        }
        inv.json = inv.json || fields.json;
        if (inv.command.verb == Verb::Records && inv.command.action == "show" && inv.command.run.empty())
            throw CLI::ValidationError("records show: which record? give its id, or last");
        if (inv.command.verb == Verb::Report && fields.pdf.empty() == fields.html.empty())
            throw CLI::ValidationError("report: give --pdf FILE or --html FILE (one of them)");
        if (!fields.model.empty() && !fields.check)
            throw CLI::ValidationError("run: --model goes with --check (an instrument tells its own model)");
        if (needsInstrument(inv.command) && !inv.simulateModel && inv.resource.empty())
            throw CLI::ValidationError("no instrument: give -r RESOURCE, set QX_RESOURCE, or use --simulate");
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e, std::cout, std::cerr);
        return {std::nullopt, code == 0 ? 0 : kUsageError};
    }
    return {std::move(inv), 0};
}

} // namespace qx::ctl
