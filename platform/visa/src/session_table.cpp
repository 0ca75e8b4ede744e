// Handles: resource managers and the sessions opened through them. Handles are never reused, so
// a stale handle is always VI_ERROR_INV_OBJECT rather than somebody else's session.
#include <map>
#include <set>

#include "session.h"
#include "visa/open_failure.h"
#include "visa/visa.h"

namespace qx::visa {
namespace {

constexpr ViSession firstHandle = 0x1000;

class SessionTable {
public:
    ViStatus addManager(ViSession &out)
    {
        std::lock_guard lock(mutex_);
        if (!nextHandle(out))
            return VI_ERROR_ALLOC;
        managers_[out];
        return VI_SUCCESS;
    }

    ViStatus addSession(ViSession rm, ResourceName name, std::unique_ptr<Transport> transport, ViSession &out)
    {
        std::lock_guard lock(mutex_);
        const auto manager = managers_.find(rm);
        if (manager == managers_.end())
            return VI_ERROR_INV_OBJECT; // closed while the transport was opening
        if (!nextHandle(out))
            return VI_ERROR_ALLOC;
        sessions_[out] = std::make_shared<Session>(out, rm, std::move(name), std::move(transport));
        manager->second.insert(out);
        return VI_SUCCESS;
    }

    std::shared_ptr<Session> find(ViSession vi)
    {
        std::lock_guard lock(mutex_);
        const auto it = sessions_.find(vi);
        return it == sessions_.end() ? nullptr : it->second;
    }

    bool isManager(ViSession vi)
    {
        std::lock_guard lock(mutex_);
        return managers_.count(vi) != 0;
    }

    // Takes the session, or all sessions of a resource manager, out of the table.
    bool remove(ViSession vi, std::vector<std::shared_ptr<Session>> &removed)
    {
        std::lock_guard lock(mutex_);
        if (const auto manager = managers_.find(vi); manager != managers_.end()) {
            for (ViSession child : manager->second)
                if (const auto it = sessions_.find(child); it != sessions_.end()) {
                    removed.push_back(it->second);
                    sessions_.erase(it);
                }
            managers_.erase(manager);
            return true;
        }
        const auto it = sessions_.find(vi);
        if (it == sessions_.end())
            return false;
        if (const auto manager = managers_.find(it->second->rm); manager != managers_.end())
            manager->second.erase(vi);
        removed.push_back(it->second);
        sessions_.erase(it);
        return true;
    }

private:
    bool nextHandle(ViSession &out)
    {
        if (next_ == 0)
            return false; // all handles used: refuse rather than reuse
        out = next_++;
        return true;
    }

    std::mutex mutex_;
    ViSession next_ = firstHandle;
    std::map<ViSession, std::set<ViSession>> managers_;
    std::map<ViSession, std::shared_ptr<Session>> sessions_;
};

SessionTable &table()
{
    static SessionTable instance;
    return instance;
}

constexpr ViAccessMode knownAccessModes = VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK | VI_LOAD_CONFIG;

} // namespace

std::shared_ptr<Session> findSession(ViSession vi)
{
    return table().find(vi);
}

bool isResourceManager(ViSession vi) noexcept
{
    try {
        return table().isManager(vi);
    } catch (...) {
        return false;
    }
}

} // namespace qx::visa

using namespace qx::visa;

ViStatus viOpenDefaultRM(ViSession *rm)
{
    if (!rm)
        return VI_ERROR_INV_PARAMETER;
    try {
        *rm = VI_NULL;
        return table().addManager(*rm);
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

ViStatus viOpen(ViSession rm, ViConstRsrc resourceName, ViAccessMode accessMode, ViUInt32 openTimeout, ViSession *vi)
{
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    try {
        noteOpenFailure({});
        if (!table().isManager(rm))
            return VI_ERROR_INV_OBJECT;
        if ((accessMode & ~knownAccessModes) != 0)
            return VI_ERROR_INV_ACC_MODE;
        ResourceName name;
        if (const ViStatus status = parseResourceName(resourceName, name); status < 0)
            return status;
        std::unique_ptr<Transport> transport;
        if (const ViStatus status = openTransport(name, openTimeout, transport); status < 0)
            return status;
        // The transports open at the VISA defaults (9600-8-N-1, 2000 ms, no termination character).
        ViSession handle = VI_NULL;
        if (const ViStatus status = table().addSession(rm, name, std::move(transport), handle); status < 0)
            return status;
        *vi = handle;
        return VI_SUCCESS;
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

ViStatus viClose(ViSession vi)
{
    if (vi == VI_NULL)
        return VI_WARN_NULL_OBJECT;
    try {
        std::vector<std::shared_ptr<Session>> removed;
        if (!table().remove(vi, removed))
            return VI_ERROR_INV_OBJECT;
        for (const auto &session : removed) {
            // Waits for an operation in progress on another thread, then closes the line.
            std::lock_guard lock(session->mutex);
            session->close();
        }
        return VI_SUCCESS;
    } catch (...) {
        return VI_ERROR_CLOSING_FAILED;
    }
}
