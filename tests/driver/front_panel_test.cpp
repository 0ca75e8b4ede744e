#include "driver_fixture.h"

#include "ivi/ivi.h"

#include <cstring>
#include <memory>
#include <string>

using namespace qx::test;

// Mode 6 is refused; other numbers go out as they are; the query is paced on the serial line and
// clears. Register commands carry their number and check only when due.
TEST_F(DriverTest, DisplayModeAndRegisterCommands)
{
    ViSession vi = open(kSerial);
    EXPECT_TRUE(returned(vi, ZEV_QX70_DisplayMode(vi, "1", 6), ZEV_QX70_ERROR_NOT_SUPPORTED));
    EXPECT_EQ(errorInfo(vi).primary, VI_SUCCESS);
    EXPECT_TRUE(returned(vi, ZEV_QX70_DisplayMode(vi, "1", 5), VI_SUCCESS, setting("DISP:MODE 5", true)));
    EXPECT_TRUE(returned(vi, ZEV_QX70_DisplayMode(vi, "1", -1), VI_SUCCESS, setting("DISP:MODE -1", true)));
    EXPECT_EQ(ZEV_QX70_DisplayMode(vi, "2", 1), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_UNKNOWN_CHANNEL_NAME, VI_ERROR_PARAMETER3, "Display On or Off"}));
    device->answer("DISP:MODE?", "3");
    ViInt32 value = 0;
    EXPECT_TRUE(returned(vi, ZEV_QX70_DisplayModeQuery(vi, "1", &value), VI_SUCCESS,
                         concat({{"> DISP:MODE?\\n", "wait 0.05", "wait 0.05"}, checkAndClear(true), {"wait 0.05"}})));
    EXPECT_EQ(value, 3);

    // A register command always asks for the instrument's verdict: a register it does not have is
    // refused, and the refusal is the call's result.
    EXPECT_TRUE(returned(vi, ZEV_QX70_RecallRegister(vi, "1", 4), VI_SUCCESS, setting("*RCL 4", true)));
    EXPECT_TRUE(returned(vi, ZEV_QX70_PowerOnRegister(vi, "1", -2), VI_SUCCESS, setting("SYST:PON -2", true)));
    device->answer("SYST:PON?", "7");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PowerOnQuery(vi, "1", &value), VI_SUCCESS, {"> SYST:PON?\\n"}));
    EXPECT_EQ(value, 7);
    device->answer("SYST:PON?", "seven");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PowerOnQuery(vi, "1", &value), VI_ERROR_INV_RESPONSE, {"> SYST:PON?\\n"}));
    EXPECT_EQ(value, 7);
    ZEV_QX70_ClearErrorInfo(vi);
    device->answerOnce("SYST:ERR?", "-222,\"Data out of range\"");
    EXPECT_TRUE(returned(vi, ZEV_QX70_SaveRegister(vi, "1", 99), IVI_ERROR_INSTRUMENT_STATUS, setting("*SAV 99", true)));
    EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_INSTRUMENT_STATUS, 0, "-222,\"Data out of range\""}));

    vi = open(kGpib);
    EXPECT_TRUE(returned(vi, ZEV_QX70_SaveRegister(vi, "1", 3), VI_SUCCESS, setting("*SAV 3")));
    device->closeOn("*SAV 9");
    EXPECT_TRUE(returned(vi, ZEV_QX70_SaveRegister(vi, "1", 9), VI_ERROR_CONN_LOST, {"> *SAV 9"}));
}

// Range, voltage, frequency and relay, then register 7 saved and made the power-on register. The
// first refused or failing step ends it and nothing is saved: the power-on state never becomes a
// configuration nobody asked for.
TEST_F(DriverTest, InitialConfigurationOrderAndItsFirstFailure)
{
    ViSession vi = open(kSerial);
    EXPECT_TRUE(returned(vi, ZEV_QX70_LoadInitialConfiguration(vi, 2.0, 50.0, 120.0, 1), VI_SUCCESS,
                         concat({setting("VOLT:RANG 300.000000", true), setting("VOLT 120.000000", true),
                                 setting("FREQ 50.000000", true), setting("OUTP 1", true),
                                 setting("*SAV 7", true), setting("SYST:PON 7", true), {"wait 0.05"}})));
    vi = open(kGpib);
    EXPECT_TRUE(returned(vi, ZEV_QX70_LoadInitialConfiguration(vi, 1.0, 60.0, 200.0, 0),
                         ZEV_QX70_ERROR_OVER_VOLTAGE, setting("VOLT:RANG 150.000000")));
    // The range is cached from here on: only its status check remains.
    EXPECT_TRUE(returned(vi, ZEV_QX70_LoadInitialConfiguration(vi, 1.0, 600.0, 100.0, 0),
                         ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS, concat({statusCheck(), setting("VOLT 100.000000")})));
    device->closeOn("*SAV 7");
    EXPECT_TRUE(returned(vi, ZEV_QX70_LoadInitialConfiguration(vi, 1.0, 60.0, 100.0, 1), VI_ERROR_CONN_LOST,
                         concat({statusCheck(), setting("FREQ 60.000000"), setting("OUTP 1"),
                                 {"> *SAV 7"}})));
}

// A quote is doubled, a percent sign sent as it is; a control character or more than 64
// characters is refused, sending nothing.
TEST_F(DriverTest, SerialNumberIsQuotedSafelyOrRefused)
{
    ViSession vi = open(kSerial);
    const std::pair<std::string, std::string> accepted[] = {{"QX'7%d", "QX''7%d"},
                                                            {std::string(64, '9'), std::string(64, '9')}};
    for (const auto &[text, quoted] : accepted) {
        EXPECT_TRUE(returned(vi, ZEV_QX70_LoadSerialNumber(vi, "1", text.c_str()), VI_SUCCESS,
                             concat({{"> SYST:SNUM '" + quoted + "'\\n", "wait 0.03"}, checkAndClear(true),
                                     {"wait 0.05"}})));
    }

    const std::string tooLong(65, '1');
    const std::pair<const char *, const char *> refused[] = {
        {tooLong.c_str(), "Serial Number longer than 64 characters"},
        {"SN1\nSYST:PON 0", "Serial Number holds a control character"},
        {"SN1\r", "Serial Number holds a control character"},
        {"SN\x7f", "Serial Number holds a control character"}};
    for (const auto &[text, elaboration] : refused) {
        EXPECT_TRUE(returned(vi, ZEV_QX70_LoadSerialNumber(vi, "1", text), IVI_ERROR_INVALID_VALUE)) << elaboration;
        EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER3, elaboration}));
    }
}

// Serial_ID: the number at position 8, unchanged when there is none (no digits, an answer that
// ends before, a number too big for 32 bits). Serial_Number: the third field, refused when
// missing or too long. Both settle after the answer, and a silent instrument times out.
TEST_F(DriverTest, SerialIdAndSerialNumberComeFromTheIdentity)
{
    ViSession vi = open(kSerial);
    const Events query{"> *IDN?\\n", "wait 0.05", "wait 0.03"};
    device->answerOnce("*IDN?", "ZE,7101,12345,1.02");
    ViInt32 id = 0;
    EXPECT_TRUE(returned(vi, ZEV_QX70_Serial_ID(vi, &id), VI_SUCCESS, query));
    EXPECT_EQ(id, 12345);
    for (const char *answer : {"ZE,7103QX,SN000123,1.02", "ZE,7101", "", "ZE,7101,99999999999,1"}) {
        device->answerOnce("*IDN?", answer);
        EXPECT_EQ(ZEV_QX70_Serial_ID(vi, &id), VI_SUCCESS) << answer;
        EXPECT_EQ(id, 12345) << answer;
    }
    timeline.clear();
    ViChar serial[257] = {};
    EXPECT_TRUE(returned(vi, ZEV_QX70_Serial_Number(vi, serial), VI_SUCCESS, query));
    EXPECT_STREQ(serial, "SN000123");
    for (const std::string &answer : {std::string("ZE,7103QX"), "ZE,7103QX," + std::string(300, 'S') + ",1.0"}) {
        device->answerOnce("*IDN?", answer);
        EXPECT_EQ(ZEV_QX70_Serial_Number(vi, serial), VI_ERROR_INV_RESPONSE);
        EXPECT_STREQ(serial, "");
    }
    device->silentOn("*IDN?");
    timeline.clear();
    EXPECT_TRUE(returned(vi, ZEV_QX70_Serial_Number(vi, serial), VI_ERROR_TMO, {"> *IDN?\\n", "wait 0.05", "timeout 10"}));
}

// Another maker's answer (no "ZE,") is a failed identification with an empty model. The buffer is
// exactly the 512 bytes the header states, on the heap, for the address sanitizer.
TEST_F(DriverTest, ModelNumberIsTheFieldAfterTheMaker)
{
    ViSession vi = open(kGpib);
    const std::pair<std::string, std::string> cases[] = {
        {"ze,7103QX,SN1,1.0", "7103QX"},              // maker in lower case
        {"ZE,7101QX", "7101QX"},                      // last field: the line end is not part of it
        {"ZE,", ""},
        {"ZE," + std::string(600, 'M'), std::string(508, 'M')}, // 511 bytes read, 3 of them "ZE,"
        {"XY7101QX,SN1,1.0", "!"},
        {"Z", "!"},
    };
    const auto buffer = std::make_unique<ViChar[]>(512);
    ViChar *model = buffer.get();
    for (const auto &[answer, expected] : cases) {
        device->answerOnce("*IDN?", answer);
        std::strcpy(model, "untouched");
        if (expected == "!") {
            EXPECT_TRUE(returned(vi, ZEV_QX70_Model_Number(vi, model), VI_ERROR_FAIL_ID_QUERY, {"> *IDN?"})) << answer;
            EXPECT_EQ(errorInfo(vi), (ErrorInfo{VI_ERROR_FAIL_ID_QUERY, 0, ""})) << answer;
            EXPECT_STREQ(model, "") << answer;
        } else {
            EXPECT_TRUE(returned(vi, ZEV_QX70_Model_Number(vi, model), VI_SUCCESS, {"> *IDN?", "wait 0.03"})) << answer;
            EXPECT_EQ(model, expected) << answer;
        }
    }
}
