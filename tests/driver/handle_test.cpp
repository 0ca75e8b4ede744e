#include "driver_fixture.h"

#include "ivi/ivi.h"

#include <functional>

using namespace qx::test;

// Every output, front-panel, measurement and drop function refuses a closed or made-up handle
// before it touches its other arguments.
TEST_F(DriverTest, EveryFunctionRefusesAHandleThatIsNotOpen)
{
    ViSession closed = open(kGpib);
    closeNow(closed);
    timeline.clear();
    ViReal64 r = 0;
    ViInt32 i = 0;
    ViChar text[512] = {};
    const std::function<ViStatus(ViSession)> calls[] = {
        [&](ViSession vi) { return ZEV_QX70_ConfigureLimits(vi, "1", &r, &r, &r, &r, &i); },
        [&](ViSession vi) { return ZEV_QX70_GenerateACVoltageRange(vi, "1", 1.0); },
        [&](ViSession vi) { return ZEV_QX70_GenerateACVoltage(vi, "1", 1.0); },
        [&](ViSession vi) { return ZEV_QX70_GenerateACCurrent(vi, "1", 1.0); },
        [&](ViSession vi) { return ZEV_QX70_GenerateACFrequency(vi, "1", 50.0); },
        [&](ViSession vi) { return ZEV_QX70_ConnectOutput(vi, "1"); },
        [&](ViSession vi) { return ZEV_QX70_DisconnectOutput(vi, "1"); },
        [&](ViSession vi) { return ZEV_QX70_QueryOutputRelay(vi, "1", &i); },
        [&](ViSession vi) { return ZEV_QX70_QueryOutputFunction(vi, "1", 1, &r); },
        [&](ViSession vi) { return ZEV_QX70_DisplayMode(vi, "1", 1); },
        [&](ViSession vi) { return ZEV_QX70_DisplayModeQuery(vi, "1", &i); },
        [&](ViSession vi) { return ZEV_QX70_SaveRegister(vi, "1", 1); },
        [&](ViSession vi) { return ZEV_QX70_RecallRegister(vi, "1", 1); },
        [&](ViSession vi) { return ZEV_QX70_PowerOnRegister(vi, "1", 1); },
        [&](ViSession vi) { return ZEV_QX70_PowerOnQuery(vi, "1", &i); },
        [&](ViSession vi) { return ZEV_QX70_LoadInitialConfiguration(vi, 1.0, 50.0, 10.0, 1); },
        [&](ViSession vi) { return ZEV_QX70_LoadSerialNumber(vi, "1", "SN1"); },
        [&](ViSession vi) { return ZEV_QX70_Serial_ID(vi, &i); },
        [&](ViSession vi) { return ZEV_QX70_Model_Number(vi, text); },
        [&](ViSession vi) { return ZEV_QX70_Serial_Number(vi, text); },
        [&](ViSession vi) { return ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, &r); },
        [&](ViSession vi) { return ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 1, &r); },
        [&](ViSession vi) { return ZEV_QX70_DropCommands(vi, "1", 1, 90.0, 1.0, 10.0, VI_TRUE); },
        [&](ViSession vi) { return ZEV_QX70_DropSettingQuery(vi, "1", &i, &i); },
        [&](ViSession vi) { return ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 1.0, VI_TRUE, 1); },
        [&](ViSession vi) { return ZEV_QX70_PhaseDropSettingQuery(vi, "1", 1, &i, &i); },
    };
    for (ViSession vi : {closed, static_cast<ViSession>(VI_NULL), static_cast<ViSession>(0x5eed)}) {
        for (size_t n = 0; n < std::size(calls); ++n)
            EXPECT_EQ(calls[n](vi), IVI_ERROR_INVALID_SESSION_HANDLE) << "call " << n << ", handle " << vi;
    }
    EXPECT_TRUE(timeline.writes().empty());
}
