#include "options.h"

#include <CLI/CLI.hpp>

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace qx::gate {
namespace {

// NAME=RESOURCE, the name a VXI-11 device name as clients write it.
std::string parseServed(const std::string &text, Served &out)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        return "--serve takes NAME=RESOURCE, e.g. gpib0,5=GPIB0::5::INSTR";
    out.device = text.substr(0, eq);
    std::transform(out.device.begin(), out.device.end(), out.device.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    out.resource = text.substr(eq + 1);
    const bool plain = std::all_of(out.device.begin(), out.device.end(), [](unsigned char c) {
        return std::isalnum(c) || c == ',' || c == '_' || c == '.';
    });
    if (!plain)
        return "device name '" + out.device + "' may hold letters, digits, ',', '_' and '.' only";
    return {};
}

} // namespace

std::string parseOptions(int argc, const char *const *argv, Options &options, std::string &usage)
{
    CLI::App app{"qxgate: serves local instruments (GPIB, serial, the simulator) to the LAN as VXI-11 devices,\n"
                 "registered with the local rpcbind. Every request and error goes to the I/O trace (QX_IO_TRACE).",
                 "qxgate"};
    std::vector<std::string> serve;
    app.add_option("--serve", serve, "NAME=RESOURCE: serve RESOURCE as device NAME (repeatable), e.g. "
                                     "gpib0,5=GPIB0::5::INSTR or inst0=ASRL1::INSTR")
        ->required();
    std::vector<std::string> allow;
    std::vector<std::string> allowRead;
    app.add_option("--allow", allow, "CIDR: hosts that may use the instruments as the local host may (repeatable), "
                                     "e.g. 10.0.0.0/24 or 10.0.0.7; 'any' for every host. Loopback always may");
    app.add_option("--allow-read", allowRead,
                   "CIDR: hosts that may only ask (every message all queries; no trigger, clear, remote, local "
                   "or lock), e.g. a lab dashboard (repeatable)");
    app.add_option("--listen", options.listen, "numeric IPv4 address to listen on; default 127.0.0.1, or 0.0.0.0 "
                                               "(every interface) when --allow or --allow-read admits other hosts");
    app.add_option("--port", options.port, "core channel port; default any free port (clients ask rpcbind)");
    app.add_option("--baud", options.baud, "serial resources: baud rate; default 9600")->check(CLI::Range(50u, 4000000u));
    app.add_option("--flow", options.flow, "serial resources: flow control; default rtscts")
        ->check(CLI::IsMember({"none", "rtscts", "xonxoff"}));
    const auto seconds = [&](const char *name, double &value, const char *what) {
        app.add_option(name, value, std::string(what) + "; default " + CLI::detail::to_string(value) + " s")
            ->check(CLI::Range(0.001, 86400.0));
    };
    app.add_option("--max-clients", options.maxClients, "connections on each channel in all; default 64")
        ->check(CLI::Range(1, 4096));
    app.add_option("--max-per-host", options.maxPerHost, "connections on each channel from one client address; "
                                                         "default 16")
        ->check(CLI::Range(1, 4096));
    seconds("--idle-timeout", options.idleTimeout, "a connection that sends nothing this long is closed");
    seconds("--lock-idle-timeout", options.lockIdleTimeout, "... this long while it holds a lock, which goes with it");
    seconds("--first-link", options.firstLink, "a connection must create a link within this");
    seconds("--record-timeout", options.recordTimeout, "a request once begun must arrive whole within this");
    seconds("--max-timeout", options.maxTimeout, "the longest I/O or lock time-out a client may ask for");
    seconds("--turn-hold", options.turnHold, "a client that asked and does not read its answer for this long "
                                             "loses it (thrown away)");
    seconds("--drain", options.drain, "the longest wait for an answer nobody will read before it is thrown away");
    usage = app.help();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        options.help = true;
        return {};
    } catch (const CLI::ParseError &e) {
        return e.what();
    }
    for (const auto &[texts, widen] : {std::pair{&allow, &serve::AccessRules::allow},
                                       std::pair{&allowRead, &serve::AccessRules::allowRead}})
        for (const std::string &text : *texts) {
            const std::optional<serve::Cidr> range = serve::parseCidr(text);
            if (!range)
                return "not an IPv4 address, CIDR range or 'any': " + text;
            (options.access.*widen)(*range);
        }
    if (options.listen.empty())
        options.listen = allow.empty() && allowRead.empty() ? "127.0.0.1" : "0.0.0.0";
    in_addr address{};
    if (::inet_pton(AF_INET, options.listen.c_str(), &address) != 1)
        return "--listen: not a numeric IPv4 address: " + options.listen;
    for (const std::string &text : serve) {
        Served served;
        if (std::string problem = parseServed(text, served); !problem.empty())
            return problem;
        const bool taken = std::any_of(options.served.begin(), options.served.end(),
                                       [&](const Served &s) { return s.device == served.device; });
        if (taken)
            return "device name '" + served.device + "' given twice";
        options.served.push_back(served);
    }
    return {};
}

} // namespace qx::gate
