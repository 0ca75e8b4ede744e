#include "driver_fixture.h"
#include "lock_probe.h"

#include "ivi/ivi.h"

using namespace qx::test;

namespace {

class MeasureTest : public DriverTest {
protected:
    MeasureTest()
    {
        device->answer("MEAS:VOLT?", "230.5");
        device->answer("MEAS:CURR?", "2");
        device->answer("MEAS:POW:APP?", "470");
        device->answer("MEAS:POW?", "455");
        device->answer("MEAS:POW:PFAC?", "0.97");
        device->answer("MEAS:CURR:AMPL:MAX?", "2.9");
        device->answer("MEAS:CURR:CRES?", "1.41");
        device->answer("FREQ?", "50");
    }

    ViSession openModel(const char *resource, const char *model)
    {
        device->answer("*IDN?", std::string("ZE,") + model + ",SN1,1.0");
        return open(resource);
    }
};

} // namespace

TEST_F(MeasureTest, VoltageOnPhaseOneOverTheSerialLine)
{
    ViSession vi = openModel(kSerial, "7103QX");
    ViReal64 volts = 0;
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 1, &volts), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(volts, 230.5);
    EXPECT_EQ(events(), (Events{"> INST:NSEL 1\\n", "wait 0.03", "> MEAS:VOLT?\\n", "wait 0.02", "wait 0.02"}));
}

TEST_F(MeasureTest, EachTypeAsksItsOwnQueryOnTheSinglePhaseModel)
{
    ViSession vi = openModel(kGpib, "7101QX");
    const struct {
        ViInt32 type;
        const char *query;
        ViReal64 value;
    } cases[] = {{ZEV_QX70_VAL_MEASURE_VOLTAGE, "MEAS:VOLT?", 230.5},
                 {ZEV_QX70_VAL_MEASURE_CURRENT, "MEAS:CURR?", 2},
                 {ZEV_QX70_VAL_MEASURE_FREQUENCY, "FREQ?", 50},
                 {ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, "MEAS:CURR:AMPL:MAX?", 2.9},
                 {ZEV_QX70_VAL_MEASURE_CREST_FACTOR, "MEAS:CURR:CRES?", 1.41},
                 {ZEV_QX70_VAL_MEASURE_APPARENT_POWER, "MEAS:POW:APP?", 470},
                 {ZEV_QX70_VAL_MEASURE_POWER_FACTOR, "MEAS:POW:PFAC?", 0.97},
                 {ZEV_QX70_VAL_MEASURE_REAL_POWER, "MEAS:POW?", 455}};
    for (const auto &c : cases) {
        timeline.clear();
        ViReal64 value = 0;
        EXPECT_EQ(ZEV_QX70_MeasureOutput(vi, "1", c.type, &value), VI_SUCCESS) << c.query;
        EXPECT_DOUBLE_EQ(value, c.value) << c.query;
        EXPECT_EQ(events(), Events{std::string("> ") + c.query}); // no waits, no status check
    }
}

TEST_F(MeasureTest, ThreePhaseModelRefusesSingleOnlyTypesButMeasuresThemPerPhase)
{
    ViSession vi = openModel(kGpib, "7103QX");
    for (ViInt32 type : {10, 11, 13, 14}) {
        ViReal64 value = -1;
        EXPECT_EQ(ZEV_QX70_MeasureOutput(vi, "1", type, &value), ZEV_QX70_ERROR_NOT_SUPPORTED) << type;
        EXPECT_EQ(value, -1) << type;
        EXPECT_EQ(errorInfo(vi).primary, VI_SUCCESS) << type;
        EXPECT_TRUE(lockableFromAnotherThread(vi)) << type;
    }
    EXPECT_TRUE(events().empty());

    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_REAL_POWER, 2, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 455);
    EXPECT_EQ(events(), (Events{"> INST:NSEL 2", "wait 0.03", "> MEAS:POW?"}));
}

TEST_F(MeasureTest, ApparentPowerIsComputedOnlyWhereTheModelLacksTheQuery)
{
    ViSession vi = openModel(kGpib, "7103QX");
    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_APPARENT_POWER, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 461.0);
    EXPECT_EQ(events(), (Events{"> MEAS:VOLT?", "> MEAS:CURR?"}));
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_APPARENT_POWER, 0, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 470.0);
    EXPECT_EQ(events(), (Events{"> INST:COUP 1", "wait 0.03", "> MEAS:POW:APP?"}));
}

TEST_F(MeasureTest, AnUnknownModelComputesPowersWithTheirOwnPacing)
{
    ViSession vi = openModel(kSerial, "7105QX");
    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_APPARENT_POWER, 0, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 461.0);
    EXPECT_EQ(events(), (Events{"> MEAS:VOLT?\\n", "wait 0.02", "wait 0.02", "> MEAS:CURR?\\n", "wait 0.02",
                                "wait 0.02"}));
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_REAL_POWER, 3, &value), VI_SUCCESS);
    EXPECT_EQ(events(), (Events{"> INST:NSEL 3\\n", "wait 0.03", "> MEAS:VOLT?\\n", "> MEAS:CURR?\\n"}));
    timeline.clear();
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_POWER_FACTOR, 1, &value),
              ZEV_QX70_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(events(), (Events{"> INST:NSEL 1\\n", "wait 0.03"})); // the selection went out first
}

TEST_F(MeasureTest, PowerFactorWaitsOnlyAfterItsAnswer)
{
    ViSession vi = openModel(kSerial, "7101QX");
    ViReal64 value = 0;
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_POWER_FACTOR, 0, &value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(value, 0.97);
    EXPECT_EQ(events(), (Events{"> MEAS:POW:PFAC?\\n", "wait 0.02"})); // phase 0 selects nothing on 7101
}

TEST_F(MeasureTest, UnknownTypesMeasureNothing)
{
    ViSession vi = openModel(kGpib, "7103QX");
    for (ViInt32 type : {0, 1, 3, 5, 8, 15}) {
        ViReal64 value = 42;
        EXPECT_EQ(ZEV_QX70_MeasureOutput(vi, "1", type, &value), VI_SUCCESS) << type;
        EXPECT_EQ(value, 42) << type;
    }
    EXPECT_TRUE(events().empty());
    ViReal64 value = 42;
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", 7, 2, &value), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", 7, 4, &value), VI_SUCCESS); // no such phase either
    EXPECT_EQ(value, 42);
    EXPECT_EQ(events(), (Events{"> INST:NSEL 2", "wait 0.03"}));
}

TEST_F(MeasureTest, NullMeasurementIsRefusedBeforeAnyIo)
{
    ViSession vi = openModel(kGpib, "7103QX");
    EXPECT_EQ(ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, nullptr), IVI_ERROR_INVALID_PARAMETER);
    ErrorInfo info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER4);
    EXPECT_EQ(info.elaboration, "Null address for Measurement");
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 1, nullptr),
              IVI_ERROR_INVALID_PARAMETER);
    info = errorInfo(vi);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER5);
    EXPECT_EQ(info.elaboration, "Null address for Measurement");
    EXPECT_TRUE(events().empty());
}

TEST_F(MeasureTest, IoFailuresKeepThePreviousValueAndReleaseTheLock)
{
    ViSession vi = openModel(kGpib, "7103QX");
    device->silentOn("MEAS:CURR?");
    ViReal64 value = 1.5;
    EXPECT_EQ(ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_APPARENT_POWER, &value), VI_ERROR_TMO);
    EXPECT_DOUBLE_EQ(value, 1.5);
    EXPECT_EQ(events(), (Events{"> MEAS:VOLT?", "> MEAS:CURR?", "timeout 5"}));
    EXPECT_EQ(errorInfo(vi).primary, VI_ERROR_TMO);
    EXPECT_TRUE(lockableFromAnotherThread(vi));

    timeline.clear();
    device->closeOn("INST:NSEL 2");
    EXPECT_LT(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 2, &value), 0);
    EXPECT_EQ(events(), Events{"> INST:NSEL 2"});
    EXPECT_TRUE(lockableFromAnotherThread(vi));
}

TEST_F(MeasureTest, ASimulatedSessionHasNoInstrumentToMeasure)
{
    ViSession vi = open(kGpib, "Simulate=1");
    ViReal64 value = 3.0;
    EXPECT_LT(ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, &value), 0);
    EXPECT_DOUBLE_EQ(value, 3.0);
    EXPECT_TRUE(device->messages().empty());
}
