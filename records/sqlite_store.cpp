#include "sqlite_store.h"

#include "record_fields.h"

#include <sqlite3.h>

#include <iterator>
#include <span>

namespace qx::records {
namespace {

// The schema, one step per version: step n takes a file from version n - 1 to n. A step once
// shipped is never changed; a new field is a new step.
constexpr const char *kMigrations[] = {
    R"(CREATE TABLE runs (
         id INTEGER PRIMARY KEY,
         uuid TEXT NOT NULL UNIQUE,
         model TEXT NOT NULL, instrument_serial TEXT NOT NULL, firmware TEXT NOT NULL, resource TEXT NOT NULL,
         software TEXT NOT NULL, software_version TEXT NOT NULL, host TEXT NOT NULL,
         operator TEXT NOT NULL, eut_name TEXT NOT NULL, eut_serial TEXT NOT NULL,
         sequence_name TEXT NOT NULL, sequence_file TEXT NOT NULL, sequence_sha256 TEXT NOT NULL,
         started TEXT NOT NULL, ended TEXT NOT NULL,
         verdict TEXT NOT NULL, ending TEXT NOT NULL, ended_by TEXT NOT NULL, failed_step INTEGER NOT NULL,
         message TEXT NOT NULL, runs INTEGER NOT NULL, passed INTEGER NOT NULL, failed INTEGER NOT NULL);
       CREATE TABLE step_runs (
         id INTEGER PRIMARY KEY,
         run_id INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
         position INTEGER NOT NULL,
         step INTEGER NOT NULL, run INTEGER NOT NULL, kind TEXT NOT NULL, action TEXT NOT NULL,
         sent TEXT NOT NULL, started TEXT NOT NULL, ended TEXT NOT NULL, elapsed REAL,
         verdict TEXT NOT NULL, detail TEXT NOT NULL, drop_angle REAL, drop_time REAL,
         UNIQUE (run_id, position));
       CREATE TABLE readings (
         step_run_id INTEGER NOT NULL REFERENCES step_runs(id) ON DELETE CASCADE,
         position INTEGER NOT NULL,
         kind TEXT NOT NULL, phase INTEGER NOT NULL, value REAL, unit TEXT NOT NULL,
         PRIMARY KEY (step_run_id, position));
       CREATE TABLE limits (
         step_run_id INTEGER NOT NULL REFERENCES step_runs(id) ON DELETE CASCADE,
         position INTEGER NOT NULL,
         kind TEXT NOT NULL, low REAL, high REAL, unit TEXT NOT NULL,
         PRIMARY KEY (step_run_id, position));
       CREATE TABLE outbox (
         run_id INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
         server TEXT NOT NULL,
         PRIMARY KEY (run_id, server));)",
};
constexpr int kVersion = static_cast<int>(std::size(kMigrations));

constexpr int kBusyMilliseconds = 2000; // another program (a report, sqlite3) may hold the file a moment

std::string failure(sqlite3 *db, const std::string &what) { return what + ": " + sqlite3_errmsg(db); }

// One prepared statement, finalised when it goes.
class Statement {
public:
    Statement(sqlite3 *db, const std::string &sql)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK)
            statement_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Binds `cells` from parameter `first` on.
    bool bind(const std::vector<Value> &cells, int first = 1)
    {
        bool ok = statement_ != nullptr;
        for (std::size_t i = 0; ok && i < cells.size(); ++i) {
            const int at = first + static_cast<int>(i);
            const Value &cell = cells[i];
            if (const auto *n = std::get_if<std::int64_t>(&cell))
                ok = sqlite3_bind_int64(statement_, at, *n) == SQLITE_OK;
            else if (const auto *d = std::get_if<double>(&cell))
                ok = sqlite3_bind_double(statement_, at, *d) == SQLITE_OK;
            else if (const auto *text = std::get_if<std::string>(&cell))
                ok = sqlite3_bind_text(statement_, at, text->c_str(), static_cast<int>(text->size()),
                                       SQLITE_TRANSIENT) == SQLITE_OK;
            else
                ok = sqlite3_bind_null(statement_, at) == SQLITE_OK;
        }
        return ok;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_ERROR; }
    bool done() { return step() == SQLITE_DONE; }

    Value cell(int column) const
    {
        switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER:
            return std::int64_t{sqlite3_column_int64(statement_, column)};
        case SQLITE_FLOAT:
            return sqlite3_column_double(statement_, column);
        case SQLITE_NULL:
            return {};
        default:
            return std::string(reinterpret_cast<const char *>(sqlite3_column_text(statement_, column)),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
        }
    }
    std::vector<Value> cells(int first, std::size_t count) const
    {
        std::vector<Value> row;
        for (std::size_t i = 0; i < count; ++i)
            row.push_back(cell(first + static_cast<int>(i)));
        return row;
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }

private:
    sqlite3_stmt *statement_ = nullptr;
};

bool execute(sqlite3 *db, const char *sql, std::string &error)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = std::string(message != nullptr ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    return false;
}

// A write transaction, rolled back unless committed.
class Transaction {
public:
    Transaction(sqlite3 *db, std::string &error) : db_(db) { open_ = execute(db, "BEGIN IMMEDIATE", error); }
    ~Transaction()
    {
        if (open_) {
            std::string ignored;
            execute(db_, "ROLLBACK", ignored);
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    bool open() const { return open_; }
    bool commit(std::string &error)
    {
        open_ = !execute(db_, "COMMIT", error);
        return !open_;
    }

private:
    sqlite3 *db_;
    bool open_ = false;
};

std::optional<int> userVersion(sqlite3 *db, std::string &error)
{
    Statement statement(db, "PRAGMA user_version");
    if (statement.step() != SQLITE_ROW) {
        error = sqlite3_errmsg(db);
        return std::nullopt;
    }
    return static_cast<int>(statement.integer(0));
}

template <class Row>
std::string insertSql(const char *table, const char *owner, std::span<const Field<Row>> fields)
{
    std::string marks = "?, ?";
    for (std::size_t i = 0; i < fields.size(); ++i)
        marks += ", ?";
    return std::string("INSERT INTO ") + table + " (" + owner + ", position, " + columnList(fields) + ") VALUES (" +
           marks + ")";
}

// One row of `table` under its owner (a run, or a step run), at its place among the owner's rows.
bool insertRow(sqlite3 *db, const std::string &sql, std::int64_t owner, std::size_t position,
               const std::vector<Value> &cells, const char *table, std::string &error)
{
    Statement insert(db, sql);
    if (insert.bind({owner, static_cast<std::int64_t>(position)}) && insert.bind(cells, 3) && insert.done())
        return true;
    error = failure(db, std::string("writing ") + table);
    return false;
}

template <class Row>
bool insertRows(sqlite3 *db, const char *table, std::int64_t owner, const std::vector<Row> &rows,
                std::span<const Field<Row>> fields, std::string &error)
{
    const std::string sql = insertSql(table, "step_run_id", fields);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!insertRow(db, sql, owner, i, cellsOf(rows[i], fields), table, error))
            return false;
    return true;
}

template <class Row>
std::optional<std::vector<Row>> readRows(sqlite3 *db, const char *table, std::int64_t owner,
                                         std::span<const Field<Row>> fields, std::string &error)
{
    Statement select(db, "SELECT " + columnList(fields) + " FROM " + table +
                             " WHERE step_run_id = ? ORDER BY position");
    std::vector<Row> rows;
    int status = select.bind({owner}) ? select.step() : SQLITE_ERROR;
    for (; status == SQLITE_ROW; status = select.step()) {
        Row row;
        if (!assignCells(row, fields, select.cells(0, fields.size()))) {
            error = std::string("a row of ") + table + " does not fit the record";
            return std::nullopt;
        }
        rows.push_back(std::move(row));
    }
    if (status != SQLITE_DONE) {
        error = failure(db, std::string("reading ") + table);
        return std::nullopt;
    }
    return rows;
}

} // namespace

int SqliteStore::schemaVersion() { return kVersion; }

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string &path, std::string &error)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        error = "cannot open the records file " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteStore> store(new SqliteStore(db, path));
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    if (!store->migrate(error)) {
        error = path + ": " + error;
        return nullptr;
    }
    return store;
}

SqliteStore::~SqliteStore() { sqlite3_close(db_); }

bool SqliteStore::migrate(std::string &error)
{
    // Nothing is written (not even the journal mode) before the version is known to be ours.
    const std::optional<int> found = userVersion(db_, error);
    if (!found) {
        error = "not a records file (" + error + ")";
        return false;
    }
    if (*found > kVersion) {
        error = "its records are of schema version " + std::to_string(*found) + ", newer than this program's " +
                std::to_string(kVersion) + "; it is left as it is (use a newer version of this program)";
        return false;
    }
    if (!execute(db_, "PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON", error))
        return false;
    for (int version = *found; version < kVersion;) {
        Transaction transaction(db_, error);
        if (!transaction.open())
            return false;
        // Another program may have brought it up meanwhile.
        const std::optional<int> now = userVersion(db_, error);
        if (!now)
            return false;
        if (*now >= kVersion)
            break;
        const std::string bump = "PRAGMA user_version = " + std::to_string(*now + 1);
        if (!execute(db_, kMigrations[*now], error) || !execute(db_, bump.c_str(), error) ||
            !transaction.commit(error)) {
            error = "updating its schema to version " + std::to_string(*now + 1) + ": " + error;
            return false;
        }
        version = *now + 1;
    }
    return true;
}

bool SqliteStore::save(TestRecord &record, std::string &error) { return file(record, nullptr, error); }

bool SqliteStore::saveBound(TestRecord &record, const std::string &server, std::string &error)
{
    return file(record, &server, error);
}

bool SqliteStore::file(TestRecord &record, const std::string *server, std::string &error)
{
    if (record.uuid.empty())
        record.uuid = newRecordUuid();
    if (record.uuid.empty()) {
        error = "no random source for the record's uuid";
        return false;
    }
    Transaction transaction(db_, error);
    if (!transaction.open()) {
        error = path_ + ": " + error;
        return false;
    }
    TestRecord filed = record;
    int found = SQLITE_ERROR;
    {
        Statement existing(db_, "SELECT id FROM runs WHERE uuid = ?");
        found = existing.bind({record.uuid}) ? existing.step() : SQLITE_ERROR;
        if (found == SQLITE_ROW)
            filed.id = existing.integer(0); // filed before: kept as it was, not twice
    }
    if (found != SQLITE_ROW && (found != SQLITE_DONE || !insertRecord(filed, error))) {
        error = path_ + ": " + (found == SQLITE_DONE ? error : failure(db_, "looking up the record"));
        return false;
    }
    if (server != nullptr) {
        Statement queue(db_, "INSERT OR IGNORE INTO outbox (run_id, server) VALUES (?, ?)");
        if (!queue.bind({filed.id, *server}) || !queue.done()) {
            error = failure(db_, path_ + ": queuing the record for " + *server);
            return false;
        }
    }
    if (!transaction.commit(error)) {
        error = path_ + ": " + error;
        return false;
    }
    record.id = filed.id;
    return true;
}

bool SqliteStore::insertRecord(TestRecord &record, std::string &error)
{
    std::string marks = "?";
    for (std::size_t i = 1; i < runFields().size(); ++i)
        marks += ", ?";
    Statement insert(db_, "INSERT INTO runs (" + columnList(runFields()) + ") VALUES (" + marks + ")");
    if (!insert.bind(cellsOf(record, runFields())) || !insert.done()) {
        error = failure(db_, "writing the run");
        return false;
    }
    record.id = sqlite3_last_insert_rowid(db_);
    const std::string stepSql = insertSql("step_runs", "run_id", stepFields());
    for (std::size_t i = 0; i < record.steps.size(); ++i) {
        const StepRun &step = record.steps[i];
        if (!insertRow(db_, stepSql, record.id, i, cellsOf(step, stepFields()), "step_runs", error))
            return false;
        const std::int64_t stepId = sqlite3_last_insert_rowid(db_);
        if (!insertRows(db_, "readings", stepId, step.readings, readingFields(), error) ||
            !insertRows(db_, "limits", stepId, step.limits, limitFields(), error))
            return false;
    }
    return true;
}

std::optional<std::vector<RecordSummary>> SqliteStore::list(std::string &error)
{
    Statement select(db_, std::string("SELECT id, ") + kSummaryColumns + " FROM runs ORDER BY id");
    std::vector<RecordSummary> summaries;
    int status = select.step();
    for (; status == SQLITE_ROW; status = select.step())
        summaries.push_back(summaryFrom(select.integer(0), select.cells(1, kSummaryColumnCount)));
    if (status != SQLITE_DONE) {
        error = failure(db_, path_ + ": reading the runs");
        return std::nullopt;
    }
    return summaries;
}

std::optional<TestRecord> SqliteStore::load(const std::string &which, std::string &error)
{
    const auto id = parseWhich(which, error);
    if (!id)
        return std::nullopt;
    Statement select(db_, "SELECT id, " + columnList(runFields()) + " FROM runs WHERE " +
                              (*id ? "id = ?" : "id = (SELECT max(id) FROM runs)"));
    const int status = !*id || select.bind({**id}) ? select.step() : SQLITE_ERROR;
    if (status == SQLITE_DONE) {
        error = *id ? "no record " + which + " in " + path_ : "no records in " + path_;
        return std::nullopt;
    }
    if (status != SQLITE_ROW) {
        error = failure(db_, path_ + ": reading the run");
        return std::nullopt;
    }
    TestRecord record;
    record.id = select.integer(0);
    if (!assignCells(record, runFields(), select.cells(1, runFields().size()))) {
        error = path_ + ": the run does not fit the record";
        return std::nullopt;
    }
    if (!readSteps(record, error))
        return std::nullopt;
    return record;
}

bool SqliteStore::readSteps(TestRecord &record, std::string &error)
{
    Statement select(db_, "SELECT id, " + columnList(stepFields()) +
                              " FROM step_runs WHERE run_id = ? ORDER BY position");
    int status = select.bind({record.id}) ? select.step() : SQLITE_ERROR;
    for (; status == SQLITE_ROW; status = select.step()) {
        StepRun step;
        if (!assignCells(step, stepFields(), select.cells(1, stepFields().size()))) {
            error = path_ + ": a step run does not fit the record";
            return false;
        }
        auto readings = readRows(db_, "readings", select.integer(0), readingFields(), error);
        auto limits = readRows(db_, "limits", select.integer(0), limitFields(), error);
        if (!readings || !limits) {
            error = path_ + ": " + error;
            return false;
        }
        step.readings = std::move(*readings);
        step.limits = std::move(*limits);
        record.steps.push_back(std::move(step));
    }
    if (status != SQLITE_DONE) {
        error = failure(db_, path_ + ": reading the step runs");
        return false;
    }
    return true;
}

std::optional<std::vector<std::int64_t>> SqliteStore::outbox(const std::string &server, std::string &error)
{
    Statement select(db_, "SELECT run_id FROM outbox WHERE server = ? ORDER BY run_id");
    std::vector<std::int64_t> ids;
    int status = select.bind({server}) ? select.step() : SQLITE_ERROR;
    for (; status == SQLITE_ROW; status = select.step())
        ids.push_back(select.integer(0));
    if (status != SQLITE_DONE) {
        error = failure(db_, path_ + ": reading the outbox");
        return std::nullopt;
    }
    return ids;
}

bool SqliteStore::clearOutbox(std::int64_t id, const std::string &server, std::string &error)
{
    Statement remove(db_, "DELETE FROM outbox WHERE run_id = ? AND server = ?");
    if (!remove.bind({id, server}) || !remove.done()) {
        error = failure(db_, path_ + ": clearing the outbox");
        return false;
    }
    return true;
}

} // namespace qx::records
