#include "driver_fixture.h"

#include "ivi/ivi.h"


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
// unknown types and phases refused before anything is sent, and failed exchanges.
TEST_F(MeasureTest, TypesPhasesModelsAndLinks)
{
    struct Case {
        const char *model = "7103QX";
        bool serial = false;
        ViInt16 phase = kWhole;
        ViInt32 type = ZEV_QX70_VAL_MEASURE_VOLTAGE;
        ViStatus status = VI_SUCCESS;
        ViReal64 value = 42; // 42: not written
        Events traffic = {};
        void (*fault)(ScriptedDevice &) = nullptr; // left in place for the rows after it
    };
    const Case cases[] = {
        {.model = "7101QX", .value = 230.5, .traffic = {"> MEAS:VOLT?"}},
        {.model = "7101QX", .type = ZEV_QX70_VAL_MEASURE_CURRENT, .value = 2, .traffic = {"> MEAS:CURR?"}},
        {.model = "7101QX", .type = ZEV_QX70_VAL_MEASURE_FREQUENCY, .value = 50, .traffic = {"> FREQ?"}},
        {.model = "7101QX", .type = ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, .value = 2.9, .traffic = {"> MEAS:CURR:AMPL:MAX?"}},
        {.model = "7101QX", .type = ZEV_QX70_VAL_MEASURE_CREST_FACTOR, .value = 1.41, .traffic = {"> MEAS:CURR:CRES?"}},
        {.model = "7101QX", .type = ZEV_QX70_VAL_MEASURE_APPARENT_POWER, .value = 470, .traffic = {"> MEAS:POW:APP?"}},
        {.model = "7101QX", .type = ZEV_QX70_VAL_MEASURE_POWER_FACTOR, .value = 0.97, .traffic = {"> MEAS:POW:PFAC?"}},
        {.model = "7101QX", .type = ZEV_QX70_VAL_MEASURE_REAL_POWER, .value = 455, .traffic = {"> MEAS:POW?"}},
        {.serial = true, .phase = 1, .value = 230.5,
         .traffic = {"> INST:NSEL 1\\n", "wait 0.03", "> MEAS:VOLT?\\n", "wait 0.02", "wait 0.02"}},
        {.phase = 2, .type = ZEV_QX70_VAL_MEASURE_REAL_POWER, .value = 455,
         .traffic = {"> INST:NSEL 2", "wait 0.03", "> MEAS:POW?"}},
        {.type = ZEV_QX70_VAL_MEASURE_APPARENT_POWER, .value = 461, .traffic = {"> MEAS:VOLT?", "> MEAS:CURR?"}},
        {.phase = 0, .type = ZEV_QX70_VAL_MEASURE_APPARENT_POWER, .value = 470,
         .traffic = {"> INST:COUP 1", "wait 0.03", "> MEAS:POW:APP?"}},
        {.model = "7105QX", .serial = true, .phase = 0, .type = ZEV_QX70_VAL_MEASURE_APPARENT_POWER, .value = 461,
         .traffic = {"> MEAS:VOLT?\\n", "wait 0.02", "wait 0.02", "> MEAS:CURR?\\n", "wait 0.02", "wait 0.02"}},
        {.model = "7105QX", .serial = true, .phase = 3, .type = ZEV_QX70_VAL_MEASURE_REAL_POWER, .value = 461,
         .traffic = {"> INST:NSEL 3\\n", "wait 0.03", "> MEAS:VOLT?\\n", "> MEAS:CURR?\\n"}},
        {.model = "7105QX", .serial = true, .phase = 1, .type = ZEV_QX70_VAL_MEASURE_POWER_FACTOR,
         .status = ZEV_QX70_ERROR_NOT_SUPPORTED, .traffic = {"> INST:NSEL 1\\n", "wait 0.03"}}, // selection first
        {.model = "7101QX", .serial = true, .phase = 0, .type = ZEV_QX70_VAL_MEASURE_POWER_FACTOR, .value = 0.97,
         .traffic = {"> MEAS:POW:PFAC?\\n", "wait 0.02"}},
        // Single-phase types only.
        {.type = ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, .status = ZEV_QX70_ERROR_NOT_SUPPORTED},
        {.type = ZEV_QX70_VAL_MEASURE_CREST_FACTOR, .status = ZEV_QX70_ERROR_NOT_SUPPORTED},
        {.type = ZEV_QX70_VAL_MEASURE_POWER_FACTOR, .status = ZEV_QX70_ERROR_NOT_SUPPORTED},
        {.type = ZEV_QX70_VAL_MEASURE_REAL_POWER, .status = ZEV_QX70_ERROR_NOT_SUPPORTED},
        // No such type or phase.
        {.type = 0, .status = IVI_ERROR_INVALID_VALUE},
        {.type = 3, .status = IVI_ERROR_INVALID_VALUE},
        {.model = "7101QX", .type = 15, .status = IVI_ERROR_INVALID_VALUE},
        {.phase = 2, .type = 7, .status = IVI_ERROR_INVALID_VALUE},
        {.phase = 4, .status = IVI_ERROR_INVALID_VALUE},
        {.model = "7101QX", .serial = true, .phase = -2, .status = IVI_ERROR_INVALID_VALUE},
        // A failed exchange ends the call, and its error is recorded.
        {.type = ZEV_QX70_VAL_MEASURE_APPARENT_POWER, .status = VI_ERROR_TMO,
         .traffic = {"> MEAS:VOLT?", "> MEAS:CURR?", "timeout 5"},
         .fault = [](ScriptedDevice &d) { d.silentOn("MEAS:CURR?"); }},
        {.phase = 2, .status = VI_ERROR_CONN_LOST, .traffic = {"> INST:NSEL 2"},
         .fault = [](ScriptedDevice &d) { d.closeOn("INST:NSEL 2"); }},
    };
    for (const auto &[model, serial, phase, type, status, expected, traffic, fault] : cases) {
        ViSession vi = openModel(serial ? kSerial : kGpib, model);
        if (fault)
            fault(*device);
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
            EXPECT_EQ(info.primary, status == ZEV_QX70_ERROR_NOT_SUPPORTED ? VI_SUCCESS : status) << label;
    }
}
