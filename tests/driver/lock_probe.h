// Whether another thread can take a session's lock now: proves that a driver function released
// it on the way out. A lock still held makes the probe give up after a while instead of hanging.
#pragma once

#include "zev_qx70.h"

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace qx::test {

inline bool lockableFromAnotherThread(ViSession vi)
{
    auto result = std::make_shared<std::promise<ViStatus>>();
    std::future<ViStatus> status = result->get_future();
    std::thread([vi, result] {
        ViBoolean has = VI_FALSE;
        const ViStatus locked = ZEV_QX70_LockSession(vi, &has);
        ZEV_QX70_UnlockSession(vi, &has);
        result->set_value(locked);
    }).detach();
    if (status.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
        return false;
    return status.get() == VI_SUCCESS;
}

} // namespace qx::test
