// qxgate: a LAN gateway that serves local instruments as VXI-11 devices.
#include "options.h"
#include "visa_instrument.h"

#include "visa/device.h"
#include "visa/io_trace.h"
#include "visa/visa.h"
#include "vxi11/device_server.h"
#include "vxi11/portmapper.h"

#include <csignal>
#include <cstdio>
#include <exception>
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
    std::vector<qx::vxi11::ServedDevice> devices;
    std::map<std::string, std::shared_ptr<VisaInstrument>> opened; // by canonical resource name
    std::string served;
    for (const Served &s : options.served) {
        // Names given to one resource share its session (and its lock).
        std::string canonical = qx::visa::canonicalResourceName(s.resource);
        std::shared_ptr<VisaInstrument> &instrument = opened[canonical.empty() ? s.resource : canonical];
        if (!instrument)
            instrument = std::make_shared<VisaInstrument>(rm, s.resource, serial);
        if (!instrument->opened()) {
            ViChar text[256] = {};
            viStatusDesc(rm, instrument->status(), text);
            viClose(rm);
            return fail("cannot open " + s.resource + ": " + text + " (status " + hex(instrument->status()) + ")");
        }
        devices.push_back({s.device, instrument});
        served += (served.empty() ? "" : ", ") + s.device + " (" + s.resource + ")";
    }

    qx::vxi11::ServerOptions serverOptions;
    serverOptions.listenAddress = options.listen;
    serverOptions.corePort = options.port;
    serverOptions.log = [](const std::string &line) { qx::visa::traceNote("qxgate", line); };
    qx::vxi11::DeviceServer server(std::move(devices), serverOptions);
    std::string problem;
    if (!server.start(problem)) {
        viClose(rm);
        return fail(problem);
    }
    const qx::vxi11::CoreChannelRegistration registration("qxgate", server.corePort());
    std::printf("qxgate: serving %s on %s:%u\n", served.c_str(), options.listen.c_str(),
                static_cast<unsigned>(server.corePort()));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop, &signal);
    server.stop();
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
