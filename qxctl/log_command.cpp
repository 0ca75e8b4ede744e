#include "log_command.h"

#include "failure_text.h"
#include "measurement_log.h"
#include "real_time.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iostream>

namespace qx::ctl {

using namespace qx::sequence;

namespace {

// Rows that could not keep the interval: the first told at once, the rest in a tally at the end.
class LateRows {
public:
    explicit LateRows(double interval) : interval_(interval) {}
    void row(double seconds)
    {
        if (seconds <= interval_ || late_++ > 0)
            return;
        std::cerr << "qxctl: log: warning: a row took " << numberText(seconds) << " s, longer than the "
                  << numberText(interval_) << " s interval; rows follow as fast as the instrument answers"
                  << std::endl;
    }
    void tally() const
    {
        if (late_ > 1)
            std::cerr << "qxctl: log: warning: " << late_ << " rows took longer than the interval\n";
    }

private:
    double interval_;
    int late_ = 0;
};

} // namespace

std::string logFileProblem(const Command &command)
{
    std::error_code error;
    if (command.csv.empty() || command.force || !std::filesystem::exists(command.csv, error))
        return {};
    return command.csv + " exists; give --force to overwrite it";
}

int runLogCommand(ViSession vi, const Command &command, bool json, const std::atomic<bool> &abort)
{
    std::vector<LogChannel> channels;
    for (const std::string &kind : command.kinds)
        channels.push_back({kind, command.phase.value_or(ZEV_QX70_VAL_PHASE_ALL)});
    MeasurementLog log;
    std::string error;
    if (!log.open(command.csv, command.database, channels, error)) {
        std::cerr << "qxctl: log: " << error << '\n';
        return 1;
    }
    if (!json)
        std::cout << log.header() << std::endl;
    RealTime clock;
    LateRows late(command.interval);
    const double start = clock.now();
    std::vector<double> values;
    for (int row = 0; !abort; ++row) {
        const std::string time = utcTimestamp(); // when the row's measuring began
        const double elapsed = clock.now() - start;
        const ViStatus status = measureChannels(vi, channels, values);
        if (status < 0) {
            std::cerr << "qxctl: log: " << failureText(vi, status) << '\n';
            return 1;
        }
        if (!log.append(time, elapsed, values, error)) {
            std::cerr << "qxctl: log: " << error << '\n';
            return 1;
        }
        if (json) {
            nlohmann::ordered_json object = {{"time", time}, {"elapsed_s", elapsed}};
            for (std::size_t i = 0; i < channels.size(); ++i)
                object[channels[i].column()] = values[i];
            std::cout << object.dump() << std::endl;
        } else {
            std::cout << MeasurementLog::row(time, elapsed, values) << std::endl;
        }
        late.row(clock.now() - start - elapsed); // measuring, keeping and printing it
        // Rows keep to the interval from the start; a slow row does not shift the rest.
        const double next = (row + 1) * command.interval;
        if (command.duration && next > *command.duration)
            break;
        clock.sleep(next - (clock.now() - start), abort);
    }
    late.tally();
    return 0;
}

} // namespace qx::ctl
