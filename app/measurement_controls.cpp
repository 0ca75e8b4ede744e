// Measuring the outputs of a phase, the output-drop test, and the start-angle group: the
// switch STEADY_START enables four mutually exclusive angle buttons. No driver status is
// examined here (no popup); the outcome shows in the "Last action" line. The buttons
// STEADY_MEASURE and STEADY_DROP spring back in every case.
#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "committed_values.h"
#include "qxseries_panels.h"

#include <cstdint>

namespace qx::app {
namespace {

struct MeasurementRow {
    ViInt32 type;
    double AppState::*field;
    int indicator;
    double pause;
};

constexpr MeasurementRow kMeasurements[] = {
    {ZEV_QX70_VAL_MEASURE_VOLTAGE, &AppState::measvolt, STEADY_MEAS_VOLTAGE, kVoltageMeasurePause},
    {ZEV_QX70_VAL_MEASURE_CURRENT, &AppState::meascurr, STEADY_MEAS_CURRENT, kPause},
    {ZEV_QX70_VAL_MEASURE_REAL_POWER, &AppState::measpower, STEADY_MEAS_POWER, kPause},
};

struct AngleButton {
    int control;
    int angle;
};

// Also the order in which the buttons are dimmed, cleared and set back.
constexpr AngleButton kAngleButtons[] = {
    {STEADY_ANGLE_0, 0},
    {STEADY_ANGLE_90, 90},
    {STEADY_ANGLE_180, 180},
    {STEADY_ANGLE_270, 270},
};

// The operated button keeps the operator's value; its angle is taken even when that turned it off.
int chooseAngle(int panel, int event, int control)
{
    if (event != ui::EVENT_COMMIT)
        return 0;
    for (const AngleButton &button : kAngleButtons)
        if (button.control != control)
            ui::SetCtrlVal(panel, button.control, 0);
    for (const AngleButton &button : kAngleButtons)
        if (button.control == control)
            appState().startangle = button.angle;
    return 0;
}

} // namespace

int measure(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kMeasure);
    if (event != ui::EVENT_COMMIT)
        return 0;
    AppState &s = appState();
    forgetFailures();
    ViStatus first = VI_SUCCESS; // the first failure, whose error information the driver keeps
    const auto phase = readControl<std::int16_t>(panel, STEADY_MEAS_PHASE);
    for (const MeasurementRow &row : kMeasurements) {
        const ViStatus status = ZEV_QX70_PhaseMeasureOutput(s.vi, kChannel, row.type, phase, &(s.*row.field));
        if (first == VI_SUCCESS)
            first = status;
        ui::Delay(row.pause);
        ui::SetCtrlVal(panel, row.indicator, s.*row.field);
        if (isLinkLost(status))
            break; // the next would wait for its time-out as well
    }
    ui::SetCtrlVal(panel, STEADY_MEASURE, 0);
    reportAction("Measure", first);
    if (first >= 0)
        showMeasured(panel);
    checkConnectionLost(first);
    return 0;
}

int OutputDrop(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kDrop);
    if (event != ui::EVENT_COMMIT)
        return 0;
    AppState &s = appState();
    const auto phase = readControl<std::int16_t>(panel, STEADY_DROP_PHASE);
    const auto timed = readControl<std::int16_t>(panel, STEADY_TIMED_DROP);
    s.droptime = readControl<double>(panel, STEADY_DROPTIME);
    s.startmode = readControl<int>(panel, STEADY_START);
    if (s.startmode == 0)
        s.startangle = 0;
    forgetFailures();
    const ViStatus status = ZEV_QX70_PhaseDropCommands(s.vi, kChannel, s.startmode, static_cast<ViReal64>(s.startangle),
                                                       s.droptime, static_cast<ViBoolean>(timed), phase);
    ui::Delay(kPause);
    ui::SetCtrlVal(panel, STEADY_MEAS_VOLTAGE, s.measvolt);
    ui::SetCtrlVal(panel, STEADY_DROP, 0);
    // The voltage written back is the last measurement's, not a new one: the line says so.
    reportAction("Output drop", status, "done; the readings shown were measured before it");
    if (checkConnectionLost(status))
        return 0;
    markMeasurementsStale();
    queryDisplay(); // the panel shows what the instrument is left with
    return 0;
}

// The angle last chosen stays in force after the buttons are cleared here.
int Start(int panel, int, int event, void *, int, int)
{
    if (event != ui::EVENT_COMMIT)
        return 0;
    int on = 0;
    ui::GetCtrlVal(panel, STEADY_START, &on);
    const int dimmed = on != 0 ? 0 : 1;
    for (const AngleButton &button : kAngleButtons)
        ui::SetCtrlDimmed(panel, button.control, dimmed);
    for (const AngleButton &button : kAngleButtons)
        ui::SetCtrlVal(panel, button.control, 0);
    appState().startmode = on != 0 ? 1 : 0;
    return 0;
}

int Angle1(int panel, int, int event, void *, int, int) { return chooseAngle(panel, event, STEADY_ANGLE_0); }
int Angle2(int panel, int, int event, void *, int, int) { return chooseAngle(panel, event, STEADY_ANGLE_90); }
int Angle3(int panel, int, int event, void *, int, int) { return chooseAngle(panel, event, STEADY_ANGLE_180); }
int Angle4(int panel, int, int event, void *, int, int) { return chooseAngle(panel, event, STEADY_ANGLE_270); }

} // namespace qx::app
