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
    app.add_option("--listen", options.listen, "numeric IPv4 address to listen on; default 0.0.0.0 (every interface)");
    app.add_option("--port", options.port, "core channel port; default any free port (clients ask rpcbind)");
    app.add_option("--baud", options.baud, "serial resources: baud rate; default 9600")->check(CLI::Range(50u, 4000000u));
    app.add_option("--flow", options.flow, "serial resources: flow control; default rtscts")
        ->check(CLI::IsMember({"none", "rtscts", "xonxoff"}));
    usage = app.help();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        options.help = true;
        return {};
    } catch (const CLI::ParseError &e) {
        return e.what();
    }
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
