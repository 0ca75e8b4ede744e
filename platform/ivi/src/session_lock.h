// The per-session lock: recursive for its holder, usable from several threads, and closable so
// that threads still waiting when the session is disposed give up instead of waiting forever.
// Waiters are served in the order they came (a ticket lock): a thread that releases and at once
// asks again queues behind the others, so nobody - a close in particular - waits for ever.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace qx::ivi {

class SessionLock {
public:
    // Blocks until the calling thread holds the lock. False once the lock is closed.
    bool acquire();
    // False when the calling thread does not hold the lock.
    bool release();
    // Wakes every waiter with a refusal; the holder may still release what it holds.
    void close();
    // Threads blocked in acquire(): lets a test see that a caller really waits.
    unsigned waiters() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    unsigned depth_ = 0;
    unsigned waiters_ = 0;
    unsigned long long nextTicket_ = 0;
    unsigned long long serving_ = 0;
    bool closed_ = false;
};

} // namespace qx::ivi
