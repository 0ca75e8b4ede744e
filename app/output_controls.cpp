// The steady panel's setting controls. Each reads its control, makes one driver call, pauses,
// and, where the status is examined, reports any nonzero status (error or warning alike) in a
// popup, with the instrument's own error when it gave one; the control keeps the value the
// operator gave it. Every outcome shows in the "Last action" line.
#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "qxseries_panels.h"

#include <string>
#include <utility>

namespace qx::app {
namespace {

enum class Examined { No, Yes };

struct Action {
    const char *name; // as the "Last action" line names it
    const char *hint;
    Examined examined;
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
constexpr Action kRemote{"Remote light", help::kRemote, Examined::No};
constexpr Action kOutput{"Output relay", help::kOutput, Examined::Yes};
constexpr Action kDisplay{"Display mode", help::kDisplay, Examined::Yes};
constexpr Action kRegister{"Register", help::kRegister, Examined::Yes};

template <class Value> Value readControl(int panel, int control)
{
    Value value{};
    ui::GetCtrlVal(panel, control, &value);
    return value;
}

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

int range(int panel, int, int event, void *, int, int)
{
    bool high = false;
    return onSetting(
        event, kRange,
        [&] {
            high = readControl<int>(panel, STEADY_RANGE) == 1;
            return ZEV_QX70_GenerateACVoltageRange(appState().vi, kChannel, high ? ZEV_QX70_VAL_RANGE_HIGH : ZEV_QX70_VAL_RANGE_LOW);
        },
        [&] {
            setRangeMaxima(panel, high);
            queryDisplay();
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
    return onSetting(event, kOutput, [&] {
        const ViSession vi = appState().vi;
        return readControl<int>(panel, STEADY_OUTPUT) == 1 ? ZEV_QX70_ConnectOutput(vi, kChannel)
                                                      : ZEV_QX70_DisconnectOutput(vi, kChannel);
    });
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
