#include "driver_fixture.h"

#include "ivi/ivi.h"

using namespace qx::test;

namespace {

// SYST:LOC then SYST:REM, each with its settle waits and a status check, then *CLS.
Events remoteToggleAndClear(bool serial)
{
    const char *lf = serial ? "\\n" : "";
    return concat({{std::string("> SYST:LOC") + lf, "wait 0.03", "wait 0.03"}, statusCheck(serial),
                   {std::string("> SYST:REM") + lf, "wait 0.03", "wait 0.03"}, statusCheck(serial),
                   {std::string("> *CLS") + lf, "wait 0.03"}});
}

Events limitQueries(bool serial)
{
    const char *lf = serial ? "\\n" : "";
    return {std::string("> LIM:VOLT?") + lf, "wait 0.01", std::string("> LIM:CURR?") + lf,
            std::string("> LIM:FREQ:LOW?") + lf, std::string("> LIM:FREQ:HIGH?") + lf};
}

} // namespace

TEST_F(DriverTest, OpeningOverGpibTogglesRemoteClearsIdentifiesReadsLimitsAndChecksStatus)
{
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZEV_QX70_init(const_cast<ViRsrc>(kGpib), VI_TRUE, VI_FALSE, &vi, 9600), VI_SUCCESS);
    opened.push_back(vi);

    EXPECT_EQ(events(), concat({remoteToggleAndClear(false), {"> *IDN?", "wait 0.05"}, limitQueries(false),
                                statusCheck(false)}));
    auto &state = zev::driverState();
    EXPECT_EQ(state.serialInterface.load(), 0);
    EXPECT_EQ(state.modelNumber.load(), 7103);
    EXPECT_DOUBLE_EQ(state.voltageLimit.load(), 300.0);
    EXPECT_DOUBLE_EQ(state.currentLimit.load(), 9.2);
    EXPECT_DOUBLE_EQ(state.frequencyLowLimit.load(), 16.0);
    EXPECT_DOUBLE_EQ(state.frequencyHighLimit.load(), 500.0);
}

TEST_F(DriverTest, OpeningOverTheSerialLineFramesEveryCommandAndWaitsLongerForTheIdentity)
{
    ViSession vi = VI_NULL;
    ASSERT_EQ(ZEV_QX70_init(const_cast<ViRsrc>("asrl1::INSTR"), VI_TRUE, VI_FALSE, &vi, 19200), VI_SUCCESS);
    opened.push_back(vi);

    EXPECT_EQ(events(), concat({remoteToggleAndClear(true), {"> *IDN?\\n", "wait 0.05", "wait 0.05"},
                                limitQueries(true), statusCheck(true)}));
    EXPECT_EQ(zev::driverState().serialInterface.load(), 1);
}

TEST_F(DriverTest, OpeningWithResetSendsTheResetSequenceAndSkipsIdentificationWhenNotAsked)
{
    zev::driverState().modelNumber = 7101;
    open(kGpib, "", false, false); // a first session so that the model is known to persist
    timeline.clear();

    ViSession vi = VI_NULL;
    ASSERT_EQ(ZEV_QX70_init(const_cast<ViRsrc>(kGpib), VI_FALSE, VI_TRUE, &vi, 9600), VI_SUCCESS);
    opened.push_back(vi);
    Events expected = concat({{"> SYST:LOC", "wait 0.03", "wait 0.03"}, statusCheck(),
                              {"> SYST:REM", "wait 0.03", "wait 0.03"}, statusCheck(),
                              {"> SYST:REM", "wait 0.03", "> *CLS", "wait 0.03", "> SYST:REM", "wait 0.03", "> *RST",
                               "wait 0.03", "> *CLS", "wait 0.03"},
                              statusCheck(), {"wait 0.03"}, limitQueries(false), statusCheck()});
    EXPECT_EQ(events(), expected);
    EXPECT_EQ(zev::driverState().modelNumber.load(), 7101);
}

TEST_F(DriverTest, StatusQueryingOffSendsNoErrorQueries)
{
    open(kGpib, "queryinstrstatus = False");
    ASSERT_EQ(device->messages().size(), 8u); // SYST:LOC, SYST:REM, *CLS, *IDN?, four limits
    for (const std::string &message : device->messages())
        EXPECT_NE(message, "SYST:ERR?");
}

TEST_F(DriverTest, AFailedIdentityCheckUnwindsButStillRecordsTheModel)
{
    device->answer("*IDN?", "XY,7103QX,1,1");
    ViSession vi = 1234;
    EXPECT_EQ(ZEV_QX70_init(const_cast<ViRsrc>(kGpib), VI_TRUE, VI_FALSE, &vi, 0), VI_ERROR_FAIL_ID_QUERY);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(zev::driverState().modelNumber.load(), 7103);
    EXPECT_EQ(errorInfo(VI_NULL).primary, VI_ERROR_FAIL_ID_QUERY);
    // No limit was read after the failed check.
    for (const std::string &message : device->messages())
        EXPECT_NE(message, "LIM:VOLT?");
}

TEST_F(DriverTest, IdentityWithoutDigitsLeavesTheModelUnknown)
{
    zev::driverState().modelNumber = 7103;
    device->answer("*IDN?", "ZE,QX,NONE");
    open(kGpib);
    EXPECT_EQ(zev::driverState().modelNumber.load(), 0);
}

TEST_F(DriverTest, OversizeIdentityIsCutToTheBuffer)
{
    device->answer("*IDN?", "ZE,7101QX," + std::string(3000, 'S'));
    ViSession vi = open(kGpib);
    ViChar text[600] = {};
    ASSERT_GE(ZEV_QX70_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, sizeof text, text), 0);
    EXPECT_EQ(std::string(text).size(), 511u);
    EXPECT_EQ(zev::driverState().modelNumber.load(), 7101);
}

TEST_F(DriverTest, ALimitThatTimesOutUnwindsWithItsNameAndPosition)
{
    device->silentOn("LIM:CURR?");
    ViSession vi = 77;
    EXPECT_EQ(ZEV_QX70_init(const_cast<ViRsrc>(kGpib), VI_TRUE, VI_FALSE, &vi, 0), VI_ERROR_TMO);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    ErrorInfo info = errorInfo(VI_NULL);
    EXPECT_EQ(info.primary, VI_ERROR_TMO);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER4);
    EXPECT_EQ(info.elaboration, "Current Limit");
    EXPECT_DOUBLE_EQ(zev::driverState().voltageLimit.load(), 300.0); // read before the failure
    EXPECT_EQ(events().back(), "timeout 5");
}

TEST_F(DriverTest, FailuresAtEachStageOfOpeningGiveNoHandle)
{
    struct Case {
        const char *resource;
        const char *options;
        ViStatus expected;
    };
    const Case cases[] = {
        {"GPIB::9::INSTR", "", VI_ERROR_RSRC_NFOUND}, // nothing at that address
        {"NOT A RESOURCE", "", VI_ERROR_INV_RSRC_NAME},
        {kGpib, "Simulate=maybe", IVI_ERROR_BAD_OPTION_VALUE},
        {kGpib, "Colour=1", IVI_ERROR_BAD_OPTION_NAME},
    };
    for (const Case &c : cases) {
        ViSession vi = 99;
        ViStatus status = ZEV_QX70_InitWithOptions(const_cast<ViRsrc>(c.resource), VI_TRUE, VI_FALSE, c.options, &vi, 0);
        if (std::string(c.resource) == "GPIB::9::INSTR")
            EXPECT_LT(status, 0) << c.resource; // no GPIB library here either: any error will do
        else
            EXPECT_EQ(status, c.expected) << c.resource << " " << c.options;
        EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    }
    // A write that breaks the line during the clear.
    device->closeOn("*CLS");
    ViSession vi = 99;
    EXPECT_LT(ZEV_QX70_init(const_cast<ViRsrc>(kGpib), VI_TRUE, VI_FALSE, &vi, 0), 0);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
}

TEST_F(DriverTest, NullHandleAddressesAreRecordedOnNoSession)
{
    ZEV_QX70_ClearErrorInfo(VI_NULL);
    EXPECT_EQ(ZEV_QX70_init(const_cast<ViRsrc>(kGpib), VI_TRUE, VI_FALSE, nullptr, 0), IVI_ERROR_INVALID_PARAMETER);
    ErrorInfo info = errorInfo(VI_NULL);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER4);
    EXPECT_EQ(info.elaboration, "Null address for Instrument Handle");

    EXPECT_EQ(ZEV_QX70_InitWithOptions(const_cast<ViRsrc>(kGpib), VI_TRUE, VI_FALSE, "", nullptr, 0),
              IVI_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errorInfo(VI_NULL).secondary, VI_ERROR_PARAMETER5);
    EXPECT_TRUE(device->messages().empty());
}

TEST_F(DriverTest, SimulatedSessionsDoNoIoAndKeepTheDriverWideValues)
{
    open(kSerial); // a real session first: 7103 on a serial line with 300 V
    closeNow(opened.back());
    timeline.clear();
    const size_t realMessages = device->messages().size();
    device->answer("*IDN?", "ZE,7101QX,1,1");

    ViSession vi = open("GPIB::3::INSTR", "Simulate=1", true, true);
    ViReal64 limit = 0;
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_VOLTAGE_LIMIT, &limit), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(limit, 300.0);
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_CURRENT_LIMIT, &limit), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(limit, 9.2);
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_VOLTAGE_RANGE, &limit), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(limit, 136.0);
    ViChar id[64] = {};
    EXPECT_GE(ZEV_QX70_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, sizeof id, id), 0);
    EXPECT_STREQ(id, "ZE");
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_FREQUENCY, 60.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_SetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_FREQUENCY, 5000.5), IVI_ERROR_INVALID_VALUE);

    EXPECT_EQ(device->messages().size(), realMessages);
    EXPECT_TRUE(timeline.writes().empty());
    EXPECT_EQ(zev::driverState().serialInterface.load(), 1);
    EXPECT_EQ(zev::driverState().modelNumber.load(), 7103);

    closeNow(vi);
    EXPECT_EQ(events(), Events{"wait 0.03"});
}

TEST_F(DriverTest, CloseReturnsToLocalThenInvalidatesTheHandle)
{
    ViSession vi = open(kSerial);
    std::erase(opened, vi);
    EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> SYST:LOC\\n", "wait 0.03"}));
    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_VOLTAGE_LIMIT, &value),
              IVI_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(ZEV_QX70_close(vi), IVI_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(ZEV_QX70_close(VI_NULL), IVI_ERROR_INVALID_SESSION_HANDLE);
}

TEST_F(DriverTest, CloseDisposesTheSessionEvenWhenTheLineIsGone)
{
    ViSession vi = open(kGpib);
    std::erase(opened, vi);
    device->closeOn("SYST:LOC");
    EXPECT_LT(ZEV_QX70_close(vi), 0);
    EXPECT_EQ(ZEV_QX70_reset(vi), IVI_ERROR_INVALID_SESSION_HANDLE);
}
