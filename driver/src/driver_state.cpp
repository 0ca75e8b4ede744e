#include "driver_state.h"

#include <mutex>
#include <new>
#include <unordered_map>

namespace zev {
namespace {

struct States {
    std::mutex mutex;
    std::unordered_map<ViSession, SessionState> bySession;
};

States &states()
{
    // Never destroyed: sessions may still be closed while the process exits.
    static auto *all = new States;
    return *all;
}

} // namespace

SessionState sessionState(ViSession vi)
{
    States &all = states();
    std::lock_guard guard(all.mutex);
    const auto it = all.bySession.find(vi);
    return it == all.bySession.end() ? SessionState{} : it->second;
}

void storeSessionState(ViSession vi, const SessionState &state)
{
    States &all = states();
    std::lock_guard guard(all.mutex);
    try {
        all.bySession[vi] = state;
    } catch (const std::bad_alloc &) {
        // No room for one small record: the session goes on reporting zeros.
    }
}

void forgetSessionState(ViSession vi)
{
    States &all = states();
    std::lock_guard guard(all.mutex);
    all.bySession.erase(vi);
}

} // namespace zev
