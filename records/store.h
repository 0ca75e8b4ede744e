// Where test records are kept, behind one interface: an SQLite file on the bench (the default,
// in the user's data folder), or a PostgreSQL server for the whole lab. A record bound for the
// server is kept in the local file first and sent after (now, or by sync() once the server is
// back): never lost, never filed twice (each record's uuid is unique in every store).
#pragma once

#include "record.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qx::records {

class RecordStore {
public:
    virtual ~RecordStore() = default;
    // Files `record` (its uuid made when empty) and sets its id. False with `error` when it could
    // not be kept anywhere; a record kept locally but not yet sent to the lab's server is true,
    // with `error` saying so.
    virtual bool save(TestRecord &record, std::string &error) = 0;
    virtual std::optional<std::vector<RecordSummary>> list(std::string &error) = 0;
    // `which`: an id, or "last".
    virtual std::optional<TestRecord> load(const std::string &which, std::string &error) = 0;
    // Sends what is kept locally and not yet on the lab's server; the count sent. A store with no
    // server sends nothing.
    virtual std::optional<int> sync(std::string &error) = 0;
    // Where the records go, for messages: a file path, or the server URI without its password.
    virtual std::string where() const = 0;
};

// The default local file: $XDG_DATA_HOME/qxseries/records.sqlite (~/.local/share/...).
std::string defaultDatabasePath();

// `db`: "" (the default file), an SQLite file path, or a PostgreSQL URI ("postgresql://...",
// "postgres://..."), handed to libpq as it is. None, with `error`, when it cannot be opened.
std::unique_ptr<RecordStore> openStore(const std::string &db, std::string &error);

} // namespace qx::records
