#include "driver_fixture.h"
#include "lock_probe.h"

#include "ivi/ivi.h"

#include <cmath>

using namespace qx::test;

namespace {

const ViReal64 kNaN = std::nan("");

} // namespace

TEST_F(DriverTest, ConfigureLimitsHandsOutWhatTheOpenRead)
{
    ViSession vi = open(kGpib);
    ViReal64 low = 0, high = 0, current = 0, voltage = 0;
    ViInt32 model = 0;
    EXPECT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, &model), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(low, 16.0);
    EXPECT_DOUBLE_EQ(high, 500.0);
    EXPECT_DOUBLE_EQ(current, 9.2);
    EXPECT_DOUBLE_EQ(voltage, 300.0);
    EXPECT_EQ(model, 7103);
    EXPECT_TRUE(events().empty());

    EXPECT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", nullptr, &high, &current, &voltage, &model),
              IVI_ERROR_INVALID_PARAMETER);
    ErrorInfo info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
    EXPECT_EQ(info.elaboration, "Null address for Frequency Low Limit");
    EXPECT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, nullptr),
              IVI_ERROR_INVALID_PARAMETER);
    info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER7);
    EXPECT_EQ(info.elaboration, "Null address for Model Number");
}

TEST_F(DriverTest, VoltageIsCheckedAgainstTheSelectedRange)
{
    ViSession vi = open(kGpib);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 1.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 150.0), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> VOLT:RANG 150.000000", "wait 0.03"}, statusCheck(),
                                {"> VOLT 150.000000", "wait 0.03"}, statusCheck()}));

    timeline.clear();
    for (ViReal64 refused : {150.01, -0.5, kNaN}) {
        EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", refused), ZEV_QX70_ERROR_OVER_VOLTAGE) << refused;
        EXPECT_EQ(errorInfo(vi).primary, VI_SUCCESS) << refused;
        EXPECT_TRUE(lockableFromAnotherThread(vi)) << refused;
    }
    EXPECT_TRUE(events().empty());

    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 300.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 0.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 300.01), ZEV_QX70_ERROR_OVER_VOLTAGE);
}

TEST_F(DriverTest, CurrentLimitIsHalvedOnTheHighRange)
{
    device->answer("LIM:CURR?", "13.34");
    ViSession vi = open(kSerial);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 6.67), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> CURR 6.670000\\n", "wait 0.03"}, statusCheck(true)}));
    timeline.clear();
    for (ViReal64 refused : {6.68, -0.01, kNaN}) {
        EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", refused), ZEV_QX70_ERROR_OVER_CURRENT) << refused;
        EXPECT_TRUE(lockableFromAnotherThread(vi)) << refused;
    }
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 1.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 13.34), VI_SUCCESS);
}

TEST_F(DriverTest, WithoutASelectorTheRangeReadBackInVoltsIsTheMaximum)
{
    ViSession vi = open(kGpib); // the open cleared the cache
    device->answer("VOLT:RANG?", "150");
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 150.01), ZEV_QX70_ERROR_OVER_VOLTAGE);
    EXPECT_EQ(events(), Events{"> VOLT:RANG?"});
    // 150 V is the low range of a 300 V source: the full current is allowed.
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 9.2), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 9.21), ZEV_QX70_ERROR_OVER_CURRENT);
    EXPECT_EQ(device->messages().back(), "SYST:ERR?"); // 9.21 sent nothing

    device->answer("VOLT:RANG?", "250");
    ViInt32 relay = 0;
    device->answer("OUTP?", "1");
    ASSERT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS); // invalidates the cache
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 4.6), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 4.61), ZEV_QX70_ERROR_OVER_CURRENT);
}

TEST_F(DriverTest, FrequencyLimitsAreInclusive)
{
    ViSession vi = open(kSerial);
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 16.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 500.0), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> FREQ 16.000000\\n", "wait 0.03"}, statusCheck(true),
                                {"> FREQ 500.000000\\n", "wait 0.03"}, statusCheck(true)}));
    timeline.clear();
    for (ViReal64 refused : {15.99, 500.01, kNaN}) {
        EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", refused), ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS) << refused;
        EXPECT_TRUE(lockableFromAnotherThread(vi)) << refused;
    }
    EXPECT_TRUE(events().empty());
}

TEST_F(DriverTest, EngineRefusalsRecordTheirPositionAndName)
{
    device->answer("LIM:FREQ:HIGH?", "6000");
    ViSession vi = open(kGpib);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 301.0), IVI_ERROR_INVALID_VALUE);
    ErrorInfo info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER2);
    EXPECT_EQ(info.elaboration, "Voltage Range");
    // Within the instrument's limits but outside the attribute's range table.
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 5500.0), IVI_ERROR_INVALID_VALUE);
    info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER4);
    EXPECT_EQ(info.elaboration, "Frequency");
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "2", 10.0), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER2);
    EXPECT_EQ(info.elaboration, "Voltage Range");
    EXPECT_TRUE(events().empty());
}

TEST_F(DriverTest, AFailedSettingSkipsTheStatusCheckAndReleasesTheLock)
{
    ViSession vi = open(kGpib);
    ASSERT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
    timeline.clear();
    device->closeOn("VOLT 100.000000");
    const ViStatus status = ZEV_QX70_GenerateACVoltage(vi, "1", 100.0);
    EXPECT_LT(status, 0);
    EXPECT_EQ(events(), Events{"> VOLT 100.000000"});
    EXPECT_EQ(errorInfo(vi).primary, status);
    EXPECT_TRUE(lockableFromAnotherThread(vi));
}

TEST_F(DriverTest, TheRelayIsSwitchedOnEveryCall)
{
    ViSession vi = open(kGpib);
    EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_DisconnectOutput(vi, "1"), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> OUTP 1", "wait 0.03"}, statusCheck(), {"> OUTP 1", "wait 0.03"}, statusCheck(),
                                {"> OUTP 0", "wait 0.03"}, statusCheck()}));
}

TEST_F(DriverTest, RelayQueryReadsThenClearsAndChecks)
{
    ViSession gpib = open(kGpib);
    device->answer("OUTP?", "1");
    ViInt32 relay = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(gpib, "1", &relay), VI_SUCCESS);
    EXPECT_EQ(relay, 1);
    EXPECT_EQ(events(), concat({{"> OUTP?", "> *CLS", "wait 0.03"}, statusCheck(), {"wait 0.05"}}));

    ViSession serial = open(kSerial);
    device->answer("OUTP?", "0");
    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(serial, "1", &relay), VI_SUCCESS);
    EXPECT_EQ(relay, 0);
    EXPECT_EQ(events(), concat({{"> OUTP?\\n", "wait 0.05", "wait 0.05", "> *CLS\\n", "wait 0.03"},
                                statusCheck(true), {"wait 0.05"}}));

    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(serial, "1", nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(serial).secondary, VI_ERROR_PARAMETER3);
}

TEST_F(DriverTest, ARelayQueryWithoutAnswerStopsBeforeTheClear)
{
    ViSession vi = open(kGpib);
    device->silentOn("OUTP?");
    ViInt32 relay = 42;
    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_ERROR_TMO);
    EXPECT_EQ(relay, 42);
    EXPECT_EQ(events(), (Events{"> OUTP?", "timeout 5"}));
    EXPECT_EQ(errorInfo(vi).primary, VI_ERROR_TMO);
    EXPECT_TRUE(lockableFromAnotherThread(vi));
}

TEST_F(DriverTest, EveryOutputFunctionQueryGoesOutAndLeavesACheckDue)
{
    ViSession vi = open(kGpib);
    device->answer("VOLT?", "120.5");
    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 1, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 120.5);
    value = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 1, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 120.5);
    EXPECT_EQ(events(), concat({{"> VOLT?"}, statusCheck(), {"> VOLT?"}, statusCheck()}));
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);

    ViSession serial = open(kSerial);
    device->answer("VOLT:RANG?", "150");
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(serial, "1", 3, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 150.0);
    EXPECT_EQ(events(), concat({{"> VOLT:RANG?\\n"}, statusCheck(true)}));
}

TEST_F(DriverTest, AnOutputFunctionOutsideTheTableIsRefusedBeforeAnyIo)
{
    ViSession vi = open(kGpib);
    ViReal64 value = 7.0;
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 4, &value), IVI_ERROR_INVALID_VALUE);
    ErrorInfo info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
    EXPECT_EQ(info.elaboration, "Query Function");
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 9, nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(vi).secondary, VI_ERROR_PARAMETER4);
    EXPECT_DOUBLE_EQ(value, 7.0);
    EXPECT_TRUE(events().empty());

    device->silentOn("FREQ?");
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 9, &value), VI_ERROR_TMO);
    EXPECT_EQ(events(), (Events{"> FREQ?", "timeout 5"}));
    EXPECT_DOUBLE_EQ(value, 7.0);
    EXPECT_TRUE(lockableFromAnotherThread(vi));
}

TEST_F(DriverTest, ASimulatedSessionOpenedFirstHasZeroLimits)
{
    ViSession vi = open(kGpib, "Simulate=1");
    ViReal64 low = 1, high = 1, current = 1, voltage = 1;
    ViInt32 model = 1;
    EXPECT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, &model), VI_SUCCESS);
    EXPECT_EQ(low + high + current + voltage, 0.0);
    EXPECT_EQ(model, 0);

    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 50.0), ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS);
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 0.0), IVI_ERROR_INVALID_VALUE); // the range table's 16 Hz
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 136.0), VI_SUCCESS); // the range attribute's default
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 136.01), ZEV_QX70_ERROR_OVER_VOLTAGE);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 1.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 0.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 0.01), ZEV_QX70_ERROR_OVER_VOLTAGE);
    EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), VI_SUCCESS);

    ViInt32 relay = 5;
    ViReal64 value = 5.0;
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 1, &value), VI_SUCCESS);
    EXPECT_EQ(relay, 5);
    EXPECT_DOUBLE_EQ(value, 5.0);
    EXPECT_EQ(events(), (Events{"wait 0.03", "wait 0.05"}));
    EXPECT_TRUE(device->messages().empty());
}
