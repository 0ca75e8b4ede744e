#include "driver_fixture.h"

#include "ivi/ivi.h"
#include "status.h"

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

using namespace qx::test;

// Any non-zero error number fails the check, which then stays due, with the instrument's answer in
// the error information; an answer without a number is refused; off or not due, nothing is sent.
TEST_F(DriverTest, StatusCheckOnOffAndFailing)
{
    ViSession on = open(kGpib);
    ViSession off = open(kGpib, "QueryInstrStatus=0");
    const Events refused = {"> SYST:ERR?", "wait 0.05"}; // no wait after an answer refused
    // Answer nullptr: the instrument stays silent.
    const std::tuple<const char *, ViSession, ViBoolean, ViStatus, Events> cases[] = {
        {"0,\"No error\"", on, VI_TRUE, VI_SUCCESS, statusCheck()},
        {" +0", on, VI_TRUE, VI_SUCCESS, statusCheck()},
        {"-113,\"Undefined header\"", on, VI_TRUE, IVI_ERROR_INSTRUMENT_STATUS, statusCheck()},
        {"1,\"Device error\"", on, VI_TRUE, IVI_ERROR_INSTRUMENT_STATUS, statusCheck()},
        {"junk", on, VI_TRUE, VI_ERROR_INV_RESPONSE, refused},
        {"", on, VI_FALSE, VI_SUCCESS, {}},
        {"", off, VI_TRUE, VI_SUCCESS, {}},
        {nullptr, on, VI_TRUE, VI_ERROR_TMO, {"> SYST:ERR?", "wait 0.05", "timeout 5"}},
    };
    for (const auto &[answer, vi, due, status, traffic] : cases) {
        const std::string label = std::string(answer ? answer : "silent") + (vi == off ? ", off" : "") +
                                  (due ? "" : ", not due");
        if (!answer)
            device->silentOn("SYST:ERR?");
        else if (*answer)
            device->answerOnce("SYST:ERR?", answer);
        ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, due), VI_SUCCESS);
        EXPECT_EQ(ZEV_QX70_CheckStatus(vi), status) << label;
        EXPECT_EQ(take(), traffic) << label;
        EXPECT_TRUE(vi == off || Ivi_NeedToCheckStatus(vi) == (status == VI_SUCCESS ? VI_FALSE : VI_TRUE))
            << label;
        const ErrorInfo expected = status == IVI_ERROR_INSTRUMENT_STATUS ? ErrorInfo{status, 0, answer}
                                   : status < 0                          ? ErrorInfo{status, 0, ""}
                                                                         : ErrorInfo{};
        EXPECT_EQ(errorInfo(vi), expected) << label;
    }
}

// error_query: no wait and no status check, a text cut to fit a 256-byte buffer, garbage refused
// with an empty message. StatusRegister reads a number; revision_query gives the driver's revision
// text and the identity's fourth field. The buffers are exactly the size the header states,
// on the heap, so that the address sanitizer sees any byte written past them.
TEST_F(DriverTest, ErrorQueryStatusRegisterAndRevisionQueryFormats)
{
    ViSession vi = open(kSerial);
    ViInt32 code = 0;
    const auto buffer = std::make_unique<ViChar[]>(256);
    ViChar *message = buffer.get();
    const std::pair<std::string, std::string> answers[] = {{"-113,\"Undefined header\"", "Undefined header"},
                                                           {"0,\"" + std::string(400, 'x') + "\"", std::string(255, 'x')}};
    for (const auto &[answer, text] : answers) {
        device->answerOnce(":SYST:ERR?", answer);
        EXPECT_EQ(ZEV_QX70_error_query(vi, &code, message), VI_SUCCESS);
        EXPECT_EQ(code, answer[0] == '-' ? -113 : 0);
        EXPECT_EQ(message, text);
        EXPECT_EQ(take(), Events{"> :SYST:ERR?\\n"});
        EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    }
    device->answerOnce(":SYST:ERR?", "garbage");
    code = 42;
    EXPECT_LT(ZEV_QX70_error_query(vi, &code, message), 0);
    EXPECT_EQ(code, 42);
    EXPECT_STREQ(message, "");

    device->answer("*STB?", "68");
    EXPECT_EQ(ZEV_QX70_StatusRegister(vi, &code), VI_SUCCESS);
    EXPECT_EQ(code, 68);
    timeline.clear();
    const auto driverBuffer = std::make_unique<ViChar[]>(256);
    ViChar *driverRev = driverBuffer.get();
    EXPECT_EQ(ZEV_QX70_revision_query(vi, driverRev, message), VI_SUCCESS);
    EXPECT_STREQ(driverRev, "Driver: ZEV_QX70 1.0, Compiler: CVI 5.50, Components: IVIEngine 2.0, VISA-Spec 3.00");
    EXPECT_STREQ(message, "1.02");
    EXPECT_EQ(take(), concat({{"> *IDN?\\n"}, statusCheck(true)})); // no wait of its own
    device->answerOnce("*IDN?", "ZE,7103QX,SN1," + std::string(300, 'r'));
    EXPECT_EQ(ZEV_QX70_revision_query(vi, driverRev, message), VI_SUCCESS);
    EXPECT_EQ(message, std::string(255, 'r'));
    device->silentOn("*IDN?");
    EXPECT_EQ(ZEV_QX70_revision_query(vi, driverRev, message), VI_ERROR_TMO);
    EXPECT_EQ(std::string(driverRev) + message, "");
}

// With VI_NULL the text still comes (the driver's codes and the class codes; the engine adds
// VISA's); a handle that is not open gets the text and an error.
TEST_F(DriverTest, ErrorMessageTranslatesWithOrWithoutASession)
{
    ViChar message[256] = {};
    EXPECT_EQ(ZEV_QX70_error_message(VI_NULL, ZEV_QX70_ERROR_OVER_VOLTAGE, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Over-voltage detected.");
    EXPECT_EQ(ZEV_QX70_error_message(VI_NULL, IVI_CLASS_ERROR_BASE + 0x0F, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Waveform in use.");
    ViSession vi = open(kGpib);
    EXPECT_EQ(ZEV_QX70_error_message(vi, ZEV_QX70_WARN_CURRENT_DECREASED, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Current decreased to satisfy voltage requirements.");
    EXPECT_EQ(ZEV_QX70_error_message(424242, ZEV_QX70_ERROR_OVER_CURRENT, message), IVI_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_STREQ(message, "Over-current detected.");
}

// A null output pointer is refused with 0xBFFA000F and the parameter's position; a closed, null or
// made-up handle with the invalid-handle status, ahead of any null pointer. All before any I/O.
TEST_F(DriverTest, EveryFunctionRefusesNullPointersAndBadHandles)
{
    ViSession vi = openModel(kGpib, "7101QX");
    ViReal64 r = 0;
    ViInt32 i = 0;
    ViChar s[512] = {};
    ViRsrc gpib = const_cast<ViRsrc>(kGpib);
    // The call, where the error is recorded, the parameter's position, the elaboration (nullptr: not
    // compared).
    const std::tuple<std::function<ViStatus()>, ViSession, int, const char *> nulls[] = {
        {[&] { return ZEV_QX70_init(gpib, 1, 0, nullptr, 0); }, VI_NULL, 4, "Null address for Instrument Handle"},
        {[&] { return ZEV_QX70_InitWithOptions(gpib, 1, 0, "", nullptr, 0); }, VI_NULL, 5,
         "Null address for Instrument Handle"},
        {[&] { return ZEV_QX70_error_message(VI_NULL, VI_SUCCESS, nullptr); }, VI_NULL, 3, "Null address for Error Message"},
        {[&] { return ZEV_QX70_error_query(vi, nullptr, s); }, vi, 2, "Null address for Error Code"},
        {[&] { return ZEV_QX70_error_query(vi, &i, nullptr); }, vi, 3, "Null address for Error Message"},
        {[&] { return ZEV_QX70_StatusRegister(vi, nullptr); }, vi, 2, nullptr},
        {[&] { return ZEV_QX70_revision_query(vi, nullptr, s); }, vi, 2, "Null address for Driver Revision"},
        {[&] { return ZEV_QX70_revision_query(vi, s, nullptr); }, vi, 3, "Null address for Instrument Revision"},
        {[&] { return ZEV_QX70_ConfigureLimits(vi, "1", nullptr, &r, &r, &r, &i); }, vi, 3,
         "Null address for Frequency Low Limit"},
        {[&] { return ZEV_QX70_ConfigureLimits(vi, "1", &r, &r, &r, &r, nullptr); }, vi, 7, "Null address for Model Number"},
        {[&] { return ZEV_QX70_QueryOutputRelay(vi, "1", nullptr); }, vi, 3, nullptr},
        {[&] { return ZEV_QX70_QueryOutputFunction(vi, "1", 9, nullptr); }, vi, 4, nullptr},
        {[&] { return ZEV_QX70_DisplayModeQuery(vi, "1", nullptr); }, vi, 3, nullptr},
        {[&] { return ZEV_QX70_PowerOnQuery(vi, "1", nullptr); }, vi, 3, nullptr},
        {[&] { return ZEV_QX70_LoadSerialNumber(vi, "1", nullptr); }, vi, 3, nullptr},
        {[&] { return ZEV_QX70_Serial_ID(vi, nullptr); }, vi, 2, nullptr},
        {[&] { return ZEV_QX70_Model_Number(vi, nullptr); }, vi, 2, nullptr},
        {[&] { return ZEV_QX70_Serial_Number(vi, nullptr); }, vi, 2, nullptr},
        {[&] { return ZEV_QX70_MeasureOutput(vi, "1", 1, nullptr); }, vi, 4, "Null address for Measurement"},
        {[&] { return ZEV_QX70_PhaseMeasureOutput(vi, "1", 1, 1, nullptr); }, vi, 5, "Null address for Measurement"},
        {[&] { return ZEV_QX70_DropSettingQuery(vi, "1", nullptr, &i); }, vi, 3, "Null address for Start Phase State"},
        {[&] { return ZEV_QX70_DropSettingQuery(vi, "1", &i, nullptr); }, vi, 4, "Null address for Start Phase"},
        {[&] { return ZEV_QX70_PhaseDropSettingQuery(vi, "1", 1, nullptr, &i); }, vi, 4,
         "Null address for Start Phase State"},
        {[&] { return ZEV_QX70_PhaseDropSettingQuery(vi, "1", 1, &i, nullptr); }, vi, 5, "Null address for Start Phase"},
    };
    for (size_t n = 0; n < std::size(nulls); ++n) {
        const auto &[call, recordedOn, position, elaboration] = nulls[n];
        EXPECT_EQ(call(), IVI_ERROR_INVALID_PARAMETER) << "row " << n;
        const ErrorInfo info = errorInfo(recordedOn);
        EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER1 + position - 1) << "row " << n;
        EXPECT_TRUE(!elaboration || info.elaboration == elaboration) << "row " << n << ": " << info.elaboration;
        EXPECT_TRUE(lockableFromAnotherThread(vi)) << "row " << n;
    }
    EXPECT_TRUE(events().empty());

    // Every function that takes a session (but the wrappers, which hand the handle to the engine as it
    // is): those of the rows above, and those without an output.
    std::vector<std::function<ViStatus()>> calls = {
        [&] { return ZEV_QX70_reset(vi); }, [&] { return ZEV_QX70_PowerOnRegister(vi, "1", 1); },
        [&] { return ZEV_QX70_GenerateACVoltageRange(vi, "1", 1); }, [&] { return ZEV_QX70_GenerateACVoltage(vi, "1", 1); },
        [&] { return ZEV_QX70_GenerateACCurrent(vi, "1", 1); }, [&] { return ZEV_QX70_GenerateACFrequency(vi, "1", 50); },
        [&] { return ZEV_QX70_ConnectOutput(vi, "1"); }, [&] { return ZEV_QX70_DisconnectOutput(vi, "1"); },
        [&] { return ZEV_QX70_RemoteOnOff(vi, "1", 1); }, [&] { return ZEV_QX70_DisplayMode(vi, "1", 1); },
        [&] { return ZEV_QX70_SaveRegister(vi, "1", 1); },
        [&] { return ZEV_QX70_RecallRegister(vi, "1", 1); },
        [&] { return ZEV_QX70_LoadInitialConfiguration(vi, 1.0, 50.0, 10.0, 1); },
        [&] { return ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 1.0, 10.0, VI_TRUE); },
        [&] { return ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1.0, VI_TRUE, 1); },
        [&] { return ZEV_QX70_IviClose(vi); }, [&] { return ZEV_QX70_close(vi); },
    };
    for (const auto &[call, recordedOn, position, elaboration] : nulls)
        if (recordedOn != VI_NULL)
            calls.push_back(call);
    closeNow(vi);
    timeline.clear();
    for (ViSession handle : {vi, ViSession{VI_NULL}, ViSession{0x5eed}}) {
        vi = handle;
        for (size_t n = 0; n < calls.size(); ++n)
            EXPECT_EQ(calls[n](), IVI_ERROR_INVALID_SESSION_HANDLE) << "call " << n << ", handle " << vi;
    }
    EXPECT_TRUE(timeline.writes().empty());
}
