#include "store.h"

#include "lab_store.h"
#include "sqlite_store.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace qx::records {
namespace {

namespace fs = std::filesystem;

bool isServerUri(const std::string &db) { return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0; }

fs::path dataHome()
{
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && fs::path(xdg).is_absolute())
        return xdg;
    const char *home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd *entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : "/tmp";
    }
    return fs::path(home) / ".local" / "share";
}

} // namespace

std::string defaultDatabasePath()
{
    const fs::path folder = dataHome() / "qxseries";
    std::error_code ignored; // a folder that cannot be made is told when the file cannot be opened
    fs::create_directories(folder, ignored);
    return (folder / "records.sqlite").string();
}

std::unique_ptr<RecordStore> openStore(const std::string &db, std::string &error)
{
    try {
        if (!isServerUri(db))
            return SqliteStore::open(db.empty() ? defaultDatabasePath() : db, error);
        std::unique_ptr<SqliteStore> local = SqliteStore::open(defaultDatabasePath(), error);
        if (!local) {
            error = "the local records file, where records wait for the server, cannot be used: " + error;
            return nullptr;
        }
        return std::make_unique<LabStore>(std::move(local), db);
    } catch (const std::exception &e) {
        error = std::string("cannot open the record store: ") + e.what();
        return nullptr;
    }
}

} // namespace qx::records
