#include "driver_fixture.h"
#include "lock_probe.h"

#include "ivi/ivi.h"

#include <string>

using namespace qx::test;

TEST_F(DriverTest, DisplayModeAboveFiveIsRefusedWithoutIo)
{
    ViSession vi = open(kGpib);
    EXPECT_EQ(ZEV_QX70_DisplayMode(vi, "1", 6), ZEV_QX70_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(errorInfo(vi).primary, VI_SUCCESS);
    EXPECT_TRUE(lockableFromAnotherThread(vi));
    EXPECT_EQ(ZEV_QX70_DisplayMode(vi, "1", 5), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_DisplayMode(vi, "1", -1), VI_SUCCESS); // not refused by the driver
    EXPECT_EQ(events(), concat({{"> DISP:MODE 5", "wait 0.03"}, statusCheck(), {"> DISP:MODE -1", "wait 0.03"},
                                statusCheck()}));
    EXPECT_EQ(ZEV_QX70_DisplayMode(vi, "2", 1), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    ErrorInfo info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
    EXPECT_EQ(info.elaboration, "Display On or Off");
}

TEST_F(DriverTest, DisplayModeQueryOverTheSerialLineIsPacedThenClears)
{
    ViSession vi = open(kSerial);
    device->answer("DISP:MODE?", "3");
    ViInt32 mode = 0;
    EXPECT_EQ(ZEV_QX70_DisplayModeQuery(vi, "1", &mode), VI_SUCCESS);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(events(), concat({{"> DISP:MODE?\\n", "wait 0.05", "wait 0.05", "> *CLS\\n", "wait 0.03"},
                                statusCheck(true), {"wait 0.05"}}));
    EXPECT_EQ(ZEV_QX70_DisplayModeQuery(vi, "1", nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(vi).secondary, VI_ERROR_PARAMETER3);
}

TEST_F(DriverTest, RegisterCommandsCarryTheNumberAndCheckOnlyWhenDue)
{
    ViSession gpib = open(kGpib);
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(gpib, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SaveRegister(gpib, "1", 3), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> *SAV 3", "wait 0.03"}, statusCheck()}));

    ViSession serial = open(kSerial);
    EXPECT_EQ(ZEV_QX70_RecallRegister(serial, "1", 4), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_PowerOnRegister(serial, "1", -2), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> *RCL 4\\n", "wait 0.03", "> SYST:PON -2\\n", "wait 0.03"}));

    timeline.clear();
    device->closeOn("*SAV 9");
    EXPECT_LT(ZEV_QX70_SaveRegister(serial, "1", 9), 0);
    EXPECT_EQ(events(), Events{"> *SAV 9\\n"});
    EXPECT_TRUE(lockableFromAnotherThread(serial));
}

TEST_F(DriverTest, PowerOnQueryReadsTheRegister)
{
    ViSession vi = open(kSerial);
    device->answer("SYST:PON?", "7");
    ViInt32 reg = 0;
    EXPECT_EQ(ZEV_QX70_PowerOnQuery(vi, "1", &reg), VI_SUCCESS);
    EXPECT_EQ(reg, 7);
    EXPECT_EQ(events(), Events{"> SYST:PON?\\n"});
    device->answer("SYST:PON?", "seven");
    EXPECT_EQ(ZEV_QX70_PowerOnQuery(vi, "1", &reg), VI_ERROR_INV_RESPONSE);
    EXPECT_EQ(reg, 7);
    EXPECT_EQ(ZEV_QX70_PowerOnQuery(vi, "1", nullptr), IVI_ERROR_INVALID_PARAMETER);
}

TEST_F(DriverTest, InitialConfigurationSetsRangeVoltageFrequencyRelayThenRegisterSeven)
{
    ViSession vi = open(kSerial);
    EXPECT_EQ(ZEV_QX70_LoadInitialConfiguration(vi, 2.0, 50.0, 120.0, 1), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> VOLT:RANG 300.000000\\n", "wait 0.03"}, statusCheck(true),
                                {"> VOLT 120.000000\\n", "wait 0.03"}, statusCheck(true),
                                {"> FREQ 50.000000\\n", "wait 0.03"}, statusCheck(true),
                                {"> OUTP 1\\n", "wait 0.03"}, statusCheck(true),
                                {"> *SAV 7\\n", "wait 0.03", "> SYST:PON 7\\n", "wait 0.03", "wait 0.05"}}));
}

TEST_F(DriverTest, InitialConfigurationGoesOnPastARefusedVoltage)
{
    ViSession vi = open(kGpib);
    EXPECT_EQ(ZEV_QX70_LoadInitialConfiguration(vi, 1.0, 60.0, 200.0, 0), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> VOLT:RANG 150.000000", "wait 0.03"}, statusCheck(), {"> FREQ 60.000000", "wait 0.03"},
                                statusCheck(), {"> OUTP 0", "wait 0.03"}, statusCheck(),
                                {"> *SAV 7", "wait 0.03", "> SYST:PON 7", "wait 0.03", "wait 0.05"}}));

    ViSession simulated = open(kGpib, "Simulate=1");
    EXPECT_EQ(ZEV_QX70_LoadInitialConfiguration(simulated, 2.0, 50.0, 120.0, 1), VI_SUCCESS);
    EXPECT_EQ(events(), Events{"wait 0.05"});
}

TEST_F(DriverTest, SerialNumberIsQuotedSafely)
{
    ViSession vi = open(kSerial);
    EXPECT_EQ(ZEV_QX70_LoadSerialNumber(vi, "1", "QX'7%d"), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> SYST:SNUM 'QX''7%d'\\n", "wait 0.03", "> *CLS\\n", "wait 0.03"}, statusCheck(true),
                                {"wait 0.05"}}));
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_LoadSerialNumber(vi, "1", std::string(64, '9').c_str()), VI_SUCCESS);
    EXPECT_EQ(timeline.writes().front(), "SYST:SNUM '" + std::string(64, '9') + "'\n");
}

TEST_F(DriverTest, SerialNumberTooLongOrWithControlCharactersIsRefused)
{
    ViSession vi = open(kGpib);
    const std::string tooLong(65, '1');
    struct Case {
        const char *text;
        const char *elaboration;
    };
    const Case cases[] = {{tooLong.c_str(), "Serial Number longer than 64 characters"},
                          {"SN1\nSYST:PON 0", "Serial Number holds a control character"},
                          {"SN1\r", "Serial Number holds a control character"},
                          {"SN\x7f", "Serial Number holds a control character"}};
    for (const Case &c : cases) {
        EXPECT_EQ(ZEV_QX70_LoadSerialNumber(vi, "1", c.text), IVI_ERROR_INVALID_VALUE);
        ErrorInfo info = errorInfo(vi);
        EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
        EXPECT_EQ(info.elaboration, c.elaboration);
        EXPECT_TRUE(lockableFromAnotherThread(vi));
    }
    EXPECT_EQ(ZEV_QX70_LoadSerialNumber(vi, "1", nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(events().empty());
}

TEST_F(DriverTest, SerialIdReadsTheNumberAtPositionEight)
{
    ViSession vi = open(kSerial);
    device->answerOnce("*IDN?", "ZE,7101,12345,1.02");
    ViInt32 id = 0;
    EXPECT_EQ(ZEV_QX70_Serial_ID(vi, &id), VI_SUCCESS);
    EXPECT_EQ(id, 12345);
    EXPECT_EQ(events(), (Events{"> *IDN?\\n", "wait 0.05", "wait 0.03"}));

    // No digits there, an answer that ends before, or a number too big for 32 bits: no change, no error.
    for (const char *answer : {"ZE,7103QX,SN000123,1.02", "ZE,7101", "", "ZE,7101,99999999999,1"}) {
        device->answerOnce("*IDN?", answer);
        EXPECT_EQ(ZEV_QX70_Serial_ID(vi, &id), VI_SUCCESS) << answer;
        EXPECT_EQ(id, 12345) << answer;
    }
    EXPECT_EQ(ZEV_QX70_Serial_ID(vi, nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(vi).secondary, VI_ERROR_PARAMETER2);
}

TEST_F(DriverTest, ModelNumberIsTheFieldAfterTheMaker)
{
    ViSession vi = open(kGpib);
    struct Case {
        const char *answer;
        const char *model;
    };
    const Case cases[] = {{"ze,7103QX,SN1,1.0", "7103QX"}, // maker in lower case
                          {"XY7101QX,SN1,1.0", "7101QX"},  // no "ZE,": from position 2
                          {"ZE,7101QX", "7101QX"},        // last field: the line end is not part of it
                          {"Z", ""},                      // shorter than the start position
                          {"ZE,", ""}};
    for (const Case &c : cases) {
        device->answerOnce("*IDN?", c.answer);
        ViChar model[512] = "untouched";
        EXPECT_EQ(ZEV_QX70_Model_Number(vi, model), VI_SUCCESS) << c.answer;
        EXPECT_STREQ(model, c.model) << c.answer;
    }
    timeline.clear();
    ViChar model[512];
    EXPECT_EQ(ZEV_QX70_Model_Number(vi, model), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> *IDN?", "wait 0.03"}));
    device->answerOnce("*IDN?", "ZE," + std::string(600, 'M'));
    EXPECT_EQ(ZEV_QX70_Model_Number(vi, model), VI_SUCCESS);
    EXPECT_EQ(std::string(model), std::string(508, 'M')); // 511 bytes read, 3 of them "ZE,"
    EXPECT_EQ(ZEV_QX70_Model_Number(vi, nullptr), IVI_ERROR_INVALID_PARAMETER);
}

TEST_F(DriverTest, SerialNumberIsTheThirdField)
{
    ViSession vi = open(kSerial);
    ViChar serial[257] = {};
    EXPECT_EQ(ZEV_QX70_Serial_Number(vi, serial), VI_SUCCESS);
    EXPECT_STREQ(serial, "SN000123");
    EXPECT_EQ(events(), (Events{"> *IDN?\\n", "wait 0.05", "wait 0.03"}));

    for (const std::string &answer : {std::string("ZE,7103QX"), "ZE,7103QX," + std::string(300, 'S') + ",1.0"}) {
        device->answerOnce("*IDN?", answer);
        EXPECT_EQ(ZEV_QX70_Serial_Number(vi, serial), VI_ERROR_INV_RESPONSE);
        EXPECT_STREQ(serial, "SN000123");
    }
    device->silentOn("*IDN?");
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_Serial_Number(vi, serial), VI_ERROR_TMO);
    EXPECT_EQ(events(), (Events{"> *IDN?\\n", "wait 0.05", "timeout 10"}));
    EXPECT_TRUE(lockableFromAnotherThread(vi));
}

TEST_F(DriverTest, IdentityAndRegisterQueriesInSimulationLeaveTheirOutputs)
{
    ViSession vi = open(kGpib, "Simulate=1");
    ViInt32 reg = 5, id = 6;
    ViChar model[512] = "model";
    ViChar serial[257] = "serial";
    EXPECT_EQ(ZEV_QX70_PowerOnQuery(vi, "1", &reg), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_Serial_ID(vi, &id), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_Model_Number(vi, model), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_Serial_Number(vi, serial), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SaveRegister(vi, "1", 1), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_LoadSerialNumber(vi, "1", "SN9"), VI_SUCCESS);
    EXPECT_EQ(reg, 5);
    EXPECT_EQ(id, 6);
    EXPECT_STREQ(model, "model");
    EXPECT_STREQ(serial, "serial");
    EXPECT_TRUE(device->messages().empty());
    // Serial_ID, Model_Number, Serial_Number and SaveRegister settle; LoadSerialNumber settles and clears.
    EXPECT_EQ(events(), (Events{"wait 0.03", "wait 0.03", "wait 0.03", "wait 0.03", "wait 0.03", "wait 0.03",
                                "wait 0.05"}));
}
