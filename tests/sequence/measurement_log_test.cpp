// The measurement log's files on their own: a table per run (two in the same second apart), the
// runs table that lists them, and the refusals.
#include "measurement_log.h"
#include "test_files.h"

#include <sqlite3.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qx::sequence {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows query(const std::string &path, const std::string &sql)
{
    sqlite3 *db = nullptr;
    Rows rows;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(
        db, sql.c_str(),
        [](void *out, int count, char **values, char **) {
            static_cast<Rows *>(out)->emplace_back(values, values + count);
            return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    return rows;
}

TEST(MeasurementLog, EachRunGetsItsOwnTableListedInRuns)
{
    const std::string database = qx::test::privateTempPath("measurement_log_test.db");
    std::remove(database.c_str());
    const std::vector<LogChannel> channels = {{"voltage", 0}, {"peak-current", 3}};
    MeasurementLog first, second;
    std::string error;
    ASSERT_TRUE(first.open("", database, channels, error)) << error;
    ASSERT_TRUE(second.open("", database, {{"power", 1}}, error)) << error;
    EXPECT_NE(first.table(), second.table());
    EXPECT_TRUE(first.append("2026-12-07T06:00:00.000Z", 0.0, {230.5, 1.25}, error)) << error;
    EXPECT_TRUE(first.append("2026-12-07T06:00:01.000Z", 1.0, {229.5, 1.5}, error)) << error;
    EXPECT_FALSE(first.append("2026-12-07T06:00:02.000Z", 2.0, {229.5}, error));
    EXPECT_EQ(error, "a row needs one value per channel");

    EXPECT_EQ(query(database, "SELECT name, columns FROM runs ORDER BY rowid"),
              (Rows{{first.table(), "voltage peak_current_p3"}, {second.table(), "power_p1"}}));
    EXPECT_EQ(query(database, "SELECT * FROM \"" + first.table() + "\""),
              (Rows{{"2026-12-07T06:00:00.000Z", "0.0", "230.5", "1.25"}, {"2026-12-07T06:00:01.000Z", "1.0", "229.5", "1.5"}}));
    EXPECT_EQ(first.header(), "time,elapsed_s,voltage,peak_current_p3");
    EXPECT_EQ(MeasurementLog::row("t", 1.23456, {230.5, 1e-7}), "t,1.235,230.5,1e-07");
}

TEST(MeasurementLog, FilesThatCannotBeWrittenAreRefused)
{
    MeasurementLog log;
    std::string error;
    EXPECT_FALSE(log.open("/nonexistent/log.csv", "", {{"voltage", 0}}, error));
    EXPECT_EQ(error, "cannot write /nonexistent/log.csv: No such file or directory");
    EXPECT_FALSE(log.open("", "/nonexistent/log.db", {{"voltage", 0}}, error));
    EXPECT_EQ(error.rfind("cannot open the database /nonexistent/log.db: ", 0), 0u) << error;
}

} // namespace
} // namespace qx::sequence
