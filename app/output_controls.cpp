// The steady panel's setting controls. Each reads its control, makes one driver call, pauses,
// and, where the status is examined, reports any nonzero status (error or warning alike) in a
// popup, with the instrument's own error when it gave one; the control keeps the value the
// operator gave it. Every outcome shows in the "Last action" line.
#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "committed_values.h"
#include "qxseries_panels.h"

#include <cstdio>
#include <string>
#include <utility>

namespace qx::app {
namespace {

enum class Examined { No, Yes };
// Whether the action changes what the output gives (and so what was measured before it).
enum class Output { Unchanged, Changed };

struct Action {
    const char *name; // as the "Last action" line names it
    const char *hint;
    Examined examined;
    Output output = Output::Changed;
};

// `call` reads the control and returns the driver's status; `after` runs on success only.
template <class Call, class After> int onSetting(int event, const Action &action, Call &&call, After &&after)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(action.hint);
    if (event != ui::EVENT_COMMIT)
        return 0;
    forgetFailures();
    const ViStatus status = call();
    ui::Delay(kPause);
    const FailureDetail failure = reportAction(action.name, status);
    if (status >= 0 && action.output == Output::Changed)
        markMeasurementsStale();
    if (checkConnectionLost(status))
        return -1;
    if (action.examined == Examined::Yes && status != VI_SUCCESS) {
        std::string message = text::kProgrammingError;
        if (!failure.instrumentError.empty())
            message += text::kInstrumentReports + failure.instrumentError;
        ui::WarningPopup(title::kError, message);
        return -1;
    }
    after();
    return 0;
}

template <class Call> int onSetting(int event, const Action &action, Call &&call)
{
    return onSetting(event, action, std::forward<Call>(call), [] {});
}

constexpr Action kFrequency{"Frequency", help::kFrequency, Examined::No};
constexpr Action kVoltage{"Voltage", help::kVoltage, Examined::Yes};
constexpr Action kCurrent{"Current limit", help::kCurrent, Examined::Yes};
constexpr Action kRange{"Voltage range", help::kRange, Examined::Yes};
constexpr Action kRemote{"Remote light", help::kRemote, Examined::No, Output::Unchanged};
constexpr Action kOutput{"Output relay", help::kOutput, Examined::Yes};
constexpr Action kDisplay{"Display mode", help::kDisplay, Examined::Yes, Output::Unchanged};
constexpr Action kRegister{"Register", help::kRegister, Examined::Yes};

// Keeps the operator inside the present range: the low range allows half the voltage and the
// full current, the high range the reverse.
void setRangeMaxima(int panel, bool high)
{
    const AppState &s = appState();
    ui::SetCtrlMax(panel, STEADY_VOLTAGE, high ? s.voltmax : s.voltmax / 2.0);
    ui::SetCtrlMax(panel, STEADY_CURRENT, high ? s.currmax / 2.0 : s.currmax);
}

} // namespace

int frequency(int panel, int, int event, void *, int, int)
{
    return onSetting(event, kFrequency, [&] {
        return ZEV_QX70_GenerateACFrequency(appState().vi, kChannel, readControl<double>(panel, STEADY_FREQUENCY));
    });
}

int voltage(int panel, int, int event, void *, int, int)
{
    return onSetting(event, kVoltage, [&] {
        return ZEV_QX70_GenerateACVoltage(appState().vi, kChannel, readControl<double>(panel, STEADY_VOLTAGE));
    });
}

int current(int panel, int, int event, void *, int, int)
{
    return onSetting(event, kCurrent, [&] {
        return ZEV_QX70_GenerateACCurrent(appState().vi, kChannel, readControl<double>(panel, STEADY_CURRENT));
    });
}

// A setpoint the instrument changed by itself on a range change is told, with its new value.
void tellChangedSetpoints(int panel, double voltageBefore, double currentBefore)
{
    const InstrumentReadback &r = appState().readback;
    std::string line = std::string(kRange.name) + ": done";
    char change[96];
    if (r.voltage != voltageBefore) {
        std::snprintf(change, sizeof change, "; the instrument changed the voltage from %g V to %g V", voltageBefore, r.voltage);
        line += change;
    }
    if (r.current != currentBefore) {
        std::snprintf(change, sizeof change, "; the instrument changed the current limit from %g A to %g A", currentBefore,
                      r.current);
        line += change;
    }
    ui::SetCtrlVal(panel, STEADY_RESULT, line);
}

int range(int panel, int, int event, void *, int, int)
{
    bool high = false;
    const double voltageBefore = readControl<double>(panel, STEADY_VOLTAGE);
    const double currentBefore = readControl<double>(panel, STEADY_CURRENT);
    return onSetting(
        event, kRange,
        [&] {
            high = readControl<int>(panel, STEADY_RANGE) == 1;
            return ZEV_QX70_GenerateACVoltageRange(appState().vi, kChannel, high ? ZEV_QX70_VAL_RANGE_HIGH : ZEV_QX70_VAL_RANGE_LOW);
        },
        [&] {
            setRangeMaxima(panel, high);
            if (queryDisplay())
                tellChangedSetpoints(panel, voltageBefore, currentBefore);
        });
}

int remote_on_off(int panel, int, int event, void *, int, int)
{
    return onSetting(event, kRemote, [&] {
        return ZEV_QX70_RemoteOnOff(appState().vi, kChannel, readControl<int>(panel, STEADY_REMOTE));
    });
}

int output_on_off(int panel, int, int event, void *, int, int)
{
    const int closed = readControl<int>(panel, STEADY_OUTPUT);
    return onSetting(
        event, kOutput,
        [&] {
            const ViSession vi = appState().vi;
            return closed == 1 ? ZEV_QX70_ConnectOutput(vi, kChannel) : ZEV_QX70_DisconnectOutput(vi, kChannel);
        },
        [&] { ui::SetCtrlVal(panel, STEADY_OUTPUT_STATE, closed); });
}

int display_on_off(int panel, int, int event, void *, int, int)
{
    return onSetting(event, kDisplay, [&] {
        const ViInt32 mode = readControl<int>(panel, STEADY_DISPLAY) == 0 ? ZEV_QX70_VAL_DISPLAY_MODE_OFF : ZEV_QX70_VAL_DISPLAY_MODE_ON;
        return ZEV_QX70_DisplayMode(appState().vi, kChannel, mode);
    });
}

int register_control(int panel, int, int event, void *, int, int)
{
    bool recall = false;
    return onSetting(
        event, kRegister,
        [&] {
            const ViInt32 number = readControl<int>(panel, STEADY_REGISTER);
            recall = readControl<int>(panel, STEADY_SAVE_RECALL) != 0;
            const ViSession vi = appState().vi;
            return recall ? ZEV_QX70_RecallRegister(vi, kChannel, number)
                          : ZEV_QX70_SaveRegister(vi, kChannel, number);
        },
        [&] {
            if (recall)
                queryDisplay();
        });
}

} // namespace qx::app
