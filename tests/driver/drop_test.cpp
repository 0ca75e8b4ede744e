#include "driver_fixture.h"

#include "ivi/ivi.h"

#include <cmath>
#include <functional>
#include <tuple>

using namespace qx::test;

// Waits follow the link and the start-phase state; phase 0 couples, others uncouple and select;
// the selection's waits differ per link and phase.
TEST_F(DriverTest, PhaseDropTrafficPerLinkStartPhaseAndPhase)
{
    ViSession vi = openModel(kSerial, "7103QX");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 10.0, VI_TRUE, 2), VI_SUCCESS,
                         concat({{"> INST:COUP 0\\n", "> INST:NSEL 2\\n", "wait 0.02", "> OUTP:STAR:STAT 1\\n", "wait 0.02",
                                  "> OUTP:STAR:PHAS 90.000000\\n", "wait 0.02", "> OUTP:DROP 10.000000\\n", "wait 0.03"},
                                 checkAndClear(true)})));
    vi = openModel(kGpib, "7103QX");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropCommands(vi, "1", 0, 0.0, 10.0, VI_FALSE, 2), VI_SUCCESS,
                         concat({{"> INST:COUP 0", "wait 0.03", "> INST:NSEL 2", "wait 0.02", "> OUTP:STAR:STAT 0",
                                  "wait 0.02", "> OUTP:STAR:PHAS 0.000000", "wait 0.02", "> OUTP:DROP", "wait 0.03"},
                                 checkAndClear()})));
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropCommands(vi, "1", 1, 270.0, 0.5, VI_TRUE, 0), VI_SUCCESS,
                         concat({{"> INST:COUP 1", "wait 0.03", "> OUTP:STAR:STAT 1", "wait 0.03",
                                  "> OUTP:STAR:PHAS 270.000000", "wait 0.03", "> OUTP:DROP 0.500000", "wait 0.03"},
                                 checkAndClear()})));

    vi = openModel(kSerial, "7101QX");
    const std::pair<ViInt16, Events> selections[] = {
        {0, {}},
        {1, {"> INST:COUP 0\\n", "wait 0.02", "> INST:NSEL 1\\n", "wait 0.02"}},
        {3, {"> INST:COUP 0\\n", "wait 0.03", "> INST:NSEL 3\\n", "wait 0.02"}}};
    for (const auto &[phase, selection] : selections) {
        EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 0, 180.0, 0.0, VI_FALSE, phase), VI_SUCCESS);
        const Events all = take();
        EXPECT_EQ(Events(all.begin(), all.begin() + static_cast<long>(selection.size())), selection) << phase;
        EXPECT_EQ(all.at(selection.size()), "> OUTP:STAR:STAT 0\\n") << phase;
    }
}

// The operator sees the popup, the instrument is checked and cleared as after any drop, and the
// caller gets the refusal with the angle's position and name.
TEST_F(DriverTest, AnAngleOtherThanTheFourIsRefusedWithAPopup)
{
    ViSession vi = openModel(kGpib, "7103QX");
    for (ViReal64 angle : {45.0, 90.0000001, -90.0, std::nan("")}) {
        EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropCommands(vi, "1", 0, angle, 1.0, VI_TRUE, 1),
                             IVI_ERROR_INVALID_VALUE, checkAndClear()))
            << angle;
        EXPECT_EQ(errorInfo(vi), (ErrorInfo{IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER4, "Start Phase"}));
    }
    const qx::runtime::RecordingPopups::Popup refusal{
        "Error Message", "\nOutput Drop function only supports 0, 90, 180, 270 phase angle"};
    expectedPopups.assign(4, refusal);
}

// Zero volts, relay closed, start phase, drop, then the voltage; with the start phase off no angle
// goes out, the untimed drop ignores the time and the cached 0 V is not sent again (but the check
// marked due runs); GPIB does not wait after the last commands, the serial line does.
TEST_F(DriverTest, DropCommandsZeroTheOutputCloseTheRelayDropAndProgramTheVoltage)
{
    ViSession vi = openModel(kGpib, "7101QX");
    device->answer("VOLT:RANG?", "150");
    EXPECT_TRUE(returned(vi, ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 0.5, 120.0, VI_TRUE), VI_SUCCESS,
                         concat({{"> VOLT:RANG?"}, setting("VOLT 0.000000"), setting("OUTP 1"),
                                 {"> OUTP:STAR:STAT 1", "wait 0.03", "> OUTP:STAR:PHAS 90.000000", "wait 0.03",
                                  "> OUTP:DROP 0.500000", "wait 0.03", "> VOLT 120.000000", "wait 0.03"},
                                 checkAndClear()})));
    for (bool serial : {false, true}) {
        vi = openModel(serial ? kSerial : kGpib, "7101QX");
        ASSERT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
        ASSERT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 0.0), VI_SUCCESS);
        timeline.clear();
        const Events tail = serial ? Events{"> OUTP:STAR:STAT 0\\n", "wait 0.05", "> OUTP:DROP\\n", "wait 0.05",
                                            "> VOLT 100.000000\\n", "wait 0.05"}
                                   : Events{"> OUTP:STAR:STAT 0", "wait 0.03", "> OUTP:DROP", "wait 0.03",
                                            "> VOLT 100.000000"};
        EXPECT_TRUE(returned(vi, ZEV_QX70_DropCommands(vi, "1", 0, 90.0, 7.0, 100.0, VI_FALSE), VI_SUCCESS,
                             concat({statusCheck(serial), setting("OUTP 1", serial), tail, checkAndClear(serial)})))
            << serial;
    }
}

// Numbers that are no plain decimal number, and phases outside 0 to 3, are refused with their
// position and name before anything is sent; a drop the instrument refuses is reported.
TEST_F(DriverTest, BadArgumentsAreRefusedAndTheInstrumentsRefusalReported)
{
    ViSession vi = openModel(kGpib, "7103QX");
    ViInt32 state = 0, angle = 0;
    const std::tuple<const char *, std::function<ViStatus()>, ErrorInfo> refusals[] = {
        {"nan", [&] { return ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, std::nan(""), VI_TRUE, 1); },
         {IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER5, "Drop Time"}},
        {"inf", [&] { return ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, -INFINITY, VI_TRUE, 1); },
         {IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER5, "Drop Time"}},
        {"1e308", [&] { return ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1e308, VI_TRUE, 0); },
         {IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER5, "Drop Time"}},
        {"phase 4", [&] { return ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1.0, VI_TRUE, 4); },
         {IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER7, "Phase"}},
        {"phase -1", [&] { return ZEV_QX70_PhaseDropSettingQuery(vi, "1", -1, &state, &angle); },
         {IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER3, "Phase"}},
        {"voltage", [&] { return ZEV_QX70_DropCommands(vi, "1", 0, 90.0, 1.0, INFINITY, VI_TRUE); },
         {IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER6, "Voltage"}},
        {"start phase", [&] { return ZEV_QX70_DropCommands(vi, "1", 1, std::nan(""), 1.0, 10.0, VI_FALSE); },
         {IVI_ERROR_INVALID_VALUE, VI_ERROR_PARAMETER4, "Start Phase"}},
    };
    for (const auto &[label, call, info] : refusals) {
        EXPECT_TRUE(returned(vi, call(), info.primary)) << label;
        EXPECT_EQ(errorInfo(vi), info) << label;
    }
    // Unused numbers are not looked at: an untimed drop ignores its time.
    EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 0, 0.0, std::nan(""), VI_FALSE, 0), VI_SUCCESS);
    timeline.clear();

    device->answerOnce("SYST:ERR?", "-222,\"Data out of range\"");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropCommands(vi, "1", 0, 0.0, 100.0, VI_TRUE, 0), IVI_ERROR_INSTRUMENT_STATUS,
                         {"> INST:COUP 1", "wait 0.03", "> OUTP:STAR:STAT 0", "wait 0.02", "> OUTP:STAR:PHAS 0.000000",
                          "wait 0.02", "> OUTP:DROP 100.000000", "wait 0.03", "> SYST:ERR?", "wait 0.05", "wait 0.05"}));
}

TEST_F(DriverTest, DropFunctionsAreRefusedOnModelsWithoutThem)
{
    ViSession vi = openModel(kGpib, "7103QX");
    ViInt32 state = 8, angle = 9;
    EXPECT_TRUE(returned(vi, ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 1.0, 100.0, VI_TRUE), ZEV_QX70_ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(returned(vi, ZEV_QX70_DropSettingQuery(vi, "1", &state, &angle), ZEV_QX70_ERROR_NOT_SUPPORTED));
    EXPECT_EQ(errorInfo(vi).primary, VI_SUCCESS);
    vi = openModel(kGpib, "7105QX");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1.0, VI_TRUE, 1), ZEV_QX70_ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropSettingQuery(vi, "1", 1, &state, &angle), ZEV_QX70_ERROR_NOT_SUPPORTED));
    EXPECT_EQ(state + angle, 17);
}

// The settings are read back with the link's waits, then cleared and checked; a failed read or
// start phase stops the function there.
TEST_F(DriverTest, DropSettingsAreReadBackAndFailuresStopThere)
{
    ViSession vi = openModel(kSerial, "7101QX");
    device->answer("OUTP:STAR?", "1");
    device->answer("OUTP:STAR:PHAS?", "270");
    ViInt32 state = 0, angle = 0;
    EXPECT_TRUE(returned(vi, ZEV_QX70_DropSettingQuery(vi, "1", &state, &angle), VI_SUCCESS,
                         concat({{"> OUTP:STAR?\\n", "wait 0.02", "wait 0.02", "> OUTP:STAR:PHAS?\\n", "wait 0.02",
                                  "wait 0.02"},
                                 checkAndClear(true)})));
    EXPECT_EQ(std::pair(state, angle), std::pair(1, 270));
    vi = openModel(kGpib, "7103QX");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropSettingQuery(vi, "1", 0, &state, &angle), VI_SUCCESS,
                         concat({{"> INST:COUP 1", "wait 0.03", "> OUTP:STAR?", "> OUTP:STAR:PHAS?", "wait 0.03"},
                                 checkAndClear()})));
    EXPECT_EQ(ZEV_QX70_PhaseDropSettingQuery(vi, "1", 3, &state, &angle), VI_SUCCESS);
    EXPECT_EQ(take().front(), "> INST:NSEL 3"); // no uncoupling here

    vi = openModel(kGpib, "7101QX");
    device->answer("OUTP:STAR?", "0");
    device->silentOn("OUTP:STAR:PHAS?");
    EXPECT_TRUE(returned(vi, ZEV_QX70_DropSettingQuery(vi, "1", &state, &angle), VI_ERROR_TMO,
                         {"> OUTP:STAR?", "> OUTP:STAR:PHAS?", "timeout 5"}));
    EXPECT_EQ(std::pair(state, angle), std::pair(0, 270));
    ZEV_QX70_ClearErrorInfo(vi);
    device->closeOn("OUTP:STAR:PHAS 90.000000");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1.0, VI_TRUE, 1), VI_ERROR_CONN_LOST,
                         {"> INST:COUP 0", "wait 0.02", "> INST:NSEL 1", "wait 0.02", "> OUTP:STAR:STAT 1", "wait 0.03",
                          "> OUTP:STAR:PHAS 90.000000"}));
    EXPECT_EQ(errorInfo(vi).primary, VI_ERROR_CONN_LOST);
}
