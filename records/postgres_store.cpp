#include "postgres_store.h"

#include "record_fields.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <span>

namespace qx::records {
namespace {

// The schema, one step per version (step n takes the server from n - 1 to n); the statements of a
// step are separated by ';'. A step once shipped is never changed.
constexpr const char *kMigrations[] = {
    R"(CREATE TABLE runs (
         id BIGSERIAL PRIMARY KEY,
         uuid UUID NOT NULL UNIQUE,
         model TEXT NOT NULL, instrument_serial TEXT NOT NULL, firmware TEXT NOT NULL, resource TEXT NOT NULL,
         software TEXT NOT NULL, software_version TEXT NOT NULL, host TEXT NOT NULL,
         operator TEXT NOT NULL, eut_name TEXT NOT NULL, eut_serial TEXT NOT NULL,
         sequence_name TEXT NOT NULL, sequence_file TEXT NOT NULL, sequence_sha256 TEXT NOT NULL,
         started TEXT NOT NULL, ended TEXT NOT NULL,
         verdict TEXT NOT NULL, ending TEXT NOT NULL, ended_by TEXT NOT NULL, failed_step INTEGER NOT NULL,
         message TEXT NOT NULL, runs INTEGER NOT NULL, passed INTEGER NOT NULL, failed INTEGER NOT NULL);
       CREATE TABLE step_runs (
         id BIGSERIAL PRIMARY KEY,
         run_id BIGINT NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
         position INTEGER NOT NULL,
         step INTEGER NOT NULL, run INTEGER NOT NULL, kind TEXT NOT NULL, action TEXT NOT NULL,
         sent TEXT NOT NULL, started TEXT NOT NULL, ended TEXT NOT NULL, elapsed DOUBLE PRECISION,
         verdict TEXT NOT NULL, detail TEXT NOT NULL, drop_angle DOUBLE PRECISION, drop_time DOUBLE PRECISION,
         UNIQUE (run_id, position));
       CREATE TABLE readings (
         step_run_id BIGINT NOT NULL REFERENCES step_runs(id) ON DELETE CASCADE,
         position INTEGER NOT NULL,
         kind TEXT NOT NULL, phase INTEGER NOT NULL, value DOUBLE PRECISION, unit TEXT NOT NULL,
         PRIMARY KEY (step_run_id, position));
       CREATE TABLE limits (
         step_run_id BIGINT NOT NULL REFERENCES step_runs(id) ON DELETE CASCADE,
         position INTEGER NOT NULL,
         kind TEXT NOT NULL, low DOUBLE PRECISION, high DOUBLE PRECISION, unit TEXT NOT NULL,
         PRIMARY KEY (step_run_id, position)))",
};
constexpr int kVersion = static_cast<int>(std::size(kMigrations));

// Migrations of several benches connecting at once wait for each other on this lock.
constexpr const char *kMigrationLock = "SELECT pg_advisory_xact_lock(7103710371)";
constexpr const char *kConnectSeconds = "5";
constexpr const char *kUnansweredMilliseconds = "10000"; // a link that drops mid-transaction fails, not hangs

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// libpq's message on one line: "connection to server ... failed: ...\n\tIs the server running ...?\n".
std::string trimmed(const std::string &message)
{
    std::string text;
    for (const char c : message)
        if (c == '\n' || c == '\t') {
            if (!text.empty() && text.back() != ' ')
                text += ' ';
        } else
            text += c;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string textOf(double value)
{
    if (std::isnan(value))
        return "NaN";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value); // reads back as the same double
    return text;
}

// A statement with its values as parameters; none, with `error`, when it failed.
std::optional<Result> run(PGconn *connection, const std::string &sql, const std::vector<Value> &cells,
                          std::string &error)
{
    std::vector<std::optional<std::string>> texts;
    for (const Value &cell : cells) {
        if (const auto *n = std::get_if<std::int64_t>(&cell))
            texts.emplace_back(std::to_string(*n));
        else if (const auto *d = std::get_if<double>(&cell))
            texts.emplace_back(textOf(*d));
        else if (const auto *text = std::get_if<std::string>(&cell))
            texts.emplace_back(*text);
        else
            texts.emplace_back();
    }
    std::vector<const char *> values;
    for (const auto &text : texts)
        values.push_back(text ? text->c_str() : nullptr);
    Result result(PQexecParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                               nullptr, nullptr, 0),
                  &PQclear);
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return result;
    error = trimmed(PQerrorMessage(connection));
    return std::nullopt;
}

bool run(PGconn *connection, const std::string &sql, std::string &error)
{
    return run(connection, sql, {}, error).has_value();
}

std::vector<Value> cells(const PGresult *result, int row, int first, std::size_t count)
{
    std::vector<Value> out;
    for (std::size_t i = 0; i < count; ++i) {
        const int column = first + static_cast<int>(i);
        if (PQgetisnull(result, row, column))
            out.emplace_back();
        else
            out.emplace_back(std::string(PQgetvalue(result, row, column),
                                         static_cast<std::size_t>(PQgetlength(result, row, column))));
    }
    return out;
}

std::int64_t integer(const PGresult *result, int row, int column)
{
    const char *text = PQgetvalue(result, row, column);
    std::int64_t value = 0;
    std::from_chars(text, text + PQgetlength(result, row, column), value);
    return value;
}

// A transaction on the server, rolled back unless committed.
class Transaction {
public:
    Transaction(PGconn *connection, std::string &error) : connection_(connection)
    {
        open_ = run(connection, "BEGIN", error);
    }
    ~Transaction()
    {
        if (open_) {
            std::string ignored;
            run(connection_, "ROLLBACK", ignored);
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    bool open() const { return open_; }
    bool commit(std::string &error)
    {
        open_ = false; // a failed COMMIT ends the transaction as well
        return run(connection_, "COMMIT", error);
    }

private:
    PGconn *connection_;
    bool open_ = false;
};

std::string marks(std::size_t first, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += (i == 0 ? "$" : ", $") + std::to_string(first + i);
    return text;
}

template <class Row>
std::string insertSql(const char *table, const char *owner, std::span<const Field<Row>> fields)
{
    return std::string("INSERT INTO ") + table + " (" + owner + ", position, " + columnList(fields) + ") VALUES (" +
           marks(1, fields.size() + 2) + ")";
}

template <class Row>
bool insertRows(PGconn *connection, const char *table, std::int64_t owner, const std::vector<Row> &rows,
                std::span<const Field<Row>> fields, std::string &error)
{
    const std::string sql = insertSql(table, "step_run_id", fields);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<Value> values{owner, static_cast<std::int64_t>(i)};
        for (Value &cell : cellsOf(rows[i], fields))
            values.push_back(std::move(cell));
        if (!run(connection, sql, values, error))
            return false;
    }
    return true;
}

template <class Row>
std::optional<std::vector<Row>> readRows(PGconn *connection, const char *table, std::int64_t owner,
                                         std::span<const Field<Row>> fields, std::string &error)
{
    const std::string sql =
        "SELECT " + columnList(fields) + " FROM " + table + " WHERE step_run_id = $1 ORDER BY position";
    const auto result = run(connection, sql, {owner}, error);
    if (!result)
        return std::nullopt;
    std::vector<Row> rows(static_cast<std::size_t>(PQntuples(result->get())));
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!assignCells(rows[i], fields, cells(result->get(), static_cast<int>(i), 0, fields.size()))) {
            error = std::string("a row of ") + table + " does not fit the record";
            return std::nullopt;
        }
    return rows;
}

// The statements of one migration step.
std::vector<std::string> statements(const char *step)
{
    std::vector<std::string> out;
    const std::string text = step;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find(';', from), text.size());
        if (text.find_first_not_of(" \n", from) < end)
            out.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

} // namespace

std::string withoutPassword(const std::string &uri)
{
    std::string text = uri;
    const std::size_t scheme = text.find("://");
    if (scheme == std::string::npos)
        return text;
    const std::size_t authority = scheme + 3;
    const std::size_t authorityEnd = std::min(text.find_first_of("/?", authority), text.size());
    const std::size_t at = text.rfind('@', authorityEnd);
    if (at != std::string::npos && at >= authority) {
        const std::size_t colon = text.find(':', authority);
        if (colon < at)
            text.erase(colon, at - colon);
    }
    const std::size_t query = text.find('?');
    if (query == std::string::npos)
        return text;
    std::string kept;
    for (std::size_t from = query + 1; from <= text.size();) {
        const std::size_t end = std::min(text.find('&', from), text.size());
        const std::string parameter = text.substr(from, end - from);
        if (!parameter.empty() && parameter.rfind("password=", 0) != 0)
            kept += (kept.empty() ? "" : "&") + parameter;
        from = end + 1;
    }
    return text.substr(0, query) + (kept.empty() ? "" : "?" + kept);
}

int PostgresStore::schemaVersion() { return kVersion; }

std::unique_ptr<PostgresStore> PostgresStore::connect(const std::string &uri, std::string &error)
{
    // The URI's own settings come after these defaults, so it may override them.
    const char *keywords[] = {"connect_timeout", "tcp_user_timeout", "client_encoding", "fallback_application_name",
                              "dbname", nullptr};
    const char *values[] = {kConnectSeconds, kUnansweredMilliseconds, "UTF8", "qxseries", uri.c_str(), nullptr};
    PGconn *connection = PQconnectdbParams(keywords, values, 1);
    const std::string server = withoutPassword(uri);
    if (connection == nullptr || PQstatus(connection) != CONNECTION_OK) {
        error = "cannot reach the records server " + server + ": " +
                (connection != nullptr ? trimmed(PQerrorMessage(connection)) : "out of memory");
        PQfinish(connection);
        return nullptr;
    }
    // The server's notices ("already exists, skipping") are no news to the user.
    PQsetNoticeProcessor(connection, [](void *, const char *) {}, nullptr);
    std::unique_ptr<PostgresStore> store(new PostgresStore(connection, server));
    if (!store->migrate(error)) {
        error = server + ": " + error;
        return nullptr;
    }
    return store;
}

PostgresStore::~PostgresStore() { PQfinish(connection_); }

bool PostgresStore::migrate(std::string &error)
{
    for (int step = 0; step <= kVersion; ++step) { // bounded: each pass adds a version or ends
        Transaction transaction(connection_, error);
        if (!transaction.open() || !run(connection_, kMigrationLock, error) ||
            !run(connection_, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", error))
            return false;
        const auto found = run(connection_, "SELECT coalesce(max(version), 0) FROM schema_version", {}, error);
        if (!found)
            return false;
        const auto version = static_cast<int>(integer(found->get(), 0, 0));
        if (version > kVersion) {
            error = "its records are of schema version " + std::to_string(version) + ", newer than this program's " +
                    std::to_string(kVersion) + "; use a newer version of this program";
            return false;
        }
        if (version == kVersion)
            return transaction.commit(error);
        for (const std::string &statement : statements(kMigrations[version]))
            if (!run(connection_, statement, error))
                return false;
        if (!run(connection_, "INSERT INTO schema_version (version) VALUES ($1)", {std::int64_t{version + 1}}, error) ||
            !transaction.commit(error)) {
            error = "updating its schema to version " + std::to_string(version + 1) + ": " + error;
            return false;
        }
    }
    error = "its schema did not reach version " + std::to_string(kVersion);
    return false;
}

std::optional<std::int64_t> PostgresStore::insert(const TestRecord &record, bool &added, std::string &error)
{
    added = false;
    Transaction transaction(connection_, error);
    if (!transaction.open())
        return std::nullopt;
    const auto inserted = run(connection_,
                          "INSERT INTO runs (" + columnList(runFields()) + ") VALUES (" +
                              marks(1, runFields().size()) + ") ON CONFLICT (uuid) DO NOTHING RETURNING id",
                          cellsOf(record, runFields()), error);
    if (!inserted)
        return std::nullopt;
    std::int64_t id = 0;
    if (PQntuples(inserted->get()) == 1) { // added now: its steps with it
        id = integer(inserted->get(), 0, 0);
        if (!insertSteps(id, record, error))
            return std::nullopt;
        added = true;
    } else { // there already, whole: it was filed in one transaction
        const auto there = run(connection_, "SELECT id FROM runs WHERE uuid = $1", {record.uuid}, error);
        if (!there || PQntuples(there->get()) != 1) {
            error = there ? "the record " + record.uuid + " is neither added nor there" : error;
            return std::nullopt;
        }
        id = integer(there->get(), 0, 0);
    }
    if (!transaction.commit(error)) {
        added = false;
        return std::nullopt;
    }
    return id;
}

bool PostgresStore::insertSteps(std::int64_t runId, const TestRecord &record, std::string &error)
{
    const std::string sql = insertSql("step_runs", "run_id", stepFields()) + " RETURNING id";
    for (std::size_t i = 0; i < record.steps.size(); ++i) {
        const StepRun &step = record.steps[i];
        std::vector<Value> values{runId, static_cast<std::int64_t>(i)};
        for (Value &cell : cellsOf(step, stepFields()))
            values.push_back(std::move(cell));
        const auto inserted = run(connection_, sql, values, error);
        if (!inserted)
            return false;
        const std::int64_t stepId = integer(inserted->get(), 0, 0);
        if (!insertRows(connection_, "readings", stepId, step.readings, readingFields(), error) ||
            !insertRows(connection_, "limits", stepId, step.limits, limitFields(), error))
            return false;
    }
    return true;
}

bool PostgresStore::save(TestRecord &record, std::string &error)
{
    if (record.uuid.empty())
        record.uuid = newRecordUuid();
    bool added = false;
    const std::optional<std::int64_t> id = insert(record, added, error);
    if (!id) {
        error = server_ + ": " + error;
        return false;
    }
    record.id = *id;
    return true;
}

std::optional<std::vector<RecordSummary>> PostgresStore::list(std::string &error)
{
    const std::string sql = std::string("SELECT id, ") + kSummaryColumns + " FROM runs ORDER BY id";
    const auto result = run(connection_, sql, {}, error);
    if (!result) {
        error = server_ + ": " + error;
        return std::nullopt;
    }
    std::vector<RecordSummary> summaries;
    for (int row = 0; row < PQntuples(result->get()); ++row)
        summaries.push_back(
            summaryFrom(integer(result->get(), row, 0), cells(result->get(), row, 1, kSummaryColumnCount)));
    return summaries;
}

std::optional<TestRecord> PostgresStore::load(const std::string &which, std::string &error)
{
    const auto id = parseWhich(which, error);
    if (!id)
        return std::nullopt;
    const std::string select = "SELECT id, " + columnList(runFields()) + " FROM runs " +
                               (*id ? "WHERE id = $1" : "ORDER BY id DESC LIMIT 1");
    const auto result = *id ? run(connection_, select, {**id}, error) : run(connection_, select, {}, error);
    if (!result) {
        error = server_ + ": " + error;
        return std::nullopt;
    }
    if (PQntuples(result->get()) != 1) {
        error = *id ? "no record " + which + " on " + server_ : "no records on " + server_;
        return std::nullopt;
    }
    TestRecord record;
    record.id = integer(result->get(), 0, 0);
    if (!assignCells(record, runFields(), cells(result->get(), 0, 1, runFields().size()))) {
        error = server_ + ": the run does not fit the record";
        return std::nullopt;
    }
    if (!readSteps(record, error)) {
        error = server_ + ": " + error;
        return std::nullopt;
    }
    return record;
}

bool PostgresStore::readSteps(TestRecord &record, std::string &error)
{
    const auto result = run(connection_,
                            "SELECT id, " + columnList(stepFields()) +
                                " FROM step_runs WHERE run_id = $1 ORDER BY position",
                            {record.id}, error);
    if (!result)
        return false;
    for (int row = 0; row < PQntuples(result->get()); ++row) {
        StepRun step;
        if (!assignCells(step, stepFields(), cells(result->get(), row, 1, stepFields().size()))) {
            error = "a step run does not fit the record";
            return false;
        }
        const std::int64_t stepId = integer(result->get(), row, 0);
        auto readings = readRows(connection_, "readings", stepId, readingFields(), error);
        auto limits = readings ? readRows(connection_, "limits", stepId, limitFields(), error) : std::nullopt;
        if (!readings || !limits)
            return false;
        step.readings = std::move(*readings);
        step.limits = std::move(*limits);
        record.steps.push_back(std::move(step));
    }
    return true;
}

} // namespace qx::records
