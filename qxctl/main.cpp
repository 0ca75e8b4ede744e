// qxctl: one command on a QX Series source, for shell scripts and CI jobs.
#include "command_line.h"
#include "commands.h"
#include "discover_command.h"
#include "log_command.h"
#include "records_command.h"
#include "report.h"
#include "report_command.h"
#include "run_command.h"
#include "simulator_process.h"
#include "source.h"

#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kFailed = 1;

// Ctrl-C (or a TERM) during a sequence stops it at the next step run or within a wait; the
// source is then left safe.
std::atomic<bool> interrupted{false};
std::atomic<int> interruptSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void interrupt(int signal)
{
    interruptSignal = signal;
    interrupted = true;
}

void catchInterrupts()
{
    struct sigaction action = {};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// On stderr, and as the JSON object when asked for; status 0 for a refusal of qxctl's own.
void printFailureText(const qx::ctl::Invocation &inv, ViStatus status, const std::string &text)
{
    std::cerr << "qxctl: " << inv.command.name << ": " << text << '\n';
    if (inv.json)
        qx::ctl::printFailure(std::cout, inv.command.name, status, text);
}

struct Failure {
    ViStatus status = VI_SUCCESS;
    std::string text;
};

// An error the instrument holds after a command that may have changed it is that command's
// failure, also where the driver's own checks did not look (a measurement's phase selection) or
// saw only the first of several. Each is told on stderr; the failure in words, or none.
Failure emptyErrorQueue(ViSession vi, const qx::ctl::Invocation &inv)
{
    std::vector<std::string> errors;
    if (const ViStatus status = qx::ctl::readErrorQueue(vi, errors); status < 0) {
        const Failure failure{status, "reading the instrument's error queue: " + qx::ctl::failureText(vi, status)};
        std::cerr << "qxctl: " << inv.command.name << ": " << failure.text << '\n';
        return failure;
    }
    Failure failure;
    for (const std::string &error : errors) {
        std::cerr << "qxctl: " << inv.command.name << ": the instrument reports " << error << '\n';
        failure.text += (failure.text.empty() ? "the instrument reports " : "; ") + error;
        failure.status = ZEV_QX70_ERROR_INSTRUMENT_STATUS;
    }
    return failure;
}

// After a command that went well so far: the exit status, failed by what the error queue holds.
int afterErrorQueue(ViSession vi, const qx::ctl::Invocation &inv, int status)
{
    const Failure failure = emptyErrorQueue(vi, inv);
    if (failure.status == VI_SUCCESS)
        return status;
    if (inv.json)
        qx::ctl::printFailure(std::cout, inv.command.name, failure.status, failure.text);
    return kFailed;
}

// A command of one driver call or a few: its values, or its failure and what the instrument holds.
int runPlainCommand(ViSession vi, const qx::ctl::Invocation &inv)
{
    using namespace qx::ctl;
    const Outcome outcome = runCommand(vi, inv.command);
    const bool changes = changesInstrument(inv.command.verb);
    if (outcome.status < 0) {
        printFailureText(inv, outcome.status,
                         outcome.problem.empty() ? failureText(vi, outcome.status) : outcome.problem);
        // The driver's check took the first instrument error out of the queue; others may follow it.
        if (outcome.status == ZEV_QX70_ERROR_INSTRUMENT_STATUS && changes)
            emptyErrorQueue(vi, inv);
        return kFailed;
    }
    if (changes && afterErrorQueue(vi, inv, 0) != 0)
        return kFailed;
    if (outcome.status > 0)
        std::cerr << "qxctl: " << inv.command.name << ": warning: " << failureText(vi, outcome.status) << '\n';
    for (const std::string &warning : outcome.warnings)
        std::cerr << "qxctl: " << inv.command.name << ": warning: " << warning << '\n';
    printOutcome(std::cout, inv.command.name, outcome, inv.json);
    return std::cout.flush() ? 0 : kFailed;
}

// What needs no instrument: presets, run --check, discover, records, report.
int runWithoutInstrument(const qx::ctl::Invocation &inv)
{
    using namespace qx::ctl;
    if (inv.command.verb == Verb::Presets)
        return listPresets(inv.json);
    if (inv.command.verb == Verb::Discover)
        return runDiscoverCommand(inv.command.timeout, inv.json);
    if (inv.command.verb == Verb::Records)
        return runRecordsCommand(inv.command, inv.json);
    if (inv.command.verb == Verb::Report)
        return runReportCommand(inv.command);
    const std::optional<qx::sequence::Sequence> sequence = readSequenceCommand(inv.command, inv.json);
    return sequence ? checkSequenceCommand(inv.command, *sequence, inv.json) : kFailed;
}

int run(const qx::ctl::Invocation &inv)
{
    using namespace qx::ctl;
    if (!needsInstrument(inv.command))
        return runWithoutInstrument(inv);
    // What the command itself refuses is told before the instrument is opened.
    std::optional<qx::sequence::Sequence> sequence;
    if (inv.command.verb == Verb::Run) {
        sequence = readSequenceCommand(inv.command, inv.json);
        if (!sequence)
            return kRefusedSequence;
    }
    if (inv.command.verb == Verb::Log) {
        if (const std::string problem = logFileProblem(inv.command); !problem.empty()) {
            printFailureText(inv, VI_SUCCESS, problem);
            return kFailed;
        }
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
            printFailure(std::cout, inv.command.name, opened, text);
        return kFailed;
    }
    if (inv.command.verb != Verb::Run && inv.command.verb != Verb::Log)
        return runPlainCommand(source.session(), inv);
    const int status = sequence ? runSequenceCommand(source.session(), inv.command, *sequence, inv.json,
                                                     {resource, interrupted, interruptSignal})
                                : runLogCommand(source.session(), inv.command, inv.json, interrupted);
    if (status == kRefusedSequence) // nothing was sent
        return status;
    return afterErrorQueue(source.session(), inv, status);
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
