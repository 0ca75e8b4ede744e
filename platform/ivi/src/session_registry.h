// Live sessions by handle, and the frame of every service: find the session, hold it alive and
// locked for the call, and let no exception out.
#pragma once

#include "session.h"

#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace qx::ivi {

class SessionRegistry {
public:
    static SessionRegistry &instance();
    // Issues a handle never issued before and stores it in the session.
    ViSession add(std::shared_ptr<Session> session);
    std::shared_ptr<Session> find(ViSession vi) const;
    bool remove(ViSession vi);

private:
    mutable std::mutex mutex_;
    std::unordered_map<ViSession, std::shared_ptr<Session>> sessions_;
    ViSession lastHandle_ = 0x1000;
};

// A session found and locked for the run of one service; empty when the handle is not valid.
class LockedSession {
public:
    explicit LockedSession(ViSession vi);
    ~LockedSession();
    LockedSession(const LockedSession &) = delete;
    LockedSession &operator=(const LockedSession &) = delete;

    explicit operator bool() const { return locked_; }
    Session &operator*() const { return *session_; }

private:
    std::shared_ptr<Session> session_;
    bool locked_ = false;
};

template <class F>
ViStatus guarded(F &&body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return IVI_ERROR_OUT_OF_MEMORY;
    } catch (...) {
        return IVI_ERROR_CANNOT_RECOVER;
    }
}

// Runs body(Session &) with the session locked.
template <class F>
ViStatus withSession(ViSession vi, F &&body) noexcept
{
    return guarded([&]() -> ViStatus {
        LockedSession session(vi);
        if (!session)
            return IVI_ERROR_INVALID_SESSION_HANDLE;
        return body(*session);
    });
}

} // namespace qx::ivi
