#include "driver_fixture.h"
#include "lock_probe.h"

#include "ivi/ivi.h"
#include "runtime/popup.h"

#include <cmath>

using namespace qx::test;
using qx::runtime::RecordingPopups;

namespace {

class DropTest : public DriverTest {
protected:
    ViSession openModel(const char *resource, const char *model)
    {
        device->answer("*IDN?", std::string("ZE,") + model + ",SN1,1.0");
        return open(resource);
    }

    static Events clearAndCheck(bool serial)
    {
        return concat({{serial ? "> *CLS\\n" : "> *CLS", "wait 0.03"}, statusCheck(serial)});
    }

    RecordingPopups popups;
    qx::runtime::ScopedPopupService popupGuard{popups};
};

const RecordingPopups::Popup kAngleRefusal{"Error Message",
                                           "\nOutput Drop function only supports 0, 90, 180, 270 phase angle"};

} // namespace

TEST_F(DropTest, PhaseDropOnTheThreePhaseModelOverTheSerialLine)
{
    ViSession vi = openModel(kSerial, "7103QX");
    EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 10.0, VI_TRUE, 2), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> INST:COUP 0\\n", "> INST:NSEL 2\\n", "wait 0.02", "> OUTP:STAR:STAT 1\\n",
                                 "wait 0.02", "> OUTP:STAR:PHAS 90.000000\\n", "wait 0.02",
                                 "> OUTP:DROP 10.000000\\n", "wait 0.03"},
                                clearAndCheck(true)}));
    EXPECT_TRUE(popups.popups().empty());
}

TEST_F(DropTest, PhaseDropOverGpibWaitsByStartPhaseState)
{
    ViSession vi = openModel(kGpib, "7103QX");
    EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 0, 0.0, 10.0, VI_FALSE, 2), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> INST:COUP 0", "wait 0.03", "> INST:NSEL 2", "wait 0.02", "> OUTP:STAR:STAT 0",
                                 "wait 0.02", "> OUTP:STAR:PHAS 0.000000", "wait 0.02", "> OUTP:DROP", "wait 0.03"},
                                clearAndCheck(false)}));
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 1, 270.0, 0.5, VI_TRUE, 0), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> INST:COUP 1", "wait 0.03", "> OUTP:STAR:STAT 1", "wait 0.03",
                                 "> OUTP:STAR:PHAS 270.000000", "wait 0.03", "> OUTP:DROP 0.500000", "wait 0.03"},
                                clearAndCheck(false)}));
}

TEST_F(DropTest, PhaseSelectionsOfTheDropPerLink)
{
    ViSession vi = openModel(kSerial, "7101QX");
    const struct {
        ViInt16 phase;
        Events selection;
    } cases[] = {{0, {}},
                 {1, {"> INST:COUP 0\\n", "wait 0.02", "> INST:NSEL 1\\n", "wait 0.02"}},
                 {3, {"> INST:COUP 0\\n", "wait 0.03", "> INST:NSEL 3\\n", "wait 0.02"}},
                 {4, {}}};
    for (const auto &c : cases) {
        timeline.clear();
        EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 0, 180.0, 0.0, VI_FALSE, c.phase), VI_SUCCESS);
        Events all = events();
        EXPECT_EQ(Events(all.begin(), all.begin() + static_cast<long>(c.selection.size())), c.selection) << c.phase;
        EXPECT_EQ(all.at(c.selection.size()), "> OUTP:STAR:STAT 0\\n") << c.phase;
    }
}

TEST_F(DropTest, AnAngleOtherThanTheFourIsRefusedWithAPopup)
{
    ViSession vi = openModel(kGpib, "7103QX");
    for (ViReal64 angle : {45.0, 90.0000001, -90.0, std::nan("")}) {
        timeline.clear();
        EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 0, angle, 1.0, VI_TRUE, 1), VI_SUCCESS) << angle;
        EXPECT_EQ(events(), clearAndCheck(false)) << angle;
        EXPECT_TRUE(lockableFromAnotherThread(vi)) << angle;
    }
    EXPECT_EQ(popups.popups(), std::vector<RecordingPopups::Popup>(4, kAngleRefusal));
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1.0, VI_FALSE, 3), VI_SUCCESS);
    EXPECT_EQ(events().size(), 10u + clearAndCheck(false).size());
    EXPECT_EQ(popups.popups().size(), 4u);
}

TEST_F(DropTest, AFailedStartPhaseStopsTheDropAndTheClear)
{
    ViSession vi = openModel(kGpib, "7101QX");
    device->closeOn("OUTP:STAR:PHAS 90.000000");
    const ViStatus status = ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1.0, VI_TRUE, 1);
    EXPECT_LT(status, 0);
    EXPECT_EQ(events(), (Events{"> INST:COUP 0", "wait 0.02", "> INST:NSEL 1", "wait 0.02", "> OUTP:STAR:STAT 1",
                                "wait 0.03", "> OUTP:STAR:PHAS 90.000000"}));
    EXPECT_EQ(errorInfo(vi).primary, status);
    EXPECT_TRUE(lockableFromAnotherThread(vi));
}

TEST_F(DropTest, DropCommandsZeroTheOutputCloseTheRelayDropAndProgramTheVoltage)
{
    ViSession vi = openModel(kGpib, "7101QX");
    device->answer("VOLT:RANG?", "150");
    EXPECT_EQ(ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 0.5, 120.0, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> VOLT:RANG?", "> VOLT 0.000000", "wait 0.03"}, statusCheck(),
                                {"> OUTP 1", "wait 0.03"}, statusCheck(),
                                {"> OUTP:STAR:STAT 1", "wait 0.03", "> OUTP:STAR:PHAS 90.000000", "wait 0.03",
                                 "> OUTP:DROP 0.500000", "wait 0.03", "> VOLT 120.000000", "wait 0.03"},
                                clearAndCheck(false)}));
}

TEST_F(DropTest, DropCommandsWithStartPhaseOffSendNoAngle)
{
    ViSession gpib = openModel(kGpib, "7101QX");
    ASSERT_EQ(ZEV_QX70_GenerateACVoltageRange(gpib, "1", 2.0), VI_SUCCESS);
    ASSERT_EQ(ZEV_QX70_GenerateACVoltage(gpib, "1", 0.0), VI_SUCCESS);
    timeline.clear();
    // The cached 0 V is not sent again, but the check marked due runs; the untimed drop ignores the
    // time; GPIB does not wait after VOLT.
    EXPECT_EQ(ZEV_QX70_DropCommands(gpib, "1", 0, 90.0, 7.0, 100.0, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(events(), concat({statusCheck(), {"> OUTP 1", "wait 0.03"}, statusCheck(),
                                {"> OUTP:STAR:STAT 0", "wait 0.03", "> OUTP:DROP", "wait 0.03", "> VOLT 100.000000"},
                                clearAndCheck(false)}));

    ViSession serial = openModel(kSerial, "7101QX");
    ASSERT_EQ(ZEV_QX70_GenerateACVoltageRange(serial, "1", 2.0), VI_SUCCESS);
    ASSERT_EQ(ZEV_QX70_GenerateACVoltage(serial, "1", 0.0), VI_SUCCESS);
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_DropCommands(serial, "1", 0, 90.0, 7.0, 100.0, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(events(), concat({statusCheck(true), {"> OUTP 1\\n", "wait 0.03"}, statusCheck(true),
                                {"> OUTP:STAR:STAT 0\\n", "wait 0.05", "> OUTP:DROP\\n", "wait 0.05",
                                 "> VOLT 100.000000\\n", "wait 0.05"},
                                clearAndCheck(true)}));
}

TEST_F(DropTest, SinglePhaseFunctionsAreRefusedOnTheThreePhaseModel)
{
    ViSession vi = openModel(kGpib, "7103QX");
    EXPECT_EQ(ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 1.0, 100.0, VI_TRUE), ZEV_QX70_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(lockableFromAnotherThread(vi));
    ViInt32 state = 8, angle = 9;
    EXPECT_EQ(ZEV_QX70_DropSettingQuery(vi, "1", &state, &angle), ZEV_QX70_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(lockableFromAnotherThread(vi));
    EXPECT_EQ(state + angle, 17);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(errorInfo(vi).primary, VI_SUCCESS);

    ViSession other = openModel(kGpib, "7105QX");
    EXPECT_EQ(ZEV_QX70_PhaseDropCommands(other, "1", 1, 90.0, 1.0, VI_TRUE, 1), ZEV_QX70_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(ZEV_QX70_PhaseDropSettingQuery(other, "1", 1, &state, &angle), ZEV_QX70_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(popups.popups().empty());
}

TEST_F(DropTest, DropSettingsAreReadBack)
{
    ViSession vi = openModel(kSerial, "7101QX");
    device->answer("OUTP:STAR?", "1");
    device->answer("OUTP:STAR:PHAS?", "270");
    ViInt32 state = 0, angle = 0;
    EXPECT_EQ(ZEV_QX70_DropSettingQuery(vi, "1", &state, &angle), VI_SUCCESS);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(angle, 270);
    EXPECT_EQ(events(), concat({{"> OUTP:STAR?\\n", "wait 0.02", "wait 0.02", "> OUTP:STAR:PHAS?\\n", "wait 0.02",
                                 "wait 0.02"},
                                clearAndCheck(true)}));

    ViSession gpib = openModel(kGpib, "7103QX");
    EXPECT_EQ(ZEV_QX70_PhaseDropSettingQuery(gpib, "1", 0, &state, &angle), VI_SUCCESS);
    EXPECT_EQ(events(), concat({{"> INST:COUP 1", "wait 0.03", "> OUTP:STAR?", "> OUTP:STAR:PHAS?", "wait 0.03"},
                                clearAndCheck(false)}));
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_PhaseDropSettingQuery(gpib, "1", 3, &state, &angle), VI_SUCCESS);
    EXPECT_EQ(events().front(), "> INST:NSEL 3"); // no uncoupling here
}

TEST_F(DropTest, DropSettingQueriesCheckTheirOutputsAndStopAtAFailedRead)
{
    ViSession vi = openModel(kGpib, "7101QX");
    ViInt32 state = 5, angle = 6;
    const struct {
        ViInt16 phase; // -1: ZEV_QX70_DropSettingQuery
        bool nullState;
        ViStatus position;
        const char *elaboration;
    } cases[] = {{-1, true, VI_ERROR_PARAMETER3, "Null address for Start Phase State"},
                 {-1, false, VI_ERROR_PARAMETER4, "Null address for Start Phase"},
                 {1, true, VI_ERROR_PARAMETER4, "Null address for Start Phase State"},
                 {1, false, VI_ERROR_PARAMETER5, "Null address for Start Phase"}};
    for (const auto &c : cases) {
        ViInt32 *statePtr = c.nullState ? nullptr : &state;
        ViInt32 *anglePtr = c.nullState ? &angle : nullptr;
        const ViStatus status = c.phase < 0 ? ZEV_QX70_DropSettingQuery(vi, "1", statePtr, anglePtr)
                                            : ZEV_QX70_PhaseDropSettingQuery(vi, "1", c.phase, statePtr, anglePtr);
        EXPECT_EQ(status, IVI_ERROR_INVALID_PARAMETER) << c.elaboration;
        ErrorInfo info = errorInfo(vi);
        EXPECT_EQ(info.secondary, c.position) << c.elaboration;
        EXPECT_EQ(info.elaboration, c.elaboration);
    }
    EXPECT_TRUE(events().empty());

    device->answer("OUTP:STAR?", "1");
    device->silentOn("OUTP:STAR:PHAS?");
    EXPECT_EQ(ZEV_QX70_DropSettingQuery(vi, "1", &state, &angle), VI_ERROR_TMO);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(angle, 6);
    EXPECT_EQ(events(), (Events{"> OUTP:STAR?", "> OUTP:STAR:PHAS?", "timeout 5"}));
    EXPECT_TRUE(lockableFromAnotherThread(vi));
}

TEST_F(DropTest, SimulatedDropsOnlyClear)
{
    ViSession vi = open(kGpib, "Simulate=1");
    EXPECT_EQ(ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 1.0, 100.0, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 1, 45.0, 1.0, VI_TRUE, 1), VI_SUCCESS);
    ViInt32 state = 5, angle = 6;
    EXPECT_EQ(ZEV_QX70_DropSettingQuery(vi, "1", &state, &angle), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_PhaseDropSettingQuery(vi, "1", 2, &state, &angle), VI_SUCCESS);
    EXPECT_EQ(state, 5);
    EXPECT_EQ(angle, 6);
    EXPECT_TRUE(device->messages().empty());
    EXPECT_EQ(events(), (Events{"wait 0.03", "wait 0.03", "wait 0.03", "wait 0.03"}));
    EXPECT_TRUE(popups.popups().empty()); // simulation skips the angle check with the rest
}
