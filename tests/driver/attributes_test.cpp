#include "driver_fixture.h"

#include "ivi/ivi.h"

#include <tuple>

using namespace qx::test;

// Range tables refuse and send nothing; refusals through the functions name the parameter.
TEST_F(DriverTest, RangeTablesAndChannelNamesRefuseAndSendNothing)
{
    device->answer("LIM:FREQ:HIGH?", "6000");
    ViSession vi = open(kGpib, "QueryInstrStatus=0");
    const std::tuple<ViAttr, ViReal64, ViStatus> cases[] = {
        {ZEV_QX70_ATTR_FREQUENCY, 15.9, IVI_ERROR_INVALID_VALUE}, {ZEV_QX70_ATTR_FREQUENCY, 16.0, VI_SUCCESS},
        {ZEV_QX70_ATTR_FREQUENCY, 5000.0, VI_SUCCESS}, {ZEV_QX70_ATTR_FREQUENCY, 5000.1, IVI_ERROR_INVALID_VALUE},
        {ZEV_QX70_ATTR_ACC_AMPLITUDE, 13.34, VI_SUCCESS}, {ZEV_QX70_ATTR_ACC_AMPLITUDE, 13.35, IVI_ERROR_INVALID_VALUE},
        {ZEV_QX70_ATTR_ACV_AMPLITUDE, -0.1, IVI_ERROR_INVALID_VALUE}, {ZEV_QX70_ATTR_ACV_AMPLITUDE, 300.0, VI_SUCCESS},
    };
    for (const auto &[attribute, value, expected] : cases) {
        EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", attribute, value), expected) << value;
        EXPECT_EQ(take().empty(), expected != VI_SUCCESS) << value;
    }
    ViReal64 value = 7.0;
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "2", ZEV_QX70_ATTR_VOLTAGE_LIMIT, &value), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(ZEV_QX70_SetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, "ZE,HACK"),
              IVI_ERROR_ATTR_NOT_WRITABLE);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 301.0), IVI_ERROR_INVALID_VALUE);
    EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER2, "Voltage Range"}));
    // Within the instrument's limits but outside the attribute's range table.
    EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 5500.0), IVI_ERROR_INVALID_VALUE);
    EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER4, "Frequency"}));
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "2", 10.0), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_UNKNOWN_CHANNEL_NAME, VI_ERROR_PARAMETER2, "Voltage Range"}));
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 4, &value), IVI_ERROR_INVALID_VALUE);
    EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER3, "Query Function"}));
    EXPECT_DOUBLE_EQ(value, 7.0);
    EXPECT_TRUE(events().empty());
}

// Six decimals, paced, and a value written once is served from the cache; the relay and the query
// function are the exceptions: never cached, written on every call (a query function written
// through the accessor must ask each time, or its answer would never come).
TEST_F(DriverTest, SettingsAreCachedButTheRelayAndQueryFunctionAreAlwaysWritten)
{
    ViSession vi = open(kSerial, "QueryInstrStatus=0");
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, 120.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, 120.0), VI_SUCCESS);
    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 120.0);
    EXPECT_EQ(take(), (Events{"> VOLT 120.000000\\n", "wait 0.03"}));

    ViBoolean state = VI_FALSE;
    for (ViBoolean relay : {VI_TRUE, VI_FALSE}) {
        device->answer("OUTP?", relay ? "1" : "0");
        EXPECT_EQ(ZEV_QX70_GetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, &state), VI_SUCCESS);
        EXPECT_EQ(state, relay);
    }
    for (ViBoolean relay : {ViBoolean{VI_TRUE}, ViBoolean{VI_TRUE}, ViBoolean{7}})
        EXPECT_EQ(ZEV_QX70_SetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, relay), VI_SUCCESS);
    for (int repeat = 0; repeat < 2; ++repeat)
        EXPECT_EQ(ZEV_QX70_SetAttributeViInt32(vi, "1", ZEV_QX70_ATTR_QUERY_FUNCTION, 9), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> OUTP?\\n", "> OUTP?\\n", "> OUTP 1\\n", "wait 0.03", "> OUTP 1\\n", "wait 0.03",
                                "> OUTP 0\\n", "wait 0.03", "> FREQ?\\n", "> FREQ?\\n"}));
}

// An instrument of unknown model (its identity holds no digit) shows modes 0 and 1 only.
TEST_F(DriverTest, DisplayModeWriteDependsOnTheModel)
{
    const std::tuple<const char *, ViInt32, Events> cases[] = {{"7103QX", 3, {"> DISP:MODE 3", "wait 0.03"}},
                                                               {"QX", 2, {"> DISP:MODE 0", "wait 0.03"}},
                                                               {"QX", 1, {"> DISP:MODE 1", "wait 0.03"}},
                                                               {"QX", 3, {"wait 0.03"}}};
    for (const auto &[model, mode, traffic] : cases) {
        ViSession vi = openModel(kGpib, model, "QueryInstrStatus=0");
        EXPECT_EQ(ZEV_QX70_SetAttributeViInt32(vi, "1", ZEV_QX70_ATTR_DISPLAY_MODE, mode), VI_SUCCESS);
        EXPECT_EQ(take(), traffic) << model << " " << mode;
    }
}

// The current setting is read once; of two numbers the second counts.
TEST_F(DriverTest, CurrentSettingTakesTheLastNumberOfTheAnswer)
{
    ViSession vi = open(kGpib, "QueryInstrStatus=0");
    const std::tuple<const char *, ViStatus, ViReal64> cases[] = {
        {"4.5", VI_SUCCESS, 4.5}, {"9.200,4.5", VI_SUCCESS, 4.5}, {"junk", VI_ERROR_INV_RESPONSE, -1}};
    for (const auto &[answer, status, expected] : cases) {
        ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
        device->answerOnce("CURR?", answer);
        ViReal64 value = -1;
        EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACC_AMPLITUDE, &value), status) << answer;
        EXPECT_DOUBLE_EQ(value, expected) << answer;
        EXPECT_EQ(take(), Events{"> CURR?"}) << answer;
    }
}

TEST_F(DriverTest, DirectUserAccessRunsTheStatusCheckItself)
{
    ViSession vi = open(kGpib);
    device->answerOnce("SYST:ERR?", "-222,\"Data out of range\"");
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, 250.0), IVI_ERROR_INSTRUMENT_STATUS);
    EXPECT_EQ(events(), concat({{"> VOLT 250.000000", "wait 0.03"}, statusCheck()}));
    EXPECT_EQ(errorInfo(vi).primary, IVI_ERROR_INSTRUMENT_STATUS);
}
