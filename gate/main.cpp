// qxgate: a LAN gateway that serves local instruments as VXI-11 devices and on raw SCPI sockets,
// and announces them on mDNS.
#include "announcement.h"
#include "identity.h"
#include "options.h"
#include "served_instrument.h"
#include "visa_instrument.h"
#include "web/password_store.h"
#include "web/web_face.h"

#include "discovery/dns_sd_publisher.h"
#include "visa/device.h"
#include "visa/io_trace.h"
#include "visa/visa.h"
#include "serve/conversation.h"
#include "serve/socket_server.h"
#include "serve/vxi11_server.h"
#include "vxi11/portmapper.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace qx::gate;

int fail(const std::string &problem)
{
    std::fprintf(stderr, "qxgate: %s\n", problem.c_str());
    return 1;
}

ViUInt16 flowControl(const std::string &name)
{
    if (name == "none")
        return VI_ASRL_FLOW_NONE;
    return name == "xonxoff" ? VI_ASRL_FLOW_XON_XOFF : VI_ASRL_FLOW_RTS_CTS;
}

std::string hex(ViStatus status)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

using Log = std::function<void(const std::string &)>;

std::chrono::milliseconds ms(double seconds)
{
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

qx::serve::ConversationOptions conversationOptions(const Options &o, const Log &log)
{
    qx::serve::ConversationOptions c;
    c.maxIoTimeout = c.maxLockTimeout = ms(o.maxTimeout);
    c.turnHold = ms(o.turnHold);
    c.drain = ms(o.drain);
    c.log = log;
    return c;
}

qx::serve::ServerOptions serverOptions(const Options &o, const Log &log)
{
    qx::serve::ServerOptions s;
    s.listenAddress = o.listen;
    s.corePort = o.port;
    s.access = o.access;
    s.maxConnections = o.maxClients;
    s.maxPerAddress = o.maxPerHost;
    s.firstLink = ms(o.firstLink);
    s.recordTimeout = ms(o.recordTimeout);
    s.idleTimeout = ms(o.idleTimeout);
    s.lockIdleTimeout = ms(o.lockIdleTimeout);
    s.log = log;
    return s;
}

// The raw SCPI sockets admit as the VXI-11 channels do.
qx::serve::SocketServerOptions socketOptions(const Options &o, const Log &log)
{
    qx::serve::SocketServerOptions s;
    static_cast<qx::serve::AdmissionRules &>(s) = serverOptions(o, log);
    s.listenAddress = o.listen;
    s.log = log;
    return s;
}

int run(int argc, char **argv)
{
    Options options;
    std::string usage;
    if (std::string problem = parseOptions(argc, argv, options, usage); !problem.empty()) {
        std::fprintf(stderr, "qxgate: %s\n%s", problem.c_str(), usage.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (options.setPassword.requested)
        return web::setPassword(options.setPassword.store.empty() ? defaultPasswordStore() : options.setPassword.store,
                                stdin, stderr);
    // Termination requests are taken by sigwait below, on this thread only.
    sigset_t stop;
    sigemptyset(&stop);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stop, s);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    ViSession rm = VI_NULL;
    if (viOpenDefaultRM(&rm) < 0)
        return fail("cannot open the resource manager");
    const SerialSetup serial{options.baud, flowControl(options.flow)};
    const Log log = [](const std::string &line) { qx::visa::traceNote("qxgate", line); };
    std::vector<qx::serve::ServedDevice> devices;
    std::vector<ServedInstrument> instruments;
    // One conversation per instrument, by canonical resource name: names of one resource share it.
    std::map<std::string, std::shared_ptr<qx::serve::Conversation>> conversations;
    std::string served;
    for (const Served &s : options.served) {
        std::string canonical = qx::visa::canonicalResourceName(s.resource);
        auto &conversation = conversations[canonical.empty() ? s.resource : canonical];
        if (!conversation) {
            auto instrument = std::make_shared<VisaInstrument>(rm, s.resource, serial, log);
            if (!instrument->opened()) {
                ViChar text[256] = {};
                viStatusDesc(rm, instrument->status(), text);
                conversations.clear();
                viClose(rm);
                return fail("cannot open " + s.resource + ": " + text + " (status " + hex(instrument->status()) + ")");
            }
            conversation =
                std::make_shared<qx::serve::Conversation>(std::move(instrument), conversationOptions(options, log));
        }
        devices.push_back({s.device, conversation});
        instruments.push_back({s, conversation, {}});
        served += (served.empty() ? "" : ", ") + s.device + " (" + s.resource + ")";
    }

    qx::serve::DeviceServer server(std::move(devices), serverOptions(options, log));
    std::string problem;
    if (!server.start(problem)) {
        viClose(rm);
        return fail(problem);
    }
    const qx::vxi11::CoreChannelRegistration registration("qxgate", server.corePort());
    std::vector<qx::serve::SocketDevice> sockets;
    for (const ServedInstrument &instrument : instruments)
        if (instrument.served.socketPort != 0)
            sockets.push_back({instrument.served.device, instrument.served.socketPort, instrument.conversation});
    qx::serve::SocketServer socketServer(sockets, socketOptions(options, log));
    if (!socketServer.start(problem)) {
        server.stop();
        conversations.clear();
        viClose(rm);
        return fail(problem);
    }
    // The faces that tell what the instruments are ask them once; without one (no web face, and
    // nothing another host could find on mDNS), the gateway sends nothing of its own.
    const bool identify = !options.http.empty() || (options.mdns && !announcements(instruments, options, "").empty());
    for (ServedInstrument &instrument : instruments) {
        if (!identify)
            break;
        instrument.identity = askIdentity(*instrument.conversation, "the gateway");
        if (!instrument.identity.known())
            log(instrument.served.device + " did not say what it is (*IDN?)");
    }
    // The web face: pages, identification, and the live view and control of QX sources.
    std::unique_ptr<web::WebFace> webFace;
    if (!options.http.empty()) {
        webFace = std::make_unique<web::WebFace>(instruments, web::webOptions(options, log));
        if (!webFace->start(problem)) {
            webFace.reset();
            socketServer.stop();
            server.stop();
            conversations.clear();
            viClose(rm);
            return fail(problem);
        }
    }
    // Discovery: the doors are announced on mDNS until the gateway stops.
    std::unique_ptr<qx::discovery::DnsSdPublisher> announced;
    if (options.mdns)
        announced = announce(instruments, options, [log](const std::string &line) {
            std::fprintf(stderr, "qxgate: %s\n", line.c_str());
            log(line);
        });
    if (options.access.openToAll())
        std::fprintf(stderr, "qxgate: WARNING: every host that reaches %s may use these instruments "
                             "(--allow any / --allow-read any)\n", options.listen.c_str());
    std::printf("qxgate: serving %s on %s:%u\n", served.c_str(), options.listen.c_str(),
                static_cast<unsigned>(server.corePort()));
    for (std::size_t i = 0; i < sockets.size(); ++i)
        std::printf("qxgate: raw SCPI socket of %s on %s:%u\n", sockets[i].name.c_str(), options.listen.c_str(),
                    static_cast<unsigned>(socketServer.port(i)));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop, &signal);
    announced.reset(); // withdrawn first: nobody is sent to a gateway that is going
    webFace.reset();
    socketServer.stop();
    server.stop();
    conversations.clear();
    viClose(rm); // closes every instrument session
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        return fail(e.what());
    } catch (...) {
        return fail("unexpected failure");
    }
}
