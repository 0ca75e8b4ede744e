#include "lab_store.h"

#include "postgres_store.h"

namespace qx::records {

LabStore::LabStore(std::unique_ptr<SqliteStore> local, std::string uri)
    : local_(std::move(local)), uri_(std::move(uri)), server_(withoutPassword(uri_))
{
}

bool LabStore::save(TestRecord &record, std::string &error)
{
    std::string localError;
    const bool kept = local_->saveBound(record, server_, localError);
    const std::int64_t localId = record.id;
    std::string serverError;
    bool added = false;
    const std::unique_ptr<PostgresStore> server = PostgresStore::connect(uri_, serverError);
    const std::optional<std::int64_t> id = server ? server->insert(record, added, serverError) : std::nullopt;
    if (id) {
        // Should this fail, the record stays queued; the server adds nothing when it comes again.
        std::string ignored;
        if (kept)
            local_->clearOutbox(localId, server_, ignored);
        record.id = *id;
        error.clear();
        return true;
    }
    if (!kept) {
        error = "the record was filed nowhere: " + localError + "; " + serverError;
        return false;
    }
    error = serverError + "; the record is kept locally in " + local_->where() + " (id " + std::to_string(localId) +
            ") and `qxctl records sync --db " + server_ + "` sends it later";
    return true;
}

std::optional<std::vector<RecordSummary>> LabStore::list(std::string &error)
{
    const std::unique_ptr<PostgresStore> server = PostgresStore::connect(uri_, error);
    return server ? server->list(error) : std::nullopt;
}

std::optional<TestRecord> LabStore::load(const std::string &which, std::string &error)
{
    const std::unique_ptr<PostgresStore> server = PostgresStore::connect(uri_, error);
    return server ? server->load(which, error) : std::nullopt;
}

std::optional<int> LabStore::sync(std::string &error)
{
    const std::unique_ptr<PostgresStore> server = PostgresStore::connect(uri_, error);
    if (!server)
        return std::nullopt;
    const std::optional<std::vector<std::int64_t>> waiting = local_->outbox(server_, error);
    if (!waiting)
        return std::nullopt;
    int sent = 0;
    for (const std::int64_t id : *waiting) {
        std::optional<TestRecord> record = local_->load(std::to_string(id), error);
        bool added = false;
        // Each in a transaction of its own on the server; the entry is cleared only after its commit.
        if (!record || !server->insert(*record, added, error) || !local_->clearOutbox(id, server_, error)) {
            error += " (" + std::to_string(sent) + " sent before)";
            return std::nullopt;
        }
        sent += added ? 1 : 0;
    }
    return sent;
}

} // namespace qx::records
