// The records in an SQLite file: one row per run, its step runs, their readings and limits, and
// an outbox of the records bound for a lab's server and not yet sent there. The schema carries
// its version (PRAGMA user_version) and is brought up to date step by step when opened; a file
// of a newer version is refused and left as it is. Each record is written in one transaction:
// whole or not at all. WAL mode, so readers (sqlite3, a report) do not stop a run's write.
#pragma once

#include "store.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace qx::records {

class SqliteStore final : public RecordStore {
public:
    // The schema version this program writes.
    static int schemaVersion();

    // Opens (creates) the file and brings its schema up to date; none, with `error`, when it
    // cannot be opened, is not a records file or is of a newer schema.
    static std::unique_ptr<SqliteStore> open(const std::string &path, std::string &error);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    bool save(TestRecord &record, std::string &error) override;
    std::optional<std::vector<RecordSummary>> list(std::string &error) override;
    std::optional<TestRecord> load(const std::string &which, std::string &error) override;
    std::optional<int> sync(std::string &) override { return 0; } // no server of its own
    std::string where() const override { return path_; }

    // save(), and in the same transaction an outbox entry for `server` (a URI without password).
    bool saveBound(TestRecord &record, const std::string &server, std::string &error);
    // The ids of the records bound for `server` and not yet sent, oldest first.
    std::optional<std::vector<std::int64_t>> outbox(const std::string &server, std::string &error);
    // The record `id` has reached `server`.
    bool clearOutbox(std::int64_t id, const std::string &server, std::string &error);

private:
    SqliteStore(sqlite3 *db, std::string path) : db_(db), path_(std::move(path)) {}
    bool migrate(std::string &error);
    bool file(TestRecord &record, const std::string *server, std::string &error);
    bool insertRecord(TestRecord &record, std::string &error);
    bool readSteps(TestRecord &record, std::string &error);

    sqlite3 *db_;
    std::string path_;
};

} // namespace qx::records
