// qxctl: one command on a QX Series source, for shell scripts and CI jobs.
#include "command_line.h"
#include "commands.h"
#include "log_command.h"
#include "report.h"
#include "run_command.h"
#include "simulator_process.h"
#include "source.h"

#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>

namespace {

constexpr int kFailed = 1;

// Ctrl-C (or a TERM) during a sequence stops it at the next step run or within a wait; the
// source is then left safe.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void interrupt(int) { interrupted = true; }

void catchInterrupts()
{
    struct sigaction action = {};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int run(const qx::ctl::Invocation &inv)
{
    using namespace qx::ctl;
    const std::string &name = inv.command.name;
    std::optional<qx::sequence::Sequence> sequence;
    if (inv.command.verb == Verb::Run) {
        sequence = readSequenceCommand(inv.command, inv.json);
        if (!sequence)
            return kRefusedSequence;
    }
    if (inv.command.verb == Verb::Run || inv.command.verb == Verb::Log)
        catchInterrupts();
    SimulatorProcess simulator;
    std::string resource = inv.resource;
    if (inv.simulateModel) {
        if (const std::string problem = simulator.start(*inv.simulateModel); !problem.empty()) {
            std::cerr << "qxctl: " << problem << '\n';
            return kFailed;
        }
        resource = simulator.resource();
    }
    Source source;
    const ViStatus opened = source.open(resource, inv.baud);
    if (opened < 0) {
        const std::string text = "cannot open " + resource + ": " + failureText(VI_NULL, opened);
        std::cerr << "qxctl: " << text << '\n';
        if (inv.json)
            printFailure(std::cout, name, opened, text);
        return kFailed;
    }
    if (sequence)
        return runSequenceCommand(source.session(), inv.command, *sequence, inv.json, interrupted);
    if (inv.command.verb == Verb::Log)
        return runLogCommand(source.session(), inv.command, inv.json, interrupted);
    const Outcome outcome = runCommand(source.session(), inv.command);
    if (outcome.status < 0) {
        const std::string text = failureText(source.session(), outcome.status);
        std::cerr << "qxctl: " << name << ": " << text << '\n';
        if (inv.json)
            printFailure(std::cout, name, outcome.status, text);
        return kFailed;
    }
    if (outcome.status > 0)
        std::cerr << "qxctl: " << name << ": warning: " << failureText(source.session(), outcome.status) << '\n';
    printOutcome(std::cout, name, outcome, inv.json);
    return std::cout.flush() ? 0 : kFailed;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const qx::ctl::Parsed parsed = qx::ctl::parseCommandLine(argc, argv);
        if (!parsed.invocation)
            return parsed.exitCode;
        return run(*parsed.invocation);
    } catch (const std::exception &e) {
        std::cerr << "qxctl: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "qxctl: unexpected failure\n";
    }
    return kFailed;
}
