// Handles, the inherent attributes, the per-session lock and the VISA sessions of the engine.
#include "ivi_test_support.h"

#include "ivi/src/session_registry.h"
#include "scripted_device.h"
#include "visa/visa.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

using namespace ivitest;

namespace {

using IviSession = IviTest;
using IviSessionLock = IviTest;
using IviInstrIo = IviTest;

unsigned lockWaiters(ViSession vi)
{
    const auto session = qx::ivi::SessionRegistry::instance().find(vi);
    return session ? session->lock.waiters() : 0;
}

// Spins (without sleeping) until one thread waits for the lock; false after a generous limit.
bool aThreadWaits(ViSession vi)
{
    for (const auto start = std::chrono::steady_clock::now(); lockWaiters(vi) != 1; std::this_thread::yield())
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10))
            return false;
    return true;
}

TEST_F(IviSession, HandlesAreNeverReusedServicesRefuseBadOnesItHoldsTheInherentAttributesAndSimulates)
{
    ViInt32 number = 0;
    ViChar text[256];
    ViConstString coerced = nullptr;
    const std::function<ViStatus(ViSession)> services[] = {
        [](ViSession vi) { return Ivi_Dispose(vi); },
        [](ViSession vi) { return Ivi_LockSession(vi, nullptr); },
        [](ViSession vi) { return Ivi_UnlockSession(vi, nullptr); },
        [](ViSession vi) { return Ivi_SetErrorInfo(vi, VI_FALSE, -1, 0, "x"); },
        [](ViSession vi) { return Ivi_SetNeedToCheckStatus(vi, VI_TRUE); },
        [](ViSession vi) { return Ivi_BuildChannelTable(vi, "1", VI_FALSE, nullptr); },
        [&](ViSession vi) { return Ivi_CoerceChannelName(vi, "1", &coerced); },
        [](ViSession vi) { return Ivi_AddAttributeViInt32(vi, attrInt, "A", 0, 0, nullptr, nullptr, nullptr); },
        [](ViSession vi) { return Ivi_SetAttrCheckCallbackViInt32(vi, attrInt, nullptr); },
        [](ViSession vi) { return Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_CACHE, 0, VI_TRUE); },
        [&](ViSession vi) { return Ivi_GetAttributeViInt32(vi, "", IVI_ATTR_CHANNEL_COUNT, 0, &number); },
        [&](ViSession vi) { return Ivi_GetAttributeViString(vi, "", IVI_ATTR_DRIVER_SETUP, 0, 256, text); },
        [](ViSession vi) { return Ivi_CheckAttributeViBoolean(vi, "", IVI_ATTR_CACHE, 0, VI_TRUE); },
        [](ViSession vi) { return Ivi_InvalidateAllAttributes(vi); },
        [](ViSession vi) { return Ivi_InvalidateAttribute(vi, "", IVI_ATTR_CACHE); },
        [](ViSession vi) { return Ivi_SetValInStringCallback(vi, IVI_ATTR_DRIVER_SETUP, "x"); },
        [](ViSession vi) { return Ivi_WriteInstrData(vi, "*CLS"); },
        [&](ViSession vi) { return Ivi_ReadInstrData(vi, 10, text, &number); },
    }; // a stale handle getting error information or a status text: errors_test.cpp
    const ViSession disposed = open("Simulate=1");
    ASSERT_EQ(Ivi_Dispose(disposed), VI_SUCCESS);
    const ViSession live = open("Simulate=1");
    EXPECT_GT(live, disposed);
    for (size_t i = 0; i < std::size(services); ++i)
        for (ViSession bad : {disposed, live + 1000, ViSession{0xFFFFFFFF}})
            EXPECT_EQ(services[i](bad), IVI_ERROR_INVALID_SESSION_HANDLE) << "service " << i << " on " << bad;
    for (ViSession bad : {ViSession{VI_NULL}, disposed}) {
        EXPECT_EQ(Ivi_Simulating(bad) | Ivi_RangeChecking(bad) | Ivi_QueryInstrStatus(bad) |
                      Ivi_UseSpecificSimulation(bad) | Ivi_NeedToCheckStatus(bad),
                  VI_FALSE);
        EXPECT_EQ(Ivi_IOSession(bad), ViSession{VI_NULL});
        EXPECT_EQ(Ivi_LockSession(bad, nullptr), IVI_ERROR_INVALID_SESSION_HANDLE);
    }
    EXPECT_EQ(Ivi_Dispose(VI_NULL), VI_SUCCESS);

    EXPECT_EQ(Ivi_SpecificDriverNew("QXTEST", "Simulate=1", nullptr), IVI_ERROR_NULL_POINTER);
    ViSession made = 77;
    EXPECT_EQ(Ivi_SpecificDriverNew(nullptr, "Simulate=1", &made), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(made, ViSession{VI_NULL});

    // What the option string sets reaches the attributes.
    const ViSession vi = open("Simulate=True, RangeCheck=0, QueryInstrStatus=0, Cache=0, "
                              "DriverSetup=Model:7103QX");
    EXPECT_EQ(Ivi_RangeChecking(vi) | Ivi_QueryInstrStatus(vi), VI_FALSE);
    EXPECT_EQ(valueOf(Ivi_GetAttributeViBoolean, vi, IVI_ATTR_CACHE), VI_FALSE);
    for (const auto &[id, expected] : {std::pair{IVI_ATTR_DRIVER_SETUP, "Model:7103QX"},
                                       std::pair{IVI_ATTR_SPECIFIC_DRIVER_PREFIX, "QXTEST"}}) {
        ViChar value[256] = "unset";
        EXPECT_EQ(Ivi_GetAttributeViString(vi, "", id, 0, 256, value), VI_SUCCESS);
        EXPECT_STREQ(value, expected) << id;
    }
    for (ViAttr id : {IVI_ATTR_IO_SESSION, IVI_ATTR_VISA_RM_SESSION}) // simulated: no VISA at all
        EXPECT_EQ(valueOf(Ivi_GetAttributeViSession, vi, id), ViSession{VI_NULL}) << id;
    // The driver serves its revision through a read callback, which runs although simulating.
    calls.textAnswer = "Driver: QXTEST 1.0";
    ASSERT_EQ(Ivi_SetAttrReadCallbackViString(vi, IVI_ATTR_SPECIFIC_DRIVER_REVISION, readText), VI_SUCCESS);
    ViChar revision[256] = "";
    ASSERT_EQ(Ivi_GetAttributeViString(vi, "", IVI_ATTR_SPECIFIC_DRIVER_REVISION, 0, -1, revision), VI_SUCCESS);
    EXPECT_STREQ(revision, "Driver: QXTEST 1.0");
    // The driver hands over its VISA session (which flags each inherent attribute has is the
    // engine's table; the flags' rules are in attributes_test.cpp).
    EXPECT_EQ(Ivi_SetAttributeViSession(vi, "", IVI_ATTR_IO_SESSION, 0, 42), VI_SUCCESS);
    EXPECT_EQ(Ivi_IOSession(vi), ViSession{42});
    // Not even with range checking off.
    EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, 0, VI_FALSE),
              IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE);
    EXPECT_EQ(Ivi_CheckAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, 0, VI_FALSE),
              IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE);
    EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, 0, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(Ivi_Simulating(vi), VI_TRUE);
}

TEST_F(IviSessionLock, ItsHolderMayRelockOthersWaitForItsLastLevelDisposeWaitsAndRefusesTheWaiting)
{
    const ViSession vi = withInt("Simulate=1");
    ViBoolean hasLock = VI_FALSE;
    ASSERT_EQ(Ivi_LockSession(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_TRUE);
    ASSERT_EQ(Ivi_LockSession(vi, &hasLock), VI_SUCCESS); // flag set: no second level
    ASSERT_EQ(Ivi_LockSession(vi, nullptr), VI_SUCCESS);  // a second level
    ViStatus byOtherThread = VI_SUCCESS;
    std::thread([&] { byOtherThread = Ivi_UnlockSession(vi, nullptr); }).join();
    EXPECT_EQ(byOtherThread, IVI_ERROR_SESSION_NOT_LOCKED);
    std::atomic<ViStatus> status{1};
    std::thread setter([&] { status = Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 5); });
    ASSERT_TRUE(aThreadWaits(vi));
    EXPECT_EQ(getInt(vi), 0); // the holder itself is not blocked
    ASSERT_EQ(Ivi_UnlockSession(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_FALSE);
    EXPECT_EQ(Ivi_UnlockSession(vi, &hasLock), VI_SUCCESS); // flag clear: nothing to do
    EXPECT_EQ(lockWaiters(vi), 1u);                         // still held once
    EXPECT_EQ(status, 1);
    ASSERT_EQ(Ivi_UnlockSession(vi, nullptr), VI_SUCCESS);
    setter.join();
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 5);
    EXPECT_EQ(Ivi_UnlockSession(vi, nullptr), IVI_ERROR_SESSION_NOT_LOCKED);

    // Dispose waits for the lock, and refuses threads still waiting when the holder disposes.
    ASSERT_EQ(Ivi_LockSession(vi, nullptr), VI_SUCCESS);
    std::atomic<ViStatus> disposed{1};
    std::thread disposer([&] { disposed = Ivi_Dispose(vi); });
    ASSERT_TRUE(aThreadWaits(vi));
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
    ASSERT_TRUE(aThreadWaits(other));
    EXPECT_EQ(Ivi_Dispose(other), VI_SUCCESS); // the holder disposes of it
    waiter.join();
    EXPECT_EQ(waiting, IVI_ERROR_INVALID_SESSION_HANDLE);
}

TEST_F(IviInstrIo, OpensTheResourceManagerPassesBytesDisposeClosesWhatItOpenedSimulationPassesNone)
{
    constexpr const char *resource = "GPIB0::9::INSTR";
    qx::runtime::Timeline timeline;
    const auto device = std::make_shared<qx::test::ScriptedDevice>(timeline);
    device->answer("*IDN?", "ZE,7101QX,0,1.0");
    ASSERT_TRUE(qx::visa::attachDevice(resource, device));
    const auto detach = [](const char *name) { qx::visa::detachDevice(name); };
    const std::unique_ptr<const char, decltype(detach)> attached(resource, detach);
    const ViSession vi = open("");
    const ViSession rm = valueOf(Ivi_GetAttributeViSession, vi, IVI_ATTR_VISA_RM_SESSION);
    ViSession io = VI_NULL;
    ASSERT_EQ(viOpen(rm, resource, VI_NULL, 5000, &io), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetAttributeViSession(vi, "", IVI_ATTR_IO_SESSION, 0, io), VI_SUCCESS);

    EXPECT_EQ(Ivi_WriteInstrData(vi, "*IDN?"), VI_SUCCESS);
    ViChar buffer[64];
    ViInt32 count = -1;
    EXPECT_EQ(Ivi_ReadInstrData(vi, 5, buffer, &count), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(count)), "ZE,71");
    EXPECT_EQ(Ivi_ReadInstrData(vi, 64, buffer, &count), VI_SUCCESS);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(count)), "01QX,0,1.0\n");

    ASSERT_EQ(Ivi_Dispose(vi), VI_SUCCESS);
    ViUInt32 written = 0;
    EXPECT_EQ(viWrite(io, reinterpret_cast<ViConstBuf>("*CLS"), 4, &written), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(rm), VI_ERROR_INV_OBJECT); // closed by the dispose
    EXPECT_EQ(timeline.writes(), std::vector<std::string>{"*IDN?"});

    // Simulated, nothing is sent or read; bad arguments are refused.
    const ViSession simulated = open("Simulate=1");
    EXPECT_EQ(Ivi_WriteInstrData(simulated, "*RST"), VI_SUCCESS);
    std::memcpy(buffer, "keep", 5);
    count = -1;
    EXPECT_EQ(Ivi_ReadInstrData(simulated, 8, buffer, &count), VI_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(Ivi_WriteInstrData(simulated, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_ReadInstrData(simulated, 8, nullptr, &count), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_ReadInstrData(simulated, -1, buffer, &count), IVI_ERROR_INVALID_VALUE);
}

} // namespace
