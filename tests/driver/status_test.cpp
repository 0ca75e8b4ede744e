#include "driver_fixture.h"

#include "ivi/ivi.h"
#include "status.h"

#include <cstring>
#include <thread>

using namespace qx::test;

TEST_F(DriverTest, AnyNonZeroInstrumentErrorFailsTheStatusCheck)
{
    ViSession vi = open(kGpib);
    const struct {
        const char *answer;
        ViStatus expected;
    } cases[] = {
        {"0,\"No error\"", VI_SUCCESS},
        {"-113,\"Undefined header\"", IVI_ERROR_INSTRUMENT_STATUS},
        {"-256,\"File name not found\"", IVI_ERROR_INSTRUMENT_STATUS},
        {"1,\"Device error\"", IVI_ERROR_INSTRUMENT_STATUS},
        {"64,\"Overload\"", IVI_ERROR_INSTRUMENT_STATUS},
    };
    for (const auto &c : cases) {
        device->answerOnce("SYST:ERR?", c.answer);
        ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_TRUE), VI_SUCCESS);
        EXPECT_EQ(ZEV_QX70_CheckStatus(vi), c.expected) << c.answer;
        // A failed check stays due; a passed one is done.
        EXPECT_EQ(Ivi_NeedToCheckStatus(vi), c.expected == VI_SUCCESS ? VI_FALSE : VI_TRUE) << c.answer;
    }
}

TEST_F(DriverTest, StatusCheckIsSkippedWhenOffOrNotDue)
{
    ViSession quiet = open(kGpib, "QueryInstrStatus=0");
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(quiet, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_CheckStatus(quiet), VI_SUCCESS);
    ViSession vi = open(kGpib);
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_CheckStatus(vi), VI_SUCCESS);
    EXPECT_TRUE(events().empty());
}

TEST_F(DriverTest, AFailedErrorQueryReturnsTheIoStatusAndStaysDue)
{
    ViSession vi = open(kGpib);
    device->silentOn("SYST:ERR?");
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_CheckStatus(vi), VI_ERROR_TMO);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    EXPECT_EQ(events(), (Events{"> SYST:ERR?", "wait 0.05", "timeout 5"}));
}

TEST_F(DriverTest, ResetSendsItsSequenceThenClearsAndChecks)
{
    ViSession vi = open(kSerial);
    EXPECT_EQ(ZEV_QX70_reset(vi), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> SYST:REM\\n", "wait 0.03", "> *CLS\\n", "wait 0.03", "> SYST:REM\\n", "wait 0.03",
                                 "> *RST\\n", "wait 0.03", "> *CLS\\n", "wait 0.03"},
                                statusCheck(true), {"wait 0.03"}}));
}

TEST_F(DriverTest, ResetStopsAtTheFirstFailedCommandAndReleasesTheLock)
{
    ViSession vi = open(kGpib);
    device->closeOn("*CLS");
    EXPECT_LT(ZEV_QX70_reset(vi), 0);
    EXPECT_EQ(events(), (Events{"> SYST:REM", "wait 0.03", "> *CLS"}));
    // Another thread can take the lock now.
    ViStatus fromThread = -1;
    std::thread([&] {
        ViBoolean has = VI_FALSE;
        fromThread = ZEV_QX70_LockSession(vi, &has);
        ZEV_QX70_UnlockSession(vi, &has);
    }).join();
    EXPECT_EQ(fromThread, VI_SUCCESS);
}

TEST_F(DriverTest, ErrorQueryReadsNumberAndText)
{
    ViSession vi = open(kSerial);
    device->answerOnce(":SYST:ERR?", "-113,\"Undefined header\"");
    ViInt32 code = 0;
    ViChar message[257] = {};
    EXPECT_EQ(ZEV_QX70_error_query(vi, &code, message), VI_SUCCESS);
    EXPECT_EQ(code, -113);
    EXPECT_STREQ(message, "Undefined header");
    EXPECT_EQ(events(), Events{"> :SYST:ERR?\\n"}); // no wait, no status check
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);

    device->answerOnce(":SYST:ERR?", "0,\"" + std::string(400, 'x') + "\"");
    EXPECT_EQ(ZEV_QX70_error_query(vi, &code, message), VI_SUCCESS);
    EXPECT_EQ(std::strlen(message), 256u);

    EXPECT_EQ(ZEV_QX70_error_query(vi, nullptr, message), IVI_ERROR_INVALID_PARAMETER);
    ErrorInfo info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER2);
    EXPECT_EQ(info.elaboration, "Null address for Error Code");
    EXPECT_EQ(ZEV_QX70_error_query(vi, &code, nullptr), IVI_ERROR_INVALID_PARAMETER);
    info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
    EXPECT_EQ(info.elaboration, "Null address for Error Message");
}

TEST_F(DriverTest, GarbageErrorAnswerIsAnErrorAndLeavesTheOutputs)
{
    ViSession vi = open(kGpib);
    device->answerOnce(":SYST:ERR?", "garbage");
    ViInt32 code = 42;
    ViChar message[257] = "untouched";
    EXPECT_LT(ZEV_QX70_error_query(vi, &code, message), 0);
    EXPECT_EQ(code, 42);
    EXPECT_STREQ(message, "untouched");
}

TEST_F(DriverTest, StatusRegisterAndRevisionQuery)
{
    ViSession vi = open(kGpib);
    device->answer("*STB?", "68");
    ViInt32 stb = 0;
    EXPECT_EQ(ZEV_QX70_StatusRegister(vi, &stb), VI_SUCCESS);
    EXPECT_EQ(stb, 68);
    EXPECT_EQ(ZEV_QX70_StatusRegister(vi, nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(vi).secondary, VI_ERROR_PARAMETER2);

    timeline.clear();
    ViChar driverRev[256] = {};
    ViChar instrRev[257] = {};
    EXPECT_EQ(ZEV_QX70_revision_query(vi, driverRev, instrRev), VI_SUCCESS);
    EXPECT_STREQ(driverRev, "Driver: ZEV_QX70 1.0, Compiler: CVI 5.50, Components: IVIEngine 2.0, VISA-Spec 3.00");
    EXPECT_STREQ(instrRev, "1.02");
    EXPECT_EQ(events(), concat({{"> *IDN?"}, statusCheck()}));
    EXPECT_EQ(ZEV_QX70_revision_query(vi, nullptr, instrRev), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(vi).elaboration, "Null address for Driver Revision");
    EXPECT_EQ(ZEV_QX70_revision_query(vi, driverRev, nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(vi).elaboration, "Null address for Instrument Revision");
}

TEST_F(DriverTest, UtilitiesInSimulationDoNoIo)
{
    ViSession vi = open(kGpib, "Simulate=1");
    ViInt32 code = 5;
    ViChar message[257] = {};
    EXPECT_EQ(ZEV_QX70_error_query(vi, &code, message), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(message, "No error.");
    ViInt32 stb = 5;
    EXPECT_EQ(ZEV_QX70_StatusRegister(vi, &stb), VI_SUCCESS);
    EXPECT_EQ(stb, 0);
    ViChar driverRev[256] = {};
    EXPECT_EQ(ZEV_QX70_revision_query(vi, driverRev, message), VI_SUCCESS);
    EXPECT_STREQ(message, "No revision information available while simulating.");
    EXPECT_EQ(ZEV_QX70_reset(vi), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"wait 0.03", "wait 0.03"}));
}

TEST_F(DriverTest, ErrorMessageTranslatesWithOrWithoutASession)
{
    ViChar message[256] = {};
    EXPECT_EQ(ZEV_QX70_error_message(VI_NULL, ZEV_QX70_ERROR_OVER_VOLTAGE, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Over-voltage detected.");
    EXPECT_EQ(ZEV_QX70_error_message(VI_NULL, IVI_CLASS_ERROR_BASE + 0x0F, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Waveform in use.");
    for (ViStatus code : {ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS, ZEV_QX70_ERROR_NOT_SUPPORTED, VI_ERROR_TMO}) {
        message[0] = '\0';
        EXPECT_EQ(ZEV_QX70_error_message(VI_NULL, code, message), VI_SUCCESS);
        EXPECT_GT(std::strlen(message), 0u);
    }
    EXPECT_EQ(ZEV_QX70_error_message(VI_NULL, VI_SUCCESS, nullptr), IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(VI_NULL).elaboration, "Null address for Error Message");
    ViSession vi = open(kGpib);
    EXPECT_EQ(ZEV_QX70_error_message(vi, ZEV_QX70_WARN_CURRENT_DECREASED, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Current decreased to satisfy voltage requirements.");
    EXPECT_EQ(ZEV_QX70_error_message(424242, ZEV_QX70_ERROR_OVER_CURRENT, message), IVI_ERROR_INVALID_SESSION_HANDLE);
}

TEST(DriverHandles, EveryFunctionRefusesNullClosedAndMadeUpHandles)
{
    for (ViSession vi : {ViSession{VI_NULL}, ViSession{0x7fff1234}}) {
        ViInt32 i = 0;
        ViReal64 r = 0;
        ViBoolean b = 0;
        ViSession s = 0;
        ViChar text[512] = {};
        const ViStatus bad = IVI_ERROR_INVALID_SESSION_HANDLE;
        EXPECT_EQ(ZEV_QX70_reset(vi), bad);
        EXPECT_EQ(ZEV_QX70_error_query(vi, &i, text), bad);
        EXPECT_EQ(ZEV_QX70_StatusRegister(vi, &i), bad);
        EXPECT_EQ(ZEV_QX70_revision_query(vi, text, text), bad);
        EXPECT_EQ(ZEV_QX70_RemoteOnOff(vi, "1", 1), bad);
        EXPECT_EQ(ZEV_QX70_GetAttributeViInt32(vi, "1", ZEV_QX70_ATTR_DISPLAY_MODE, &i), bad);
        EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_FREQUENCY, &r), bad);
        EXPECT_EQ(ZEV_QX70_GetAttributeViBoolean(vi, "1", ZEV_QX70_ATTR_OUTPUT_CONNECTED, &b), bad);
        EXPECT_EQ(ZEV_QX70_GetAttributeViSession(vi, VI_NULL, 1050322, &s), bad);
        EXPECT_EQ(ZEV_QX70_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, 512, text), bad);
        EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_FREQUENCY, 50), bad);
        EXPECT_EQ(ZEV_QX70_CheckAttributeViReal64(vi, "1", ZEV_QX70_ATTR_FREQUENCY, 50), bad);
        EXPECT_EQ(ZEV_QX70_LockSession(vi, &b), bad);
        EXPECT_EQ(ZEV_QX70_UnlockSession(vi, &b), bad);
        EXPECT_EQ(ZEV_QX70_WriteInstrData(vi, "*IDN?"), bad);
        EXPECT_EQ(ZEV_QX70_ReadInstrData(vi, 10, text, &i), bad);
        EXPECT_EQ(ZEV_QX70_IviClose(vi), bad);
        EXPECT_EQ(ZEV_QX70_close(vi), bad);
    }
}
