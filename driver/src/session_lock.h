// Holds the engine's session lock for a scope.
#pragma once

#include "ivi/ivi.h"

namespace zev {

class SessionLock {
public:
    explicit SessionLock(ViSession vi) : vi_(vi), status_(Ivi_LockSession(vi, &held_)) {}
    ~SessionLock()
    {
        if (held_)
            Ivi_UnlockSession(vi_, &held_);
    }
    SessionLock(const SessionLock &) = delete;
    SessionLock &operator=(const SessionLock &) = delete;

    ViStatus status() const { return status_; }

private:
    ViSession vi_;
    ViBoolean held_ = VI_FALSE;
    ViStatus status_;
};

// The frame of a driver function: `body` runs with the session locked; a lock that cannot be
// taken ends the call with its status. The lock is released on every way out.
template <class Body> ViStatus withLock(ViSession vi, Body &&body)
{
    SessionLock lock(vi);
    if (lock.status() < 0)
        return lock.status();
    return body();
}

} // namespace zev
