// The shared driver against a misbehaving simulator: every failure comes back as an error code
// within the I/O time-out, never as a hang or a crash, and the handle still closes.
#include "e2e_support.h"

using namespace qx::e2e;

namespace {

const std::string kAfterOpening = std::to_string(kOpeningMessages);

using DriverFaultE2e = DriverE2e;

// The primary error that the session recorded.
ViStatus recordedError(ViSession vi)
{
    ViStatus primary = 0, secondary = 0;
    ViChar elaboration[256] = {};
    EXPECT_EQ(ZEV_QX70_GetErrorInfo(vi, &primary, &secondary, elaboration), VI_SUCCESS);
    return primary;
}

// Silent once the session is open. Off the serial line the driver sets a 5 s time-out (the serial
// line's 10 s would cost twice as much for the same proof); the measurement is one exchange, so
// exactly one time-out.
TEST_F(DriverFaultE2e, SilentInstrumentTimesOutWithinTheTimeOut)
{
    ASSERT_NO_FATAL_FAILURE(startOnTcp({"--silent", "--faults-after", kAfterOpening}));
    expectOpening();
    const ViSession vi = open();

    ViReal64 voltage = -1.0;
    ViStatus status = 0;
    const double seconds =
        secondsFor([&] { status = ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 1, &voltage); });
    expect({"INST:NSEL 1", "MEAS:VOLT?"});
    EXPECT_EQ(status, kTimeout);
    EXPECT_GE(seconds, 4.9);
    EXPECT_LE(seconds, 6.0);
    EXPECT_EQ(voltage, -1.0);
    EXPECT_EQ(recordedError(vi), kTimeout);

    expect({"SYST:LOC"}); // a write: the silent line takes it
    EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
    EXPECT_EQ(received(), expected);
}

// The line closes on the first setting command, a message without an answer; the status check
// that follows meets the closed line.
TEST_F(DriverFaultE2e, ClosedSerialLineGivesErrorsAndStillCloses)
{
    ASSERT_NO_FATAL_FAILURE(startOnSerial({"--close-after", std::to_string(kOpeningMessages + 1)}));
    expectOpening();
    const ViSession vi = open();

    ViStatus status = 0;
    expect({"VOLT:RANG 300.000000"});
    EXPECT_LT(secondsFor([&] { status = ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0); }), 1.0);
    EXPECT_LT(status, 0);
    EXPECT_EQ(recordedError(vi), status);
    ViInt32 relay = -1;
    EXPECT_LT(secondsFor([&] { status = ZEV_QX70_QueryOutputRelay(vi, "1", &relay); }), 1.0);
    EXPECT_LT(status, 0);
    EXPECT_EQ(relay, -1);

    // "SYST:LOC" cannot go out: close reports that and still disposes of the session.
    EXPECT_LT(secondsFor([&] { status = ZEV_QX70_close(vi); }), 1.0);
    EXPECT_LT(status, 0);
    EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(received(), expected);
}

} // namespace
