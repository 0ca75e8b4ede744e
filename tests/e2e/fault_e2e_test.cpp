// The shared driver against a misbehaving simulator: every failure comes back as an error code
// within the I/O time-out, never as a hang or a crash, and the handle still closes.
#include "e2e_support.h"

using namespace qx::e2e;

namespace {

const std::string kAfterOpening = std::to_string(kOpeningMessages);

class DriverFaultE2e : public DriverE2e {
protected:
    // The call's status also stands as the session's recorded primary error.
    static void expectRecorded(ViSession vi, ViStatus status)
    {
        ViStatus primary = 0, secondary = 0;
        ViChar elaboration[256] = {};
        ASSERT_EQ(ZEV_QX70_GetErrorInfo(vi, &primary, &secondary, elaboration), VI_SUCCESS);
        EXPECT_EQ(primary, status);
    }
};

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
    expectRecorded(vi, kTimeout);

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
    expectRecorded(vi, status);
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

// Garbage answers fail the reads at once; the callers' outputs keep their values and no setting
// goes to the instrument.
TEST_F(DriverFaultE2e, GarbageAnswersFailTheQueriesAndChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(startOnSerial({"--garbage", "--faults-after", kAfterOpening}));
    expectOpening();
    const ViSession vi = open();

    ViReal64 voltage = -1.0;
    ViStatus status = 0;
    expect({"INST:NSEL 1", "MEAS:VOLT?"});
    EXPECT_LT(secondsFor([&] {
                  status = ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 1, &voltage);
              }),
              1.0);
    EXPECT_LT(status, 0);
    EXPECT_NE(status, kTimeout);
    EXPECT_EQ(voltage, -1.0);
    expectRecorded(vi, status);

    ViInt32 relay = -1;
    expect({"OUTP?"}); // the failed read ends the call before its clear and status check
    EXPECT_LT(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), 0);
    EXPECT_EQ(relay, -1);
    ViReal64 frequency = -1.0;
    expect({"FREQ?"});
    EXPECT_LT(ZEV_QX70_QueryOutputFunction(vi, "1", 9, &frequency), 0);
    EXPECT_EQ(frequency, -1.0);

    expect({"SYST:LOC"});
    EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
    EXPECT_EQ(received(), expected);
}

// An instrument error after "VOLT" reaches the caller through the status check.
TEST_F(DriverFaultE2e, InstrumentErrorAfterACommandFailsThatCall)
{
    ASSERT_NO_FATAL_FAILURE(startOnTcp({"--error-after", "VOLT=-222"}));
    expectOpening();
    const ViSession vi = open();
    expect({"VOLT:RANG 300.000000", "SYST:ERR?"});
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
    expect({"VOLT 120.000000", "SYST:ERR?"});
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 120.0), kInstrumentStatus);
    expectRecorded(vi, kInstrumentStatus);
    // The queue is empty again: the next setting passes its own check.
    expect({"FREQ 60.000000", "SYST:ERR?"});
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 60.0), VI_SUCCESS);
    expect({"SYST:LOC"});
    EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
    EXPECT_EQ(received(), expected);
}

} // namespace
