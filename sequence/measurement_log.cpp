#include "measurement_log.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace qx::sequence {
namespace {

constexpr int kMostRunsPerSecond = 100;

std::string runName()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char name[32];
    std::strftime(name, sizeof name, "run_%Y%m%d_%H%M%S", &utc);
    return name;
}

std::string quoted(const std::string &identifier) { return '"' + identifier + '"'; }

} // namespace

MeasurementLog::~MeasurementLog() { close(); }

std::string MeasurementLog::header() const
{
    std::string line = "time,elapsed_s";
    for (const LogChannel &c : channels_)
        line += ',' + c.column();
    return line;
}

bool MeasurementLog::execute(const std::string &sql, std::string &error)
{
    char *message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = "database: " + std::string(message != nullptr ? message : sqlite3_errmsg(db_));
    sqlite3_free(message);
    return false;
}

bool MeasurementLog::openDatabase(const std::string &path, std::string &error)
{
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        error = "cannot open the database " + path + ": " + sqlite3_errmsg(db_);
        return false;
    }
    sqlite3_busy_timeout(db_, 2000); // a reader (sqlite3, pandas) may hold it for a moment
    if (!execute("CREATE TABLE IF NOT EXISTS runs (name TEXT PRIMARY KEY, started TEXT, columns TEXT)", error))
        return false;
    std::string definitions; // of the channels' columns
    std::string columns;     // their names, for the runs table
    std::string marks = "?, ?";
    for (const LogChannel &c : channels_) {
        definitions += ", " + quoted(c.column()) + " REAL";
        columns += (columns.empty() ? "" : " ") + c.column();
        marks += ", ?";
    }
    // One table per run; another run within the same second gets a suffix.
    const std::string base = runName();
    table_ = base;
    for (int n = 2; !execute("CREATE TABLE " + quoted(table_) + " (time TEXT, elapsed_s REAL" + definitions + ")", error);
         ++n) {
        if (n > kMostRunsPerSecond)
            return false;
        table_ = base + "_" + std::to_string(n);
    }
    error.clear();
    insert_ = "INSERT INTO " + quoted(table_) + " VALUES (" + marks + ")";
    sqlite3_stmt *statement = nullptr;
    bool ok = sqlite3_prepare_v2(db_, "INSERT INTO runs VALUES (?, datetime('now'), ?)", -1, &statement, nullptr) ==
              SQLITE_OK;
    ok = ok && sqlite3_bind_text(statement, 1, table_.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
         sqlite3_bind_text(statement, 2, columns.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
         sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_finalize(statement);
    if (!ok)
        error = "database: " + std::string(sqlite3_errmsg(db_));
    return ok;
}

bool MeasurementLog::open(const std::string &csvPath, const std::string &databasePath,
                          const std::vector<LogChannel> &channels, std::string &error)
{
    close();
    channels_ = channels;
    if (!csvPath.empty()) {
        csv_ = std::fopen(csvPath.c_str(), "w");
        if (csv_ == nullptr) {
            error = "cannot write " + csvPath + ": " + std::strerror(errno);
            return false;
        }
        if (std::fprintf(csv_, "%s\n", header().c_str()) < 0 || std::fflush(csv_) != 0) {
            error = "cannot write " + csvPath;
            return false;
        }
    }
    if (!databasePath.empty() && !openDatabase(databasePath, error)) {
        close();
        return false;
    }
    return true;
}

bool MeasurementLog::append(const std::string &time, double elapsed, const std::vector<double> &values,
                            std::string &error)
{
    if (values.size() != channels_.size()) {
        error = "a row needs one value per channel";
        return false;
    }
    if (csv_ != nullptr) {
        // Handed to the kernel at once: a process that is killed keeps the row.
        if (std::fprintf(csv_, "%s\n", row(time, elapsed, values).c_str()) < 0 || std::fflush(csv_) != 0) {
            error = std::string("cannot write the CSV file: ") + std::strerror(errno);
            return false;
        }
    }
    if (db_ == nullptr)
        return true;
    // Each insert is a transaction of its own, committed before it returns.
    sqlite3_stmt *statement = nullptr;
    bool ok = sqlite3_prepare_v2(db_, insert_.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
              sqlite3_bind_text(statement, 1, time.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
              sqlite3_bind_double(statement, 2, elapsed) == SQLITE_OK;
    for (std::size_t i = 0; ok && i < values.size(); ++i)
        ok = sqlite3_bind_double(statement, static_cast<int>(i) + 3, values[i]) == SQLITE_OK;
    ok = ok && sqlite3_step(statement) == SQLITE_DONE;
    if (!ok)
        error = "database: " + std::string(sqlite3_errmsg(db_));
    sqlite3_finalize(statement);
    return ok;
}

std::string MeasurementLog::row(const std::string &time, double elapsed, const std::vector<double> &values)
{
    char text[32];
    std::snprintf(text, sizeof text, ",%.3f", elapsed);
    std::string line = time + text;
    for (const double v : values) {
        std::snprintf(text, sizeof text, ",%.9g", v);
        line += text;
    }
    return line;
}

void MeasurementLog::close()
{
    if (csv_ != nullptr)
        std::fclose(csv_);
    csv_ = nullptr;
    if (db_ != nullptr)
        sqlite3_close(db_);
    db_ = nullptr;
}

} // namespace qx::sequence
