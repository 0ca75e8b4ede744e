#include "session_registry.h"

namespace qx::ivi {

SessionRegistry &SessionRegistry::instance()
{
    // Never destroyed: a session left open at exit must not run VISA calls during static teardown.
    static auto *registry = new SessionRegistry;
    return *registry;
}

ViSession SessionRegistry::add(std::shared_ptr<Session> session)
{
    std::lock_guard guard(mutex_);
    ++lastHandle_;
    if (lastHandle_ == VI_NULL) // after 2^32 sessions; not worth more than skipping VI_NULL
        ++lastHandle_;
    session->handle = lastHandle_;
    sessions_.emplace(lastHandle_, std::move(session));
    return lastHandle_;
}

std::shared_ptr<Session> SessionRegistry::find(ViSession vi) const
{
    if (vi == VI_NULL)
        return nullptr;
    std::lock_guard guard(mutex_);
    const auto it = sessions_.find(vi);
    return it == sessions_.end() ? nullptr : it->second;
}

bool SessionRegistry::remove(ViSession vi)
{
    std::lock_guard guard(mutex_);
    return sessions_.erase(vi) == 1;
}

LockedSession::LockedSession(ViSession vi) : session_(SessionRegistry::instance().find(vi))
{
    locked_ = session_ && session_->lock.acquire();
}

LockedSession::~LockedSession()
{
    if (locked_)
        session_->lock.release();
}

} // namespace qx::ivi
