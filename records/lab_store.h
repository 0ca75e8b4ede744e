// A lab's store: the records go to a PostgreSQL server, each first filed in the bench's own
// SQLite file with an outbox entry for that server. The entry is cleared once the server has
// committed the record; while the server cannot be reached the record waits there, and sync()
// sends it later. The server adds a record it has already as nothing, so nothing is sent twice.
#pragma once

#include "sqlite_store.h"
#include "store.h"

#include <memory>
#include <string>

namespace qx::records {

class LabStore final : public RecordStore {
public:
    // `uri` as libpq takes it; `local`: the bench's file the records wait in.
    LabStore(std::unique_ptr<SqliteStore> local, std::string uri);

    bool save(TestRecord &record, std::string &error) override;
    std::optional<std::vector<RecordSummary>> list(std::string &error) override;
    std::optional<TestRecord> load(const std::string &which, std::string &error) override;
    std::optional<int> sync(std::string &error) override;
    std::string where() const override { return server_; }

private:
    std::unique_ptr<SqliteStore> local_;
    std::string uri_;    // handed to libpq as it is
    std::string server_; // the URI without its password: messages, and the outbox's name for it
};

} // namespace qx::records
