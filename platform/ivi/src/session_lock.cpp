#include "session_lock.h"

namespace qx::ivi {

bool SessionLock::acquire()
{
    std::unique_lock guard(mutex_);
    const auto self = std::this_thread::get_id();
    if (closed_)
        return false;
    if (depth_ > 0 && owner_ == self) {
        ++depth_;
        return true;
    }
    const unsigned long long ticket = nextTicket_++;
    ++waiters_;
    released_.wait(guard, [&] { return closed_ || (depth_ == 0 && serving_ == ticket); });
    --waiters_;
    if (closed_)
        return false;
    owner_ = self;
    depth_ = 1;
    return true;
}

bool SessionLock::release()
{
    std::lock_guard guard(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id())
        return false;
    if (--depth_ == 0) {
        owner_ = {};
        ++serving_;
        released_.notify_all(); // only the next ticket may go on
    }
    return true;
}

void SessionLock::close()
{
    std::lock_guard guard(mutex_);
    closed_ = true;
    released_.notify_all();
}

unsigned SessionLock::waiters() const
{
    std::lock_guard guard(mutex_);
    return waiters_;
}

} // namespace qx::ivi
