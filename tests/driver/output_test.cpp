#include "driver_fixture.h"

#include "ivi/ivi.h"

#include <cmath>

using namespace qx::test;

static const ViReal64 kNaN = std::nan("");

// Vmax is the cached range selector's volts; Imax is the current limit, halved on the high range.
// Refused values (out of range, negative, NaN) send nothing and leave the lock free.
TEST_F(DriverTest, SettingsAreCheckedAgainstTheLimitsOfACachedRangeSelector)
{
    device->answer("LIM:CURR?", "13.34");
    ViSession vi = open(kSerial);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 1.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 150.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 13.34), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 16.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 500.0), VI_SUCCESS);
    EXPECT_EQ(take(), concat({setting("VOLT:RANG 150.000000", true), setting("VOLT 150.000000", true),
                              setting("CURR 13.340000", true), setting("FREQ 16.000000", true),
                              setting("FREQ 500.000000", true)}));
    for (ViReal64 v : {150.01, -0.5, kNaN}) {
        EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACVoltage(vi, "1", v), ZEV_QX70_ERROR_OVER_VOLTAGE)) << v;
        EXPECT_EQ(errorInfo(vi).primary, VI_SUCCESS) << v;
    }
    for (ViReal64 f : {15.99, 500.01, kNaN})
        EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACFrequency(vi, "1", f), ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS)) << f;

    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 300.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 0.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 6.67), VI_SUCCESS);
    EXPECT_EQ(take(), concat({setting("VOLT:RANG 300.000000", true), setting("VOLT 300.000000", true),
                              setting("VOLT 0.000000", true), setting("CURR 6.670000", true)}));
    EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACVoltage(vi, "1", 300.01), ZEV_QX70_ERROR_OVER_VOLTAGE));
    for (ViReal64 i : {6.68, -0.01, kNaN})
        EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACCurrent(vi, "1", i), ZEV_QX70_ERROR_OVER_CURRENT)) << i;
}

TEST_F(DriverTest, WithoutASelectorTheRangeReadBackInVoltsIsTheMaximum)
{
    ViSession vi = open(kGpib); // the open cleared the cache
    device->answer("VOLT:RANG?", "150");
    EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACVoltage(vi, "1", 150.01), ZEV_QX70_ERROR_OVER_VOLTAGE, {"> VOLT:RANG?"}));
    // 150 V is the low range of a 300 V source: the full current is allowed.
    EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACCurrent(vi, "1", 9.2), VI_SUCCESS, setting("CURR 9.200000")));
    EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACCurrent(vi, "1", 9.21), ZEV_QX70_ERROR_OVER_CURRENT));

    device->answer("VOLT:RANG?", "250");
    device->answer("OUTP?", "1");
    ViInt32 relay = 0;
    ASSERT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS); // invalidates the cache
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 4.6), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 4.61), ZEV_QX70_ERROR_OVER_CURRENT);
}

// The relay query clears and checks; the output function query leaves a check due.
TEST_F(DriverTest, RelayAndOutputFunctionQueries)
{
    ViSession vi = open(kGpib);
    EXPECT_TRUE(returned(vi, ZEV_QX70_ConnectOutput(vi, "1"), VI_SUCCESS, setting("OUTP 1")));
    EXPECT_TRUE(returned(vi, ZEV_QX70_DisconnectOutput(vi, "1"), VI_SUCCESS, setting("OUTP 0")));
    ViInt32 relay = 0;
    device->answer("OUTP?", "1");
    const Events query = concat({{"> OUTP?"}, checkAndClear(), {"wait 0.05"}});
    EXPECT_TRUE(returned(vi, ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS, query));
    EXPECT_EQ(relay, 1);
    device->answer("VOLT?", "120.5");
    ViReal64 value = 0;
    EXPECT_TRUE(returned(vi, ZEV_QX70_QueryOutputFunction(vi, "1", 1, &value), VI_SUCCESS,
                         concat({{"> VOLT?"}, statusCheck()})));
    EXPECT_DOUBLE_EQ(value, 120.5);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);

    vi = open(kSerial);
    device->answer("OUTP?", "0");
    const Events serialQuery = concat({{"> OUTP?\\n", "wait 0.05", "wait 0.05"}, checkAndClear(true), {"wait 0.05"}});
    EXPECT_TRUE(returned(vi, ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS, serialQuery));
    EXPECT_EQ(relay, 0);
    device->answer("VOLT:RANG?", "150");
    EXPECT_TRUE(returned(vi, ZEV_QX70_QueryOutputFunction(vi, "1", 3, &value), VI_SUCCESS,
                         concat({{"> VOLT:RANG?\\n"}, statusCheck(true)})));
    EXPECT_DOUBLE_EQ(value, 150.0);
}

// A failed step ends the function: no later step, its error recorded, the lock released.
TEST_F(DriverTest, IoFailuresOfTheOutputFunctionsStopThereAndReleaseTheLock)
{
    ViSession vi = open(kGpib);
    ASSERT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
    timeline.clear();
    ViInt32 relay = 42;
    ViReal64 value = 7.0;
    device->silentOn("OUTP?"); // no clear either
    EXPECT_TRUE(returned(vi, ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_ERROR_TMO, {"> OUTP?", "timeout 5"}));
    EXPECT_EQ(errorInfo(vi).primary, VI_ERROR_TMO);
    device->silentOn("FREQ?");
    EXPECT_TRUE(returned(vi, ZEV_QX70_QueryOutputFunction(vi, "1", 9, &value), VI_ERROR_TMO, {"> FREQ?", "timeout 5"}));
    ZEV_QX70_ClearErrorInfo(vi);
    device->closeOn("VOLT 100.000000"); // no status check
    EXPECT_TRUE(returned(vi, ZEV_QX70_GenerateACVoltage(vi, "1", 100.0), VI_ERROR_CONN_LOST, {"> VOLT 100.000000"}));
    EXPECT_EQ(errorInfo(vi).primary, VI_ERROR_CONN_LOST);
    EXPECT_EQ(relay, 42);
    EXPECT_DOUBLE_EQ(value, 7.0);
}
