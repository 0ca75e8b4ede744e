// What the monitor hands out: one reading of chosen measurements of one instrument session, stamped
// with the platform clock and the UTC time it stands for.
#pragma once

#include "zev_qx70.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qx::monitor {

// One measured quantity: a measurement kind's name ("voltage", "peak-current", ...) and a phase.
struct Channel {
    std::string kind;
    int phase = 0; // 0: all phases coupled, 1 to 3
    // The column's name: "voltage" for phase 0, "voltage_p2" for phase 2 ("-" becomes "_").
    std::string column() const;
    bool operator==(const Channel &) const = default;
};

enum class Origin {
    Poll,     // read by the poller at its pace
    Sequence, // a running sequence's own reading, published by whoever runs it
};

struct Snapshot {
    std::uint64_t number = 0; // counts up from 1 per poller, in the order handed out
    double clock = 0.0;       // the platform clock's seconds when the reading began
    std::string utc{};        // the UTC time that clock stands for, ISO 8601 with milliseconds
    std::vector<Channel> channels{};
    std::vector<double> values{}; // one per channel; empty when the reading failed
    ViStatus status = VI_SUCCESS;
    std::string error{}; // the driver's words for a negative status
    Origin origin = Origin::Poll;
};

// ISO 8601 in UTC with milliseconds: 2026-12-07T06:24:25.650Z.
std::string utcText(std::chrono::system_clock::time_point time);
// The wall clock now, as utcText.
std::string utcTimestamp();

} // namespace qx::monitor
