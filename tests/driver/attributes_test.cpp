#include "driver_fixture.h"

#include "ivi/ivi.h"

using namespace qx::test;

TEST_F(DriverTest, RangeTablesRefuseValuesOutsideTheirBoundsAndSendNothing)
{
    ViSession vi = open(kGpib, "QueryInstrStatus=0");
    struct Case {
        ViAttr attribute;
        ViReal64 value;
        ViStatus expected;
    };
    const Case cases[] = {
        {ZEV_QX70_ATTR_FREQUENCY, 15.9, IVI_ERROR_INVALID_VALUE},  {ZEV_QX70_ATTR_FREQUENCY, 16.0, VI_SUCCESS},
        {ZEV_QX70_ATTR_FREQUENCY, 5000.0, VI_SUCCESS},             {ZEV_QX70_ATTR_FREQUENCY, 5000.1, IVI_ERROR_INVALID_VALUE},
        {ZEV_QX70_ATTR_ACC_AMPLITUDE, 13.34, VI_SUCCESS},          {ZEV_QX70_ATTR_ACC_AMPLITUDE, 13.35, IVI_ERROR_INVALID_VALUE},
        {ZEV_QX70_ATTR_ACV_AMPLITUDE, -0.1, IVI_ERROR_INVALID_VALUE}, {ZEV_QX70_ATTR_ACV_AMPLITUDE, 300.0, VI_SUCCESS},
    };
    for (const Case &c : cases) {
        timeline.clear();
        EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", c.attribute, c.value), c.expected) << c.value;
        EXPECT_EQ(timeline.writes().empty(), c.expected != VI_SUCCESS) << c.value;
    }
}

TEST_F(DriverTest, SettingsGoOutOnceWithSixDecimalsAndArePaced)
{
    ViSession vi = open(kSerial, "QueryInstrStatus=0");
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, 120.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, 120.0), VI_SUCCESS); // cached
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_FREQUENCY, 60.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACC_AMPLITUDE, 2.5), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> VOLT 120.000000\\n", "wait 0.03", "> FREQ 60.000000\\n", "wait 0.03",
                                "> CURR 2.500000\\n", "wait 0.03"}));
    ViReal64 value = 0;
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 120.0);
    EXPECT_TRUE(events().empty()); // served from the cache
}

TEST_F(DriverTest, PerChannelAttributesRefuseOtherChannelNames)
{
    ViSession vi = open(kGpib);
    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "2", ZEV_QX70_ATTR_VOLTAGE_LIMIT, &value),
              IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(ZEV_QX70_SetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, "ZE,HACK"),
              IVI_ERROR_ATTR_NOT_WRITABLE);
}

TEST_F(DriverTest, VoltageRangeSelectorBecomesVoltsOfTheLimit)
{
    ViSession vi = open(kSerial, "QueryInstrStatus=0");
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_VOLTAGE_RANGE, 1.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_VOLTAGE_RANGE, 2.0), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> VOLT:RANG 150.000000\\n", "wait 0.03", "> VOLT:RANG 300.000000\\n", "wait 0.03"}));
}

TEST_F(DriverTest, OutputRelayIsNeverCached)
{
    ViSession vi = open(kGpib, "QueryInstrStatus=0");
    device->answer("OUTP?", "1");
    ViBoolean state = VI_FALSE;
    EXPECT_EQ(ZEV_QX70_GetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, &state), VI_SUCCESS);
    EXPECT_EQ(state, VI_TRUE);
    device->answer("OUTP?", "0");
    EXPECT_EQ(ZEV_QX70_GetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, &state), VI_SUCCESS);
    EXPECT_EQ(state, VI_FALSE);
    EXPECT_EQ(ZEV_QX70_SetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, 7), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> OUTP?", "> OUTP?", "> OUTP 1", "wait 0.03", "> OUTP 1", "wait 0.03", "> OUTP 0",
                                "wait 0.03"}));
}

TEST_F(DriverTest, DisplayModeWriteDependsOnTheModel)
{
    ViSession vi = open(kGpib, "QueryInstrStatus=0");
    EXPECT_EQ(ZEV_QX70_SetAttributeViInt32(vi, "1", ZEV_QX70_ATTR_DISPLAY_MODE, 3), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> DISP:MODE 3", "wait 0.03"}));

    zev::driverState().modelNumber = 0; // an instrument of unknown model
    for (ViInt32 mode : {2, 1, 3}) {
        timeline.clear();
        EXPECT_EQ(ZEV_QX70_SetAttributeViInt32(vi, "1", ZEV_QX70_ATTR_DISPLAY_MODE, mode), VI_SUCCESS);
        const Events expected = mode == 2 ? Events{"> DISP:MODE 0", "wait 0.03"}
                                : mode == 1 ? Events{"> DISP:MODE 1", "wait 0.03"}
                                            : Events{"wait 0.03"};
        EXPECT_EQ(events(), expected) << mode;
    }
}

TEST_F(DriverTest, CurrentSettingTakesTheLastNumberOfTheAnswer)
{
    ViSession vi = open(kGpib, "QueryInstrStatus=0");
    struct Case {
        const char *answer;
        ViStatus status;
        ViReal64 value;
    };
    const Case cases[] = {{"4.5", VI_SUCCESS, 4.5}, {"9.200,4.5", VI_SUCCESS, 4.5}, {"junk", VI_ERROR_INV_RESPONSE, -1}};
    for (const Case &c : cases) {
        ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
        device->answerOnce("CURR?", c.answer);
        ViReal64 value = -1;
        EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACC_AMPLITUDE, &value), c.status) << c.answer;
        EXPECT_DOUBLE_EQ(value, c.value) << c.answer;
    }
}

TEST_F(DriverTest, DriverRevisionAndVersionAttributes)
{
    ViSession vi = open(kGpib);
    ViChar text[256] = {};
    EXPECT_GE(ZEV_QX70_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_SPECIFIC_DRIVER_REVISION, sizeof text, text), 0);
    EXPECT_STREQ(text, "Driver: ZEV_QX70 1.0, Compiler: CVI 5.50, Components: IVIEngine 2.0, VISA-Spec 3.00");
    ViInt32 major = -1;
    EXPECT_EQ(ZEV_QX70_GetAttributeViInt32(vi, VI_NULL, ZEV_QX70_ATTR_SPECIFIC_DRIVER_MAJOR_VERSION, &major),
              VI_SUCCESS);
    EXPECT_EQ(major, 1);
}

TEST_F(DriverTest, DirectUserAccessRunsTheStatusCheckItself)
{
    ViSession vi = open(kGpib);
    device->answerOnce("SYST:ERR?", "-222,\"Data out of range\"");
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_ACV_AMPLITUDE, 250.0), IVI_ERROR_INSTRUMENT_STATUS);
    EXPECT_EQ(events(), concat({{"> VOLT 250.000000", "wait 0.03"}, statusCheck()}));
    EXPECT_EQ(errorInfo(vi).primary, IVI_ERROR_INSTRUMENT_STATUS);
}
