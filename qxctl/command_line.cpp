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

// A number as typed, all of it: "12x" and "" are refused.
bool parseNumber(const std::string &text, double &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

// The value of "set range": low/high, or the selectors 1 and 2.
bool parseRange(const std::string &text, double &value)
{
    const std::optional<double> selector = sequence::rangeSelector(text);
    value = selector.value_or(0.0);
    return selector.has_value();
}

std::vector<std::string> measurementNames()
{
    std::vector<std::string> names;
    for (const sequence::MeasurementKind &m : sequence::kMeasurementKinds)
        names.emplace_back(m.name);
    return names;
}

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
    std::vector<std::string> kinds;
    double interval = 1.0;
    std::optional<double> duration;
    std::string csv;
    std::string database;
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
    const std::vector<std::string> settable = {"voltage", "frequency", "current", "range"};
    const std::vector<std::string> readable = {"voltage", "frequency", "current", "range", "output"};
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
    CLI::App *log = add(Verb::Log, "log", "measure again and again, printing a CSV row each time");
    log->add_option("kinds", f.kinds, "what to measure")->required()->check(CLI::IsMember(measurementNames()));
    addPhase(log, f, "0 all phases coupled (default), 1 to 3 one phase");
    log->add_option("--interval", f.interval, "seconds from one row to the next (default 1)")
        ->check(CLI::Range(0.01, 86400.0));
    log->add_option("--duration", f.duration, "seconds to log (default: until Ctrl-C)")->check(CLI::NonNegativeNumber);
    log->add_option("--csv", f.csv, "also write the rows to this CSV file");
    log->add_option("--db", f.database, "also write them to this SQLite database (a table per run)");
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
    c.kinds = f.kinds;
    c.interval = f.interval;
    c.duration = f.duration;
    c.csv = f.csv;
    c.database = f.database;
    if (c.verb != Verb::Set)
        return {};
    const bool ok = c.quantity == "range" ? parseRange(f.value, c.value) : parseNumber(f.value, c.value);
    if (ok)
        return {};
    return c.quantity == "range" ? "set range: \"" + f.value + "\" is no range (low, high, 1 or 2)"
                                 : "set " + c.quantity + ": \"" + f.value + "\" is not a number";
}

} // namespace

Parsed parseCommandLine(int argc, const char *const *argv)
{
    CLI::App app(kDescription, "qxctl");
    app.footer(kFooter);
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
                                       "recall, remote, drop, errors, run or log");
        if (simulate->count() > 0)
            inv.simulateModel = model.empty() ? "7103QX" : model;
        if (!inv.simulateModel && inv.resource.empty())
            throw CLI::ValidationError("no instrument: give -r RESOURCE, set QX_RESOURCE, or use --simulate");
        for (const Subcommand &sub : subs) {
            if (sub.app->parsed()) {
                if (const std::string problem = makeCommand(sub, fields, inv.command); !problem.empty())
                    throw CLI::ValidationError(problem);
            }
        }
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e, std::cout, std::cerr);
        return {std::nullopt, code == 0 ? 0 : kUsageError};
    }
    return {std::move(inv), 0};
}

} // namespace qx::ctl
