// The records on a lab's PostgreSQL server, through libpq: the same tables as the local file,
// brought up to date from a schema_version table when connected. A record's uuid is unique there:
// filing one twice adds nothing, so a record sent again (after a lost answer) is not doubled.
// Every value goes as a parameter (PQexecParams), never into the SQL text.
#pragma once

#include "store.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;

namespace qx::records {

// The URI without its password (in the user part or as a password=... parameter), for messages
// and as the name of the server in the local outbox.
std::string withoutPassword(const std::string &uri);

class PostgresStore final : public RecordStore {
public:
    static int schemaVersion();

    // Connects (the URI handed to libpq as it is; an unreachable server fails within seconds) and
    // brings the schema up to date; none, with `error`, when it cannot.
    static std::unique_ptr<PostgresStore> connect(const std::string &uri, std::string &error);
    ~PostgresStore() override;
    PostgresStore(const PostgresStore &) = delete;
    PostgresStore &operator=(const PostgresStore &) = delete;

    // Files the record in one transaction unless a record of its uuid is there already; its id on
    // the server, and whether it was added now.
    std::optional<std::int64_t> insert(const TestRecord &record, bool &added, std::string &error);

    bool save(TestRecord &record, std::string &error) override;
    std::optional<std::vector<RecordSummary>> list(std::string &error) override;
    std::optional<TestRecord> load(const std::string &which, std::string &error) override;
    std::optional<int> sync(std::string &) override { return 0; } // it is the server
    std::string where() const override { return server_; }

private:
    PostgresStore(pg_conn *connection, std::string server) : connection_(connection), server_(std::move(server)) {}
    bool migrate(std::string &error);
    bool insertSteps(std::int64_t runId, const TestRecord &record, std::string &error);
    bool readSteps(TestRecord &record, std::string &error);

    pg_conn *connection_;
    std::string server_;
};

} // namespace qx::records
