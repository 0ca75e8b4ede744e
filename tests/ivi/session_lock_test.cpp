#include "ivi_test_support.h"

#include <atomic>

using namespace ivitest;

namespace {

class IviSessionLock : public IviTest {};

TEST_F(IviSessionLock, CallerHasLockFlagLocksAndUnlocksOnlyOnceAndOnlyTheHolderUnlocks)
{
    const ViSession vi = open("Simulate=1");
    ViBoolean hasLock = VI_FALSE;
    ASSERT_EQ(Ivi_LockSession(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_TRUE);
    ASSERT_EQ(Ivi_LockSession(vi, &hasLock), VI_SUCCESS); // already held: no second level
    ViStatus byOtherThread = VI_SUCCESS;
    std::thread([&] { byOtherThread = Ivi_UnlockSession(vi, nullptr); }).join();
    EXPECT_EQ(byOtherThread, IVI_ERROR_SESSION_NOT_LOCKED);
    ASSERT_EQ(Ivi_UnlockSession(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_FALSE);
    EXPECT_EQ(Ivi_UnlockSession(vi, &hasLock), VI_SUCCESS); // flag clear: nothing to do
    EXPECT_EQ(Ivi_UnlockSession(vi, nullptr), IVI_ERROR_SESSION_NOT_LOCKED);
}

TEST_F(IviSessionLock, AnotherThreadWaitsUntilTheHolderReleasesItsLastLevel)
{
    const ViSession vi = withInt("Simulate=1");
    ASSERT_EQ(Ivi_LockSession(vi, nullptr), VI_SUCCESS);
    ASSERT_EQ(Ivi_LockSession(vi, nullptr), VI_SUCCESS);
    std::atomic<ViStatus> status{1};
    std::thread setter([&] { status = Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 5); });
    ASSERT_TRUE(eventually([&] { return lockWaiters(vi) == 1; }));
    EXPECT_EQ(getInt(vi), 0); // the holder itself is not blocked
    ASSERT_EQ(Ivi_UnlockSession(vi, nullptr), VI_SUCCESS);
    EXPECT_EQ(lockWaiters(vi), 1u); // still held once
    EXPECT_EQ(status, 1);
    ASSERT_EQ(Ivi_UnlockSession(vi, nullptr), VI_SUCCESS);
    setter.join();
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 5);
}

TEST_F(IviSessionLock, DisposeWaitsForTheLockAndRefusesThreadsStillWaiting)
{
    const ViSession vi = open("Simulate=1");
    ASSERT_EQ(Ivi_LockSession(vi, nullptr), VI_SUCCESS);
    std::atomic<ViStatus> disposed{1};
    std::thread disposer([&] { disposed = Ivi_Dispose(vi); });
    ASSERT_TRUE(eventually([&] { return lockWaiters(vi) == 1; }));
    EXPECT_EQ(Ivi_Simulating(vi), VI_TRUE); // still alive while the holder works
    EXPECT_EQ(disposed, 1);
    ASSERT_EQ(Ivi_UnlockSession(vi, nullptr), VI_SUCCESS);
    disposer.join();
    EXPECT_EQ(disposed, VI_SUCCESS);
    EXPECT_EQ(Ivi_Simulating(vi), VI_FALSE);

    const ViSession other = open("Simulate=1");
    ASSERT_EQ(Ivi_LockSession(other, nullptr), VI_SUCCESS);
    std::atomic<ViStatus> waiting{1};
    std::thread waiter([&] { waiting = Ivi_InvalidateAllAttributes(other); });
    ASSERT_TRUE(eventually([&] { return lockWaiters(other) == 1; }));
    EXPECT_EQ(Ivi_Dispose(other), VI_SUCCESS); // the holder disposes of it
    waiter.join();
    EXPECT_EQ(waiting, IVI_ERROR_INVALID_SESSION_HANDLE);
}

} // namespace
