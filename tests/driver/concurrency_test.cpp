// Sessions used from several threads against in-process simulators: many threads on one session,
// two sessions on two instruments at once, and a close racing with calls. Built also with the
// thread sanitizer (preset tsan), where these are the tests that run.
#include "runtime/clock.h"
#include "sim/attach.h"
#include "visa/device.h"
#include "zev_qx70.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 4;

class Concurrency : public ::testing::Test {
protected:
    Concurrency()
    {
        qx::sim::Config single;
        single.model = qx::sim::Model::QX7101;
        single.limits.voltage = 250.0;
        qx::sim::attach(std::make_shared<qx::sim::Simulator>(), "ASRL1::INSTR");
        qx::sim::attach(std::make_shared<qx::sim::Simulator>(single), "GPIB0::5::INSTR");
    }
    ~Concurrency() override
    {
        qx::visa::detachDevice("ASRL1::INSTR");
        qx::visa::detachDevice("GPIB0::5::INSTR");
    }

    static ViSession open(const char *resource)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(ZEV_QX70_init(const_cast<ViRsrc>(resource), VI_TRUE, VI_FALSE, &vi, 9600), VI_SUCCESS);
        return vi;
    }

    // Runs body(thread index) on kThreads threads at once and waits for all of them.
    template <class Body> static void onThreads(Body body)
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back(body, t);
        for (std::thread &thread : threads)
            thread.join();
    }

    // Pacing waits cost no time; the lock and the I/O are real.
    qx::runtime::VirtualClock clock;
    qx::runtime::ScopedClock clockGuard{clock};
};

} // namespace

// Each thread sets its own voltage and reads it back inside one locked group: no other thread's
// command comes in between, and every call succeeds.
TEST_F(Concurrency, ManyThreadsShareOneSession)
{
    const ViSession vi = open("ASRL1::INSTR");
    std::atomic<int> mismatches{0}, failures{0};
    onThreads([&](int t) {
        for (int i = 0; i < 25; ++i) {
            const ViReal64 volts = 10.0 * t + i % 10;
            ViBoolean locked = VI_FALSE;
            ViReal64 back = -1.0, measured = -1.0;
            failures += ZEV_QX70_LockSession(vi, &locked) != VI_SUCCESS;
            failures += ZEV_QX70_GenerateACVoltage(vi, "1", volts) != VI_SUCCESS;
            failures += ZEV_QX70_QueryOutputFunction(vi, "1", 1, &back) != VI_SUCCESS;
            failures += ZEV_QX70_UnlockSession(vi, &locked) != VI_SUCCESS;
            failures += ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_FREQUENCY, 1, &measured) != 0;
            mismatches += back != volts;
        }
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
}

// A three-phase source on the serial line and a single-phase one on GPIB, driven at once: each
// keeps its own model and limits throughout, and outlives the other's close.
TEST_F(Concurrency, TwoSessionsOnTwoInstrumentsAtOnce)
{
    const ViSession sessions[] = {open("ASRL1::INSTR"), open("GPIB0::5::INSTR")};
    std::atomic<int> wrong{0};
    onThreads([&](int t) {
        const ViSession vi = sessions[t % 2];
        const bool three = t % 2 == 0;
        for (int i = 0; i < 25; ++i) {
            ViReal64 low = 0, high = 0, current = 0, voltage = 0, peak = 0;
            ViInt32 model = 0;
            wrong += ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, &model) != VI_SUCCESS;
            wrong += model != (three ? 7103 : 7101) || voltage != (three ? 300.0 : 250.0);
            wrong += ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0) != VI_SUCCESS;
            wrong += ZEV_QX70_GenerateACVoltage(vi, "1", 280.0) != (three ? VI_SUCCESS : ZEV_QX70_ERROR_OVER_VOLTAGE);
            wrong += ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, &peak) !=
                     (three ? ZEV_QX70_ERROR_NOT_SUPPORTED : VI_SUCCESS);
        }
    });
    EXPECT_EQ(wrong, 0);
    // Closing one leaves the other as it was.
    EXPECT_EQ(ZEV_QX70_close(sessions[1]), VI_SUCCESS);
    ViReal64 volts = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(sessions[0], "1", 1, &volts), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(volts, 280.0);
    EXPECT_EQ(ZEV_QX70_close(sessions[0]), VI_SUCCESS);
}

// Threads call on a session while another closes it. Close waits for the call in flight; then every
// call fails at once with the invalid-handle status, never on a half-closed session.
TEST_F(Concurrency, CloseWaitsForCallsInFlightThenEveryCallIsRefusedAtOnce)
{
    const ViSession vi = open("GPIB0::5::INSTR");
    std::atomic<int> started{0}, otherErrors{0};
    std::thread closer([&] {
        while (started < kThreads) // every worker is calling
            std::this_thread::yield();
        EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
    });
    onThreads([&](int) {
        ++started;
        for (;;) {
            ViReal64 value = 0;
            const ViStatus status = ZEV_QX70_QueryOutputFunction(vi, "1", 9, &value);
            if (status == ZEV_QX70_ERROR_INVALID_SESSION_HANDLE)
                break;
            otherErrors += status != VI_SUCCESS;
        }
    });
    closer.join();
    EXPECT_EQ(otherErrors, 0); // no call ran on a closed I/O session
}
