#include "driver_fixture.h"

#include "ivi/ivi.h"

#include <functional>
#include <tuple>

using namespace qx::test;

namespace {

constexpr ViStatus kAnyError = 1; // never a status these tables expect

// SYST:LOC then SYST:REM, each with its settle waits and a status check.
Events remoteToggle(bool serial)
{
    const std::string lf = serial ? "\\n" : "";
    return concat({{"> SYST:LOC" + lf, "wait 0.03", "wait 0.03"}, statusCheck(serial),
                   {"> SYST:REM" + lf, "wait 0.03", "wait 0.03"}, statusCheck(serial)});
}

Events limitQueries(bool serial)
{
    const std::string lf = serial ? "\\n" : "";
    return {"> LIM:VOLT?" + lf, "wait 0.01", "> LIM:CURR?" + lf, "> LIM:FREQ:LOW?" + lf, "> LIM:FREQ:HIGH?" + lf};
}

} // namespace

// The limits read, and the model when identified, are handed out by ZEV_QX70_ConfigureLimits
// without any I/O; the identity keeps its line feed and is cut to 511 bytes.
TEST_F(DriverTest, OpeningSequenceOnBothLinksWithAndWithoutResetAndIdentification)
{
    const Events gpib = concat({remoteToggle(false), {"> *CLS", "wait 0.03", "> *IDN?", "wait 0.05"},
                                limitQueries(false), statusCheck()});
    const std::string zevQx = "ZE,7103QX,SN000123,1.02", oversize = "ZE,7101QX," + std::string(3000, 'S');
    struct Case {
        const char *label;
        const char *resource = kGpib;
        const char *options = nullptr; // nullptr: through ZEV_QX70_init
        ViBoolean idQuery = VI_TRUE;
        ViBoolean reset = VI_FALSE;
        std::string identity;
        ViInt32 model = 7103;
        Events traffic;
    };
    const Case cases[] = {
        {.label = "gpib", .identity = zevQx, .traffic = gpib},
        {.label = "serial: every command framed, longer wait for the identity", .resource = "asrl1::INSTR",
         .identity = zevQx,
         .traffic = concat({remoteToggle(true), {"> *CLS\\n", "wait 0.03", "> *IDN?\\n", "wait 0.05", "wait 0.05"},
                            limitQueries(true), statusCheck(true)})},
        {.label = "reset, no identification: the model stays unknown", .idQuery = VI_FALSE, .reset = VI_TRUE,
         .identity = zevQx, .model = 0,
         .traffic = concat({remoteToggle(false),
                            {"> SYST:REM", "wait 0.03", "> *CLS", "wait 0.03", "> SYST:REM", "wait 0.03", "> *RST",
                             "wait 0.03"},
                            statusCheck(), {"> *CLS", "wait 0.03", "wait 0.03"}, limitQueries(false), statusCheck()})},
        {.label = "oversize identity", .options = "", .identity = oversize, .model = 7101, .traffic = gpib},
    };
    for (const auto &[label, resource, options, idQuery, reset, identity, expectedModel, traffic] : cases) {
        device->answer("*IDN?", identity);
        timeline.clear();
        ViSession vi = VI_NULL;
        ViRsrc name = const_cast<ViRsrc>(resource);
        ASSERT_EQ(options ? ZEV_QX70_InitWithOptions(name, idQuery, reset, options, &vi, 9600)
                          : ZEV_QX70_init(name, idQuery, reset, &vi, 19200),
                  VI_SUCCESS)
            << label;
        opened.push_back(vi);
        ViReal64 low = 0, high = 0, current = 0, voltage = 0;
        ViInt32 model = 0;
        EXPECT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, &model), VI_SUCCESS);
        EXPECT_EQ((std::vector{low, high, current, voltage}), (std::vector{16.0, 500.0, 9.2, 300.0})) << label;
        EXPECT_EQ(model, expectedModel) << label;
        EXPECT_EQ(events(), traffic) << label;
        ViChar text[600] = {};
        if (idQuery) {
            EXPECT_GE(ZEV_QX70_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, 600, text), 0);
            EXPECT_EQ(text, (identity + "\n").substr(0, 511)) << label;
        }
    }
}

// Each row adds its fault to those of the rows before; the handle always comes back VI_NULL.
TEST_F(DriverTest, AFailedOpenAtEachStageUnwindsToNoHandle)
{
    struct Case {
        const char *label;
        std::function<void()> fault = {};
        const char *resource = kGpib;
        const char *options = "";
        ViStatus status = kAnyError;   // kAnyError: any error (no GPIB library here either)
        ErrorInfo info = {};           // left on VI_NULL; an empty elaboration is not compared
        const char *lastEvent = "";    // "": no traffic
    };
    const Case cases[] = {
        {.label = "nothing at that address", .resource = "GPIB::9::INSTR"},
        {.label = "bad resource name", .resource = "NOT A RESOURCE", .status = VI_ERROR_INV_RSRC_NAME},
        {.label = "bad option value", .options = "Simulate=maybe", .status = IVI_ERROR_BAD_OPTION_VALUE},
        {.label = "a limit times out", .fault = [&] { device->silentOn("LIM:CURR?"); }, .status = VI_ERROR_TMO,
         .info = {VI_ERROR_TMO, VI_ERROR_PARAMETER4, "Current Limit"}, .lastEvent = "timeout 5"},
        {.label = "identity without the ZE prefix", .fault = [&] { device->answer("*IDN?", "XY,7101QX,1,1"); },
         .status = VI_ERROR_FAIL_ID_QUERY, .info = {VI_ERROR_FAIL_ID_QUERY, 0, ""}, .lastEvent = "wait 0.05"},
        {.label = "the line breaks at the clear", .fault = [&] { device->closeOn("*CLS"); },
         .status = VI_ERROR_CONN_LOST, .lastEvent = "> *CLS"},
    };
    for (const auto &[label, fault, resource, options, expected, info, lastEvent] : cases) {
        if (fault)
            fault();
        timeline.clear();
        ViSession vi = 99;
        const ViStatus status =
            ZEV_QX70_InitWithOptions(const_cast<ViRsrc>(resource), VI_TRUE, VI_FALSE, options, &vi, 0);
        EXPECT_TRUE(expected == kAnyError ? status < 0 : status == expected) << label << ": " << status;
        EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL)) << label;
        const ErrorInfo recorded = errorInfo(VI_NULL);
        EXPECT_TRUE(info.primary == 0 || recorded.primary == info.primary) << label;
        EXPECT_TRUE(info.elaboration.empty() || recorded == info) << label;
        const Events traffic = events();
        EXPECT_EQ(traffic.empty() ? "" : traffic.back(), lastEvent) << label;
    }
}

TEST_F(DriverTest, CloseReturnsToLocalAndDisposesRealSimulatedAndBrokenSessions)
{
    const std::tuple<const char *, const char *, bool, Events> cases[] = {
        {kSerial, "", false, {"> SYST:LOC\\n", "wait 0.03"}}, {kGpib, "Simulate=1", false, {"wait 0.03"}},
        {kGpib, "", true, {"> SYST:LOC"}}};
    for (const auto &[resource, options, lineGone, traffic] : cases) {
        ViSession vi = open(resource, options);
        std::erase(opened, vi);
        if (lineGone)
            device->closeOn("SYST:LOC");
        EXPECT_EQ(ZEV_QX70_close(vi), lineGone ? VI_ERROR_CONN_LOST : VI_SUCCESS) << resource << options;
        EXPECT_EQ(events(), traffic) << resource << options;
        EXPECT_EQ(ZEV_QX70_close(vi), IVI_ERROR_INVALID_SESSION_HANDLE) << resource << options;
    }
}

// A simulated session sees zero limits, model 0 and the identity "ZE"; no function talks
// to the instrument, outputs are left alone (the utilities answer for it), and only the settle and
// clear waits remain.
TEST_F(DriverTest, InSimulationNoFunctionTalksToTheInstrument)
{
    ViSession vi = open(kGpib, "Simulate=1");
    ViReal64 low = 1, high = 1, current = 1, voltage = 1;
    ViInt32 model = 1;
    EXPECT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, &model), VI_SUCCESS);
    EXPECT_EQ((std::vector{low, high, current, voltage, ViReal64(model)}), std::vector<ViReal64>(5, 0.0));

    ViInt32 i = 5, j = 6;
    ViReal64 r = 7.0;
    ViChar text[512] = "untouched";
    const Events settle{"wait 0.03"};
    const std::tuple<const char *, std::function<ViStatus()>, ViStatus, Events> cases[] = {
        {"zero limits", [&] { return ZEV_QX70_GenerateACFrequency(vi, "1", 50.0); },
         ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS, {}},
        {"range table", [&] { return ZEV_QX70_GenerateACFrequency(vi, "1", 0.0); }, IVI_ERROR_INVALID_VALUE, {}},
        {"range default", [&] { return ZEV_QX70_GenerateACVoltage(vi, "1", 136.0); }, VI_SUCCESS, {}},
        {"above it", [&] { return ZEV_QX70_GenerateACVoltage(vi, "1", 136.01); }, ZEV_QX70_ERROR_OVER_VOLTAGE, {}},
        {"low range", [&] { return ZEV_QX70_GenerateACVoltageRange(vi, "1", 1.0); }, VI_SUCCESS, {}},
        {"0 V on it", [&] { return ZEV_QX70_GenerateACVoltage(vi, "1", 0.0); }, VI_SUCCESS, {}},
        {"0.01 V on it", [&] { return ZEV_QX70_GenerateACVoltage(vi, "1", 0.01); }, ZEV_QX70_ERROR_OVER_VOLTAGE, {}},
        {"connect", [&] { return ZEV_QX70_ConnectOutput(vi, "1"); }, VI_SUCCESS, {}},
        {"relay", [&] { return ZEV_QX70_QueryOutputRelay(vi, "1", &i); }, VI_SUCCESS, {"wait 0.03", "wait 0.05"}},
        {"function", [&] { return ZEV_QX70_QueryOutputFunction(vi, "1", 1, &r); }, VI_SUCCESS, {}},
        {"power-on", [&] { return ZEV_QX70_PowerOnQuery(vi, "1", &i); }, VI_SUCCESS, {}},
        {"serial id", [&] { return ZEV_QX70_Serial_ID(vi, &i); }, VI_SUCCESS, settle},
        {"model", [&] { return ZEV_QX70_Model_Number(vi, text); }, VI_SUCCESS, settle},
        {"serial", [&] { return ZEV_QX70_Serial_Number(vi, text); }, VI_SUCCESS, settle},
        {"save", [&] { return ZEV_QX70_SaveRegister(vi, "1", 1); }, VI_SUCCESS, settle},
        {"load serial", [&] { return ZEV_QX70_LoadSerialNumber(vi, "1", "SN9"); }, VI_SUCCESS,
         {"wait 0.03", "wait 0.03", "wait 0.05"}},
        {"initial", [&] { return ZEV_QX70_LoadInitialConfiguration(vi, 2.0, 50.0, 120.0, 1); }, VI_SUCCESS, {"wait 0.05"}},
        {"measure", [&] { return ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, &r); }, kAnyError, {}},
        {"drop", [&] { return ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 1.0, 100.0, VI_TRUE); }, VI_SUCCESS, settle},
        {"45 degrees", [&] { return ZEV_QX70_PhaseDropCommands(vi, "1", 1, 45.0, 1.0, VI_TRUE, 1); }, VI_SUCCESS, settle},
        {"drop settings", [&] { return ZEV_QX70_DropSettingQuery(vi, "1", &i, &j); }, VI_SUCCESS, settle},
        {"phase drop settings", [&] { return ZEV_QX70_PhaseDropSettingQuery(vi, "1", 2, &i, &j); }, VI_SUCCESS, settle},
        {"reset", [&] { return ZEV_QX70_reset(vi); }, VI_SUCCESS, {"wait 0.03", "wait 0.03"}},
    };
    for (const auto &[label, call, expected, traffic] : cases) {
        timeline.clear();
        const ViStatus status = call();
        EXPECT_TRUE(expected == kAnyError ? status < 0 : status == expected) << label << ": " << status;
        EXPECT_EQ(events(), traffic) << label;
    }
    EXPECT_EQ((std::vector<ViReal64>{ViReal64(i), ViReal64(j), r}), (std::vector<ViReal64>{5, 6, 7}));
    EXPECT_STREQ(text, "untouched");

    ViChar message[257] = {};
    EXPECT_EQ(ZEV_QX70_error_query(vi, &i, message), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_StatusRegister(vi, &j), VI_SUCCESS);
    EXPECT_EQ(std::tuple(i, j, std::string(message)), std::tuple(0, 0, std::string("No error.")));
    EXPECT_EQ(ZEV_QX70_revision_query(vi, text, message), VI_SUCCESS);
    EXPECT_STREQ(message, "No revision information available while simulating.");
    EXPECT_GE(ZEV_QX70_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, sizeof text, text), 0);
    EXPECT_STREQ(text, "ZE");
    EXPECT_TRUE(device->messages().empty());
}
