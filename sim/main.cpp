// qxsim: a QX Series AC source on a pseudo-terminal and/or a TCP port, for the controller, its
// end-to-end tests and any other SCPI client.
#include "options.h"
#include "pty_server.h"
#include "server.h"
#include "simulator.h"
#include "tcp_server.h"
#include "vxi11_instrument.h"

#include "vxi11/portmapper.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace qx::sim;

int fail(const std::string &problem)
{
    std::fprintf(stderr, "qxsim: %s\n", problem.c_str());
    return 1;
}

// Termination requests arrive on a descriptor the poll loop watches.
int stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return -1;
    std::signal(SIGPIPE, SIG_IGN);
    return signalfd(-1, &set, SFD_CLOEXEC);
}

int run(int argc, char **argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    Options options;
    if (std::string problem = parseOptions(args, options); !problem.empty()) {
        std::fprintf(stderr, "qxsim: %s\n", problem.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    const int stopFd = stopSignals();
    if (stopFd < 0)
        return fail("cannot watch for signals");

    auto shared = std::make_shared<Simulator>(options.config);
    Simulator &simulator = *shared;
    simulator.setFaults(options.faults);
    if (!options.transcriptPath.empty() && !simulator.openTranscript(options.transcriptPath))
        return fail("cannot write the transcript " + options.transcriptPath);

    std::string error;
    std::unique_ptr<PtyServer> pty;
    std::unique_ptr<TcpServer> tcp;
    std::string where;
    if (!options.ptyLink.empty()) {
        pty = std::make_unique<PtyServer>();
        if (!pty->open(options.ptyLink, error))
            return fail(error);
        where = pty->slavePath() + " (" + pty->link() + ")";
    }
    if (options.tcpPort) {
        tcp = std::make_unique<TcpServer>();
        if (!tcp->listen(*options.tcpPort, error))
            return fail(error);
        where += (where.empty() ? "" : " and ") + std::string("127.0.0.1:") + std::to_string(tcp->port());
    }
    std::unique_ptr<qx::serve::DeviceServer> vxi11;
    std::unique_ptr<qx::vxi11::CoreChannelRegistration> registration;
    if (options.vxi11) {
        vxi11 = std::make_unique<qx::serve::DeviceServer>(vxi11Devices(shared, options.gpibAddress),
                                                          qx::serve::ServerOptions{});
        if (!vxi11->start(error))
            return fail(error);
        const auto port = vxi11->corePort();
        registration = std::make_unique<qx::vxi11::CoreChannelRegistration>("qxsim", port);
        where += (where.empty() ? "" : " and ") + std::string("VXI-11 inst0, gpib0,") +
                 std::to_string(options.gpibAddress) + " (port " + std::to_string(port) + ")";
    }
    std::printf("qxsim: %s on %s\n", std::string(modelName(options.config.model)).c_str(), where.c_str());
    std::fflush(stdout);

    serve(simulator, pty.get(), tcp.get(), stopFd);
    registration.reset();
    if (vxi11)
        vxi11->stop();
    ::close(stopFd);
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
