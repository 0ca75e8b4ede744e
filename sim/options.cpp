#include "options.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace qx::sim {
namespace {

bool toDouble(std::string_view text, double &value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc{} && ptr == text.data() + text.size() && std::isfinite(value);
}

template <typename Int> bool toInt(std::string_view text, Int &value)
{
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc{} && ptr == text.data() + text.size();
}

std::string positiveNumber(std::string_view text, double &target)
{
    double v = 0.0;
    if (!toDouble(text, v) || v <= 0.0)
        return "expected a positive number, got '" + std::string(text) + "'";
    target = v;
    return {};
}

// [PHASE:]OHMS[,PF[,CREST]]
std::string parseLoad(std::string_view text, Options &o)
{
    int phase = 0;
    if (auto colon = text.find(':'); colon != std::string_view::npos) {
        if (!toInt(text.substr(0, colon), phase) || phase < 1 || phase > kMaxPhases)
            return "load phase must be 1 to 3";
        text.remove_prefix(colon + 1);
    }
    std::array<std::string_view, 3> fields{};
    std::size_t n = 0;
    for (;;) {
        auto comma = text.find(',');
        if (n == fields.size())
            return "a load has at most OHMS,PF,CREST";
        fields[n++] = text.substr(0, comma);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    Load load;
    if (fields[0] == "open")
        load.resistance = std::numeric_limits<double>::infinity();
    else if (!toDouble(fields[0], load.resistance))
        return "load resistance must be a number of ohms or 'open'";
    if (n > 1 && !toDouble(fields[1], load.powerFactor))
        return "load power factor must be a number";
    if (n > 2 && !toDouble(fields[2], load.crestFactor))
        return "load crest factor must be a number";
    if (std::string problem = validateLoad(load); !problem.empty())
        return problem;
    for (int i = 0; i < kMaxPhases; ++i)
        if (phase == 0 || phase == i + 1)
            o.config.loads[static_cast<std::size_t>(i)] = load;
    return {};
}

// HEADER[=CODE]
std::string parseErrorAfter(std::string_view text, Options &o)
{
    ErrorAfterFault fault;
    auto eq = text.find('=');
    fault.header = std::string(text.substr(0, eq));
    if (eq != std::string_view::npos && (!toInt(text.substr(eq + 1), fault.code) || fault.code == 0))
        return "error number must be a nonzero integer";
    o.faults.errorAfter = fault;
    return {};
}

std::string count(std::string_view text, std::size_t &target)
{
    if (!toInt(text, target))
        return "expected a whole number, got '" + std::string(text) + "'";
    return {};
}

struct OptionRecord {
    std::string_view name;
    std::string_view value; // empty: a flag
    std::string_view help;
    std::string (*apply)(std::string_view value, Options &o);
};

constexpr std::array kOptions{
    OptionRecord{"--model", "MODEL", "7101QX (one phase) or 7103QX (three phases); default 7103QX",
               [](std::string_view v, Options &o) {
                   return parseModel(v, o.config.model) ? std::string() : "unknown model '" + std::string(v) + "'";
               }},
    OptionRecord{"--pty", "LINK", "serve a pseudo-terminal and make LINK a symbolic link to it",
               [](std::string_view v, Options &o) {
                   o.ptyLink = std::string(v);
                   return std::string();
               }},
    OptionRecord{"--tcp", "PORT", "serve raw SCPI on 127.0.0.1:PORT, one client at a time (0: any free port)",
               [](std::string_view v, Options &o) {
                   int port = -1;
                   if (!toInt(v, port) || port < 0 || port > 65535)
                       return std::string("TCP port must be 0 to 65535");
                   o.tcpPort = port;
                   return std::string();
               }},
    OptionRecord{"--vxi11", "",
               "serve VXI-11 on 127.0.0.1 as inst0 and gpib0,N (see --gpib-address), registered with rpcbind",
               [](std::string_view, Options &o) {
                   o.vxi11 = true;
                   return std::string();
               }},
    OptionRecord{"--gpib-address", "N", "the GPIB address the VXI-11 device name gpib0,N gives; default 5",
               [](std::string_view v, Options &o) {
                   if (!toInt(v, o.gpibAddress) || o.gpibAddress < 0 || o.gpibAddress > 30)
                       return std::string("GPIB address must be 0 to 30");
                   return std::string();
               }},
    OptionRecord{"--transcript", "FILE", "write each message received (<) and answered (>) to FILE",
               [](std::string_view v, Options &o) {
                   o.transcriptPath = std::string(v);
                   return std::string();
               }},
    OptionRecord{"--manufacturer", "TEXT", "first field of *IDN?; default ZE",
               [](std::string_view v, Options &o) {
                   o.config.identity.manufacturer = std::string(v);
                   return std::string();
               }},
    OptionRecord{"--serial", "TEXT", "serial number in *IDN?; default SN000123",
               [](std::string_view v, Options &o) {
                   o.config.identity.serialNumber = std::string(v);
                   return std::string();
               }},
    OptionRecord{"--firmware", "TEXT", "firmware revision in *IDN?; default 1.02",
               [](std::string_view v, Options &o) {
                   o.config.identity.firmware = std::string(v);
                   return std::string();
               }},
    OptionRecord{"--voltage-limit", "VOLTS", "LIM:VOLT? and the high range; the low range is half; default 300",
               [](std::string_view v, Options &o) { return positiveNumber(v, o.config.limits.voltage); }},
    OptionRecord{"--current-limit", "AMPS", "LIM:CURR?: most current on the low range, half on the high; default 9.2",
               [](std::string_view v, Options &o) { return positiveNumber(v, o.config.limits.current); }},
    OptionRecord{"--freq-low", "HZ", "LIM:FREQ:LOW?, lowest frequency; default 16",
               [](std::string_view v, Options &o) { return positiveNumber(v, o.config.limits.frequencyLow); }},
    OptionRecord{"--freq-high", "HZ", "LIM:FREQ:HIGH?, highest frequency; default 500",
               [](std::string_view v, Options &o) { return positiveNumber(v, o.config.limits.frequencyHigh); }},
    OptionRecord{"--load", "[PHASE:]OHMS[,PF[,CREST]]",
               "load of one phase (1-3) or, without PHASE, of all: resistance in ohms or 'open', power factor "
               "(0-1], current crest factor; default 100,1,1.414; may be repeated",
               parseLoad},
    OptionRecord{"--drop-time", "SECONDS", "length of an OUTP:DROP sent without a time; default 0.1",
               [](std::string_view v, Options &o) {
                   double s = 0.0;
                   if (!toDouble(v, s) || s < 0.0 || s > kMaxDropSeconds)
                       return std::string("drop time must be 0 to 60 s");
                   o.config.defaultDropSeconds = s;
                   return std::string();
               }},
    OptionRecord{"--silent", "", "fault: never answer (the controller's read times out)",
               [](std::string_view, Options &o) {
                   o.faults.silent = true;
                   return std::string();
               }},
    OptionRecord{"--garbage", "", "fault: answer every query with bytes that are no number",
               [](std::string_view, Options &o) {
                   o.faults.garbage = true;
                   return std::string();
               }},
    OptionRecord{"--oversize", "BYTES", "fault: pad every answer to BYTES bytes (e.g. 5000, beyond a 4000-byte buffer)",
               [](std::string_view v, Options &o) { return count(v, o.faults.oversize); }},
    OptionRecord{"--slow", "SECONDS", "fault: delay every answer by SECONDS",
               [](std::string_view v, Options &o) {
                   if (!toDouble(v, o.faults.slowSeconds) || o.faults.slowSeconds < 0.0)
                       return std::string("slow delay must be a number of seconds");
                   return std::string();
               }},
    OptionRecord{"--faults-after", "N", "the answer faults above start after N messages; default 0",
               [](std::string_view v, Options &o) { return count(v, o.faults.armAfter); }},
    OptionRecord{"--close-after", "N", "fault: close the line once N messages were received (and answered)",
               [](std::string_view v, Options &o) {
                   std::size_t n = 0;
                   std::string problem = count(v, n);
                   o.faults.closeAfter = n;
                   return problem;
               }},
    OptionRecord{"--error-after", "HEADER[=CODE]",
               "fault: queue instrument error CODE (default -222) each time the command HEADER runs, e.g. VOLT=-222",
               parseErrorAfter},
    OptionRecord{"--help", "", "show this text and exit",
               [](std::string_view, Options &o) {
                   o.help = true;
                   return std::string();
               }},
};

} // namespace

std::string parseOptions(std::span<const std::string_view> args, Options &options)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string_view value;
        bool inlineValue = false;
        if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        const OptionRecord *record = nullptr;
        for (const OptionRecord &o : kOptions)
            if (o.name == arg)
                record = &o;
        if (!record)
            return "unknown option '" + std::string(args[i]) + "' (see --help)";
        if (record->value.empty() && inlineValue)
            return std::string(record->name) + " takes no value";
        if (!record->value.empty() && !inlineValue) {
            if (i + 1 >= args.size())
                return std::string(record->name) + " needs " + std::string(record->value);
            value = args[++i];
        }
        if (std::string problem = record->apply(value, options); !problem.empty())
            return std::string(record->name) + ": " + problem;
    }
    if (options.help)
        return {};
    if (options.ptyLink.empty() && !options.tcpPort && !options.vxi11)
        return "nothing to serve: give --pty LINK, --tcp PORT and/or --vxi11";
    if (std::string problem = validateConfig(options.config); !problem.empty())
        return problem;
    return validateFaults(options.faults);
}

std::string usage()
{
    std::string text = "Usage: qxsim [OPTION]... (at least one of --pty and --tcp)\n"
                       "Simulates a QX Series programmable AC source (SCPI, lines end with \\n).\n"
                       "Prints one line when ready and runs until SIGINT or SIGTERM, then removes LINK.\n\n";
    for (const OptionRecord &o : kOptions) {
        std::string head = "  " + std::string(o.name);
        if (!o.value.empty())
            head += " " + std::string(o.value);
        text += head;
        text += head.size() < 34 ? std::string(34 - head.size(), ' ') : "\n" + std::string(34, ' ');
        text += o.help;
        text += '\n';
    }
    return text;
}

} // namespace qx::sim
