#include "callbacks.h"
#include "instrument_worker.h"
#include "messages.h"
#include "qxseries_panels.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <variant>

namespace qx::app {
namespace {

// What the operator committed, taken when the commit comes: jobs queued before it (a refresh
// on the panel's activation, say) may write the control before this job runs.
using CommittedValue = std::variant<std::monostate, double, int, std::int16_t, std::string>;

template <class Value> bool take(int panel, int control, CommittedValue &committed)
{
    Value value{};
    if (ui::GetCtrlVal(panel, control, &value) != 0)
        return false;
    committed = std::move(value);
    return true;
}

CommittedValue committedValue(int panel, int control)
{
    CommittedValue committed;
    take<double>(panel, control, committed) || take<int>(panel, control, committed) ||
        take<std::int16_t>(panel, control, committed) || take<std::string>(panel, control, committed);
    return committed; // a button: no value
}

// Puts the committed value back for the callback to read; false when the control is gone.
bool restore(int panel, int control, const CommittedValue &committed)
{
    return std::visit(
        [&](const auto &value) {
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::monostate>) {
                int dimmed = 0;
                return ui::GetCtrlDimmed(panel, control, &dimmed) == 0;
            } else {
                return ui::SetCtrlVal(panel, control, value) == 0;
            }
        },
        committed);
}

constexpr char kRefusalStart[] = "Not sent: ";

// The panel's status line (the steady panel's or the main panel's).
int setStatus(int panel, const std::string &line)
{
    const int status = ui::SetCtrlVal(panel, STEADY_STATUS, line);
    return status < 0 ? ui::SetCtrlVal(panel, MAIN_STATUS, line) : status;
}

// A typed number the control refused (outside its range) is explained in the panel's status
// line; nothing is sent.
int explainRefusal(int panel, int control)
{
    double low = 0.0, high = 0.0;
    if (ui::GetCtrlRange(panel, control, &low, &high) < 0)
        return 0;
    char line[96];
    std::snprintf(line, sizeof line, "%s%g to %g only", kRefusalStart, low, high);
    setStatus(panel, line);
    return 0;
}

// The next commit makes a refusal's explanation stale: the status line goes back to ready.
void forgetRefusal(int panel)
{
    std::string line;
    if (ui::GetCtrlVal(panel, STEADY_STATUS, &line) == 0 && line.starts_with(kRefusalStart))
        setStatus(panel, text::kReadyStatus);
}

// The operator's commits, the steady panel's refresh (got focus) and its close run on the
// instrument worker; any other event (a right click's help) is answered at once. A commit's job
// acts on the value committed, even when a job before it rewrote the control; a job whose
// control went away while it waited (its panel discarded by the job before it) is dropped: it
// has no value and must not send one.
template <ui::CtrlCallbackPtr callback>
int onWorker(int panel, int control, int event, void *data, int eventData1, int eventData2)
{
    if (event == ui::EVENT_OUT_OF_RANGE)
        return explainRefusal(panel, control);
    if (event != ui::EVENT_COMMIT)
        return callback(panel, control, event, data, eventData1, eventData2);
    forgetRefusal(panel);
    instrumentWorker().submit({panel, control, event}, [=, committed = committedValue(panel, control)] {
        if (!restore(panel, control, committed))
            return -1;
        return callback(panel, control, event, data, eventData1, eventData2);
    });
    return 0;
}

template <ui::PanelCallbackPtr callback> int onWorker(int panel, int event, void *data, int eventData1, int eventData2)
{
    if (event != ui::EVENT_GOT_FOCUS && event != ui::EVENT_CLOSE)
        return callback(panel, event, data, eventData1, eventData2);
    instrumentWorker().submit({panel, 0, event}, [=] { return callback(panel, event, data, eventData1, eventData2); });
    return 0;
}

constexpr ui::CallbackEntry kCallbacks[] = {
    {"interfaceGPIB", onWorker<interfaceGPIB>},
    {"interfaceRS232", onWorker<interfaceRS232>},
    {"quit", onWorker<quit>},
    {"steady_panel", onWorker<steady_panel>},
    {"close", onWorker<close>},
    {"frequency", onWorker<frequency>},
    {"voltage", onWorker<voltage>},
    {"current", onWorker<current>},
    {"range", onWorker<range>},
    {"remote_on_off", onWorker<remote_on_off>},
    {"output_on_off", onWorker<output_on_off>},
    {"display_on_off", onWorker<display_on_off>},
    {"register_control", onWorker<register_control>},
    {"measure", onWorker<measure>},
    {"OutputDrop", onWorker<OutputDrop>},
    {"Start", onWorker<Start>},
    {"Angle1", onWorker<Angle1>},
    {"Angle2", onWorker<Angle2>},
    {"Angle3", onWorker<Angle3>},
    {"Angle4", onWorker<Angle4>},
    {"error_history", error_history},
    {"open_sequences", open_sequences},
    {"sequence_panel", sequence_panel},
    {"sequence_open", sequence_open},
    {"sequence_preset", sequence_preset},
    {"sequence_run", onWorker<sequence_run>},
    {"sequence_abort", sequence_abort},
    {"sequence_save", sequence_save},
    {"open_logging", open_logging},
    {"log_panel", log_panel},
    {"log_start", log_start},
};

} // namespace

std::span<const ui::CallbackEntry> callbackTable() noexcept { return kCallbacks; }

ui::PanelCallbackPtr mainPanelCallback() noexcept
{
    // Only the window's close concerns it; its focus changes start no job.
    return [](int panel, int event, void *data, int eventData1, int eventData2) {
        return event == ui::EVENT_CLOSE ? onWorker<main_panel>(panel, event, data, eventData1, eventData2) : 0;
    };
}

} // namespace qx::app
