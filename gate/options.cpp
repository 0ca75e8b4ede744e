#include "options.h"

#include <CLI/CLI.hpp>

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace qx::gate {
namespace {

bool parsePort(const std::string &text, std::uint16_t &port)
{
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), ::isdigit))
        return false;
    const unsigned long value = std::stoul(text);
    port = static_cast<std::uint16_t>(value);
    return value >= 1 && value <= 65535;
}

// NAME=RESOURCE[,socket=PORT][,driver=qx70], the name a VXI-11 device name as clients write it.
// A resource string holds no comma, so the first comma after the '=' starts the settings.
std::string parseServed(const std::string &text, Served &out)
{
    static const char kForm[] = "--serve takes NAME=RESOURCE[,socket=PORT][,driver=qx70], e.g. gpib0,5=GPIB0::5::INSTR";
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        return kForm;
    out.device = text.substr(0, eq);
    std::transform(out.device.begin(), out.device.end(), out.device.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool plain = std::all_of(out.device.begin(), out.device.end(), [](unsigned char c) {
        return std::isalnum(c) || c == ',' || c == '_' || c == '.';
    });
    if (!plain)
        return "device name '" + out.device + "' may hold letters, digits, ',', '_' and '.' only";
    std::vector<std::string> parts;
    std::stringstream rest(text.substr(eq + 1));
    for (std::string part; std::getline(rest, part, ',');)
        parts.push_back(part);
    out.resource = parts.empty() ? std::string() : parts.front();
    if (out.resource.empty())
        return kForm;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string &setting = parts[i];
        if (setting.starts_with("socket=")) {
            if (!parsePort(setting.substr(7), out.socketPort))
                return "socket=PORT takes a port from 1 to 65535: " + setting;
        } else if (setting == "driver=qx70") {
            out.driver = "qx70";
        } else {
            return "unknown setting '" + setting + "' of device " + out.device + "; " + kForm;
        }
    }
    return {};
}

std::string checkHttp(const std::string &text)
{
    const auto colon = text.rfind(':');
    std::uint16_t port = 0;
    in_addr address{};
    const bool good = colon == std::string::npos
                          ? parsePort(text, port)
                          : parsePort(text.substr(colon + 1), port) &&
                                ::inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) == 1;
    return good ? std::string() : "--http takes [ADDR:]PORT, ADDR a numeric IPv4 address: " + text;
}

// Socket ports: given, or numbered from the base in order, passing over the ones given; none twice.
std::string assignSocketPorts(Options &options)
{
    const auto given = [&](unsigned port) {
        return std::any_of(options.served.begin(), options.served.end(), [&](const Served &s) { return s.socketPort == port; });
    };
    unsigned next = options.socketBase;
    for (Served &s : options.served)
        if (s.socketPort == 0 && options.socketBase != 0) {
            while (next <= 65535 && given(next))
                ++next;
            if (next > 65535)
                return "--socket-base: too few ports above " + std::to_string(options.socketBase);
            s.socketPort = static_cast<std::uint16_t>(next++);
        }
    for (std::size_t i = 0; i < options.served.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (options.served[i].socketPort != 0 && options.served[i].socketPort == options.served[j].socketPort)
                return "socket port " + std::to_string(options.served[i].socketPort) + " given to " +
                       options.served[j].device + " and " + options.served[i].device;
    return {};
}

} // namespace

std::string parseOptions(int argc, const char *const *argv, Options &options, std::string &usage)
{
    CLI::App app{"qxgate: serves local instruments (GPIB, serial, the simulator) to the LAN as VXI-11 devices,\n"
                 "registered with the local rpcbind. Every request and error goes to the I/O trace (QX_IO_TRACE).",
                 "qxgate"};
    std::vector<std::string> serve;
    app.add_option("--serve", serve, "NAME=RESOURCE[,socket=PORT][,driver=qx70]: serve RESOURCE as device NAME "
                                     "(repeatable), e.g. gpib0,5=GPIB0::5::INSTR or inst0=ASRL1::INSTR; socket=PORT "
                                     "also serves it on a raw SCPI socket; driver=qx70 says it is a QX source");
    app.add_option("--socket-base", options.socketBase,
                   "PORT: raw SCPI sockets for every device without socket=PORT, numbered from PORT in order "
                   "(5025 is the convention)")
        ->check(CLI::Range(1, 65535));
    app.add_option("--http", options.http, "[ADDR:]PORT: serve the web face (80 is the convention); ADDR defaults "
                                           "to the --listen address");
    app.add_option("--description", options.description, "your words for this gateway on its pages and records");
    app.add_option("--password-store", options.passwordStore,
                   "FILE: the web face's password hash (made by set-password); default " + defaultPasswordStore() +
                       ". Without one the pages are read-only");
    app.add_option("--tls-cert", options.tlsCert, "PEM FILE: the web face speaks HTTPS with this certificate");
    app.add_option("--tls-key", options.tlsKey, "PEM FILE: ... and this private key");
    app.add_flag("!--no-mdns", options.mdns, "do not publish the doors through mDNS/DNS-SD (Avahi)");
    CLI::App *setPassword = app.add_subcommand("set-password", "reads a new password for the web face (twice from "
                                                               "a terminal, once from a pipe) and keeps its salted hash");
    setPassword->add_option("--store", options.setPassword.store, "FILE; default " + defaultPasswordStore());
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
        options.setPassword.requested = setPassword->parsed();
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
    if (options.setPassword.requested)
        return {};
    if (serve.empty())
        return "--serve is required";
    if (!options.http.empty())
        if (std::string problem = checkHttp(options.http); !problem.empty())
            return problem;
    if (options.tlsCert.empty() != options.tlsKey.empty())
        return "--tls-cert and --tls-key go together";
    if (!options.tlsCert.empty() && options.http.empty())
        return "--tls-cert and --tls-key need --http";
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
    return assignSocketPorts(options);
}

std::string defaultPasswordStore()
{
    if (::geteuid() == 0)
        return "/etc/qxgate/passwd";
    const char *config = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    const std::string base = config != nullptr && *config == '/' ? config : std::string(home != nullptr ? home : "") + "/.config";
    return base + "/qxgate/passwd";
}

} // namespace qx::gate
