#include "driver_fixture.h"

#include "ivi/ivi.h"

#include <tuple>

using namespace qx::test;

namespace {

class MeasureTest : public DriverTest {
protected:
    MeasureTest()
    {
        for (const auto &[query, answer] : {std::pair{"MEAS:VOLT?", "230.5"}, {"MEAS:CURR?", "2"}, {"MEAS:POW:APP?", "470"},
                                            {"MEAS:POW?", "455"}, {"MEAS:POW:PFAC?", "0.97"}, {"FREQ?", "50"},
                                            {"MEAS:CURR:AMPL:MAX?", "2.9"}, {"MEAS:CURR:CRES?", "1.41"}})
            device->answer(query, answer);
    }
};

constexpr ViInt16 kWhole = -1; // ZEV_QX70_MeasureOutput rather than the phase function

} // namespace

// Each type's own query (no waits, no status check on GPIB), phase selection, powers computed from
// volts and amps where the model lacks the query, waits per link, types a model does not measure,
// and unknown types and phases refused before anything is sent.
TEST_F(MeasureTest, TypesPhasesModelsAndLinks)
{
    // A measurement left at 42 was not written.
    const std::tuple<const char *, bool, ViInt16, ViInt32, ViStatus, ViReal64, Events> cases[] = {
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_VOLTAGE, VI_SUCCESS, 230.5, {"> MEAS:VOLT?"}},
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_CURRENT, VI_SUCCESS, 2, {"> MEAS:CURR?"}},
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_FREQUENCY, VI_SUCCESS, 50, {"> FREQ?"}},
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, VI_SUCCESS, 2.9, {"> MEAS:CURR:AMPL:MAX?"}},
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_CREST_FACTOR, VI_SUCCESS, 1.41, {"> MEAS:CURR:CRES?"}},
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_APPARENT_POWER, VI_SUCCESS, 470, {"> MEAS:POW:APP?"}},
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_POWER_FACTOR, VI_SUCCESS, 0.97, {"> MEAS:POW:PFAC?"}},
        {"7101QX", false, kWhole, ZEV_QX70_VAL_MEASURE_REAL_POWER, VI_SUCCESS, 455, {"> MEAS:POW?"}},
        {"7103QX", true, 1, ZEV_QX70_VAL_MEASURE_VOLTAGE, VI_SUCCESS, 230.5,
         {"> INST:NSEL 1\\n", "wait 0.03", "> MEAS:VOLT?\\n", "wait 0.02", "wait 0.02"}},
        {"7103QX", false, 2, ZEV_QX70_VAL_MEASURE_REAL_POWER, VI_SUCCESS, 455,
         {"> INST:NSEL 2", "wait 0.03", "> MEAS:POW?"}},
        {"7103QX", false, kWhole, ZEV_QX70_VAL_MEASURE_APPARENT_POWER, VI_SUCCESS, 461, {"> MEAS:VOLT?", "> MEAS:CURR?"}},
        {"7103QX", false, 0, ZEV_QX70_VAL_MEASURE_APPARENT_POWER, VI_SUCCESS, 470,
         {"> INST:COUP 1", "wait 0.03", "> MEAS:POW:APP?"}},
        {"7105QX", true, 0, ZEV_QX70_VAL_MEASURE_APPARENT_POWER, VI_SUCCESS, 461,
         {"> MEAS:VOLT?\\n", "wait 0.02", "wait 0.02", "> MEAS:CURR?\\n", "wait 0.02", "wait 0.02"}},
        {"7105QX", true, 3, ZEV_QX70_VAL_MEASURE_REAL_POWER, VI_SUCCESS, 461,
         {"> INST:NSEL 3\\n", "wait 0.03", "> MEAS:VOLT?\\n", "> MEAS:CURR?\\n"}},
        {"7105QX", true, 1, ZEV_QX70_VAL_MEASURE_POWER_FACTOR, ZEV_QX70_ERROR_NOT_SUPPORTED, 42,
         {"> INST:NSEL 1\\n", "wait 0.03"}}, // the selection went out first
        {"7101QX", true, 0, ZEV_QX70_VAL_MEASURE_POWER_FACTOR, VI_SUCCESS, 0.97, {"> MEAS:POW:PFAC?\\n", "wait 0.02"}},
        {"7103QX", false, kWhole, 10, ZEV_QX70_ERROR_NOT_SUPPORTED, 42, {}}, // single-phase types only
        {"7103QX", false, kWhole, 11, ZEV_QX70_ERROR_NOT_SUPPORTED, 42, {}},
        {"7103QX", false, kWhole, 13, ZEV_QX70_ERROR_NOT_SUPPORTED, 42, {}},
        {"7103QX", false, kWhole, 14, ZEV_QX70_ERROR_NOT_SUPPORTED, 42, {}},
        {"7103QX", false, kWhole, 0, IVI_ERROR_INVALID_VALUE, 42, {}}, // no such type
        {"7103QX", false, kWhole, 3, IVI_ERROR_INVALID_VALUE, 42, {}},
        {"7101QX", false, kWhole, 15, IVI_ERROR_INVALID_VALUE, 42, {}},
        {"7103QX", false, 2, 7, IVI_ERROR_INVALID_VALUE, 42, {}},
        {"7103QX", false, 4, ZEV_QX70_VAL_MEASURE_VOLTAGE, IVI_ERROR_INVALID_VALUE, 42, {}}, // no such phase
        {"7101QX", true, -2, ZEV_QX70_VAL_MEASURE_VOLTAGE, IVI_ERROR_INVALID_VALUE, 42, {}},
    };
    for (const auto &[model, serial, phase, type, status, expected, traffic] : cases) {
        ViSession vi = openModel(serial ? kSerial : kGpib, model);
        ViReal64 value = 42;
        const std::string label = std::string(model) + (serial ? " serial" : " gpib") + ", phase " +
                                  std::to_string(phase) + ", type " + std::to_string(type);
        EXPECT_TRUE(returned(vi,
                             phase == kWhole ? ZEV_QX70_MeasureOutput(vi, "1", type, &value)
                                             : ZEV_QX70_PhaseMeasureOutput(vi, "1", type, phase, &value),
                             status, traffic))
            << label;
        EXPECT_DOUBLE_EQ(value, expected) << label;
        const ErrorInfo info = errorInfo(vi);
        if (status == IVI_ERROR_INVALID_VALUE)
            EXPECT_EQ(info, (type == 7 || type == 3 || type == 0 || type == 15
                                 ? ErrorInfo{status, VI_ERROR_PARAMETER3, "Measurement Type"}
                                 : ErrorInfo{status, VI_ERROR_PARAMETER4, "Phase"}))
                << label;
        else
            EXPECT_EQ(info.primary, VI_SUCCESS) << label;
    }
}

TEST_F(MeasureTest, IoFailuresKeepThePreviousValueAndReleaseTheLock)
{
    ViSession vi = openModel(kGpib, "7103QX");
    device->silentOn("MEAS:CURR?");
    ViReal64 value = 1.5;
    EXPECT_TRUE(returned(vi, ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_APPARENT_POWER, &value), VI_ERROR_TMO,
                         {"> MEAS:VOLT?", "> MEAS:CURR?", "timeout 5"}));
    EXPECT_EQ(errorInfo(vi).primary, VI_ERROR_TMO);
    device->closeOn("INST:NSEL 2");
    EXPECT_TRUE(returned(vi, ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 2, &value),
                         VI_ERROR_CONN_LOST, {"> INST:NSEL 2"}));
    EXPECT_DOUBLE_EQ(value, 1.5);
}
