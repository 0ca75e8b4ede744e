#include "log_command.h"

#include "failure_text.h"
#include "measurement_log.h"
#include "real_time.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace qx::ctl {

using namespace qx::sequence;

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
        // Rows keep to the interval from the start; a slow row does not shift the rest.
        const double next = (row + 1) * command.interval;
        if (command.duration && next > *command.duration)
            break;
        clock.sleep(next - (clock.now() - start), abort);
    }
    return 0;
}

} // namespace qx::ctl
