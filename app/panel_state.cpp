// What the steady panel says about the instrument besides its values: a connection found lost,
// the instrument held by a running sequence, measured values older than the output's last change.
#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "qxseries_panels.h"
#include "visa/visadef.h"

#include <string>

namespace qx::app {
namespace {

// Every control that sends something to the instrument.
constexpr int kInstrumentControls[] = {
    STEADY_VOLTAGE,    STEADY_FREQUENCY, STEADY_CURRENT,  STEADY_OUTPUT,        STEADY_RANGE,
    STEADY_REMOTE,     STEADY_DISPLAY,   STEADY_REGISTER, STEADY_SAVE_RECALL,   STEADY_REGISTER_GO,
    STEADY_MEAS_PHASE, STEADY_MEASURE,   STEADY_START,    STEADY_DROP_PHASE,    STEADY_TIMED_DROP,
    STEADY_DROPTIME,   STEADY_DROP,      STEADY_ANGLE_0,  STEADY_ANGLE_90,      STEADY_ANGLE_180,
    STEADY_ANGLE_270,
};
constexpr int kAngleControls[] = {STEADY_ANGLE_0, STEADY_ANGLE_90, STEADY_ANGLE_180, STEADY_ANGLE_270};
constexpr int kMeasuredValues[] = {STEADY_MEAS_VOLTAGE, STEADY_MEAS_CURRENT, STEADY_MEAS_POWER};
constexpr char kMeasuredAt[] = "Measured at ";
constexpr char kStale[] = "Stale: measured at ";
constexpr char kStaleReason[] = ", before the output last changed";

void dimInstrumentControls(int panel, bool dim)
{
    for (const int control : kInstrumentControls)
        ui::SetCtrlDimmed(panel, control, dim ? 1 : 0);
    if (dim)
        return;
    // The angle buttons are offered only while a start angle is asked for.
    int startAtAngle = 0;
    ui::GetCtrlVal(panel, STEADY_START, &startAtAngle);
    for (const int control : kAngleControls)
        ui::SetCtrlDimmed(panel, control, startAtAngle != 0 ? 0 : 1);
}

} // namespace

bool isLinkLost(ViStatus status)
{
    return status == VI_ERROR_TMO || status == VI_ERROR_CONN_LOST || status == VI_ERROR_IO ||
           status == VI_ERROR_SYSTEM_ERROR;
}

ViSession liveSession()
{
    const AppState &s = appState();
    return s.connectionLost ? VI_NULL : s.vi;
}

bool checkConnectionLost(ViStatus status)
{
    if (!isLinkLost(status))
        return false;
    AppState &s = appState();
    s.connectionLost = true;
    if (s.steadypanel > 0) {
        dimInstrumentControls(s.steadypanel, true);
        ui::SetCtrlDimmed(s.steadypanel, STEADY_RECONNECT, 0);
        ui::SetCtrlLabel(s.steadypanel, STEADY_OUTPUT_STATE, "Output (last known)");
        ui::SetCtrlVal(s.steadypanel, STEADY_STATUS, text::kConnectionLost);
    }
    ui::SetCtrlVal(s.mainpanel, MAIN_STATUS, text::kConnectionLostMain);
    return true;
}

void holdSteadyPanel(bool hold, const char *why)
{
    const AppState &s = appState();
    if (s.steadypanel <= 0 || s.connectionLost)
        return;
    dimInstrumentControls(s.steadypanel, hold);
    ui::SetCtrlDimmed(s.steadypanel, STEADY_CLOSE, hold ? 1 : 0);
    ui::SetCtrlVal(s.steadypanel, STEADY_STATUS, why);
}

void showMeasured(int panel)
{
    for (const int control : kMeasuredValues)
        ui::SetCtrlDimmed(panel, control, 0);
    ui::SetCtrlVal(panel, STEADY_MEAS_TIME, kMeasuredAt + timeOfDay());
}

void markMeasurementsStale()
{
    const int panel = appState().steadypanel;
    std::string line;
    if (panel <= 0 || ui::GetCtrlVal(panel, STEADY_MEAS_TIME, &line) != 0 || !line.starts_with(kMeasuredAt))
        return;
    for (const int control : kMeasuredValues)
        ui::SetCtrlDimmed(panel, control, 1);
    ui::SetCtrlVal(panel, STEADY_MEAS_TIME, kStale + line.substr(sizeof kMeasuredAt - 1) + kStaleReason);
}

int reconnect(int, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kReconnect);
    if (event != ui::EVENT_COMMIT)
        return 0;
    const AppState &s = appState();
    const int main = s.mainpanel;
    if (s.interfacekind == 1) {
        ui::SetCtrlVal(main, MAIN_ADDRESS, s.address);
        return interfaceGPIB(main, MAIN_GPIB, ui::EVENT_COMMIT, nullptr, 0, 0);
    }
    ui::SetCtrlVal(main, MAIN_COMPORT, s.comport);
    return interfaceRS232(main, MAIN_RS232, ui::EVENT_COMMIT, nullptr, 0, 0);
}

} // namespace qx::app
