// A measurement log: chosen kinds and phases measured again and again, each row kept in a CSV
// file and an SQLite database (one table per run, listed in the table "runs"), both readable by
// sqlite3 and pandas. A row is on disk once append() returns: a log that is killed loses none.
#pragma once

#include "reading.h"
#include "snapshot.h"

#include <cstdio>
#include <string>
#include <vector>

struct sqlite3;

namespace qx::sequence {

// A log's channels, their reading and time stamps are the monitor's.
using LogChannel = monitor::Channel;
using monitor::measureChannels;
using monitor::utcTimestamp;

class MeasurementLog {
public:
    MeasurementLog() = default;
    ~MeasurementLog();
    MeasurementLog(const MeasurementLog &) = delete;
    MeasurementLog &operator=(const MeasurementLog &) = delete;

    // Starts a run in either file or both ("" for none); false with `error` when it cannot.
    bool open(const std::string &csvPath, const std::string &databasePath, const std::vector<LogChannel> &channels,
              std::string &error);
    // One row: the wall-clock time (ISO 8601), seconds since the start, a value per channel.
    bool append(const std::string &time, double elapsed, const std::vector<double> &values, std::string &error);
    void close();

    const std::string &table() const { return table_; } // the run's table, e.g. "run_20261207_062900"
    std::string header() const;                          // the CSV header line
    static std::string row(const std::string &time, double elapsed, const std::vector<double> &values); // a CSV line

private:
    bool openDatabase(const std::string &path, std::string &error);
    bool execute(const std::string &sql, std::string &error);

    std::vector<LogChannel> channels_;
    std::FILE *csv_ = nullptr;
    sqlite3 *db_ = nullptr;
    std::string table_;
    std::string insert_;
};

} // namespace qx::sequence
