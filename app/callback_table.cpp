#include "callbacks.h"
#include "committed_values.h"
#include "instrument_worker.h"
#include "messages.h"
#include "qxseries_panels.h"

#include <cstdio>
#include <functional>
#include <string>

namespace qx::app {
namespace {

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

using Merge = InstrumentWorker::Merge;

// The operator's commits, the steady panel's refresh (got focus) and its close run on the
// instrument worker; any other event (a right click's help) is answered at once. A commit's job
// acts on the values committed: the operated control's and those of the controls it reads
// (`reads`), as they stood at the commit, even when a job before it rewrote them or the operator
// changed them since. A job whose control went away while it waited (its panel discarded by the
// job before it) is dropped: it has no value and must not send one. A setting (Merge::Latest)
// changed again before it was sent is sent once, with the latest value; an action
// (Merge::Never) runs as often as it was pressed.
template <ui::CtrlCallbackPtr callback, Merge merge = Merge::Latest, int... reads>
int onWorker(int panel, int control, int event, void *data, int eventData1, int eventData2)
{
    if (event == ui::EVENT_OUT_OF_RANGE)
        return explainRefusal(panel, control);
    if (event != ui::EVENT_COMMIT)
        return callback(panel, control, event, data, eventData1, eventData2);
    forgetRefusal(panel);
    TakenValues taken = takeValues(panel, {control, reads...});
    instrumentWorker().submit(
        {panel, control, event},
        [=, taken = std::move(taken)] {
            if (!putBack(panel, control, taken.front().value))
                return -1;
            const CommitScope scope(taken);
            return callback(panel, control, event, data, eventData1, eventData2);
        },
        merge);
    return 0;
}

template <ui::PanelCallbackPtr callback> int onWorker(int panel, int event, void *data, int eventData1, int eventData2)
{
    if (event != ui::EVENT_GOT_FOCUS && event != ui::EVENT_CLOSE)
        return callback(panel, event, data, eventData1, eventData2);
    instrumentWorker().submit({panel, 0, event}, [=] { return callback(panel, event, data, eventData1, eventData2); });
    return 0;
}

// Quitting or closing while a sequence runs would wait behind the whole sequence: the operator
// is asked at once whether to abort it. On yes the sequence stops (its output goes off) and the
// ending follows it without asking again; on no nothing happens.
bool abortAgreed()
{
    if (!sequenceRunning())
        return true;
    if (ui::ConfirmPopup(title::kController, text::kAbortQuestion) != 1)
        return false;
    abortSequence();
    return true;
}

void endOnWorker(JobKey key, void *data, std::function<int(void *)> end)
{
    const bool running = sequenceRunning();
    if (!abortAgreed())
        return;
    void *agreed = running ? agreedToEnd() : data;
    instrumentWorker().submit(key, [agreed, end = std::move(end)] { return end(agreed); }, Merge::Never);
}

template <ui::CtrlCallbackPtr callback> int ending(int panel, int control, int event, void *data, int eventData1, int eventData2)
{
    if (event != ui::EVENT_COMMIT)
        return onWorker<callback, Merge::Never>(panel, control, event, data, eventData1, eventData2);
    endOnWorker({panel, control, event}, data,
                [=](void *agreed) { return callback(panel, control, event, agreed, eventData1, eventData2); });
    return 0;
}

template <ui::PanelCallbackPtr callback> int ending(int panel, int event, void *data, int eventData1, int eventData2)
{
    if (event != ui::EVENT_CLOSE)
        return onWorker<callback>(panel, event, data, eventData1, eventData2);
    endOnWorker({panel, 0, event}, data, [=](void *agreed) { return callback(panel, event, agreed, eventData1, eventData2); });
    return 0;
}

constexpr ui::CallbackEntry kCallbacks[] = {
    {"interfaceGPIB", onWorker<interfaceGPIB, Merge::Never, MAIN_ADDRESS>},
    {"interfaceRS232", onWorker<interfaceRS232, Merge::Never, MAIN_COMPORT, MAIN_MODEL>},
    {"quit", ending<quit>},
    {"steady_panel", ending<steady_panel>},
    {"close", ending<close>},
    {"frequency", onWorker<frequency>},
    {"voltage", onWorker<voltage>},
    {"current", onWorker<current>},
    {"range", onWorker<range>},
    {"remote_on_off", onWorker<remote_on_off>},
    {"output_on_off", onWorker<output_on_off>},
    {"display_on_off", onWorker<display_on_off>},
    {"register_control", onWorker<register_control, Merge::Never, STEADY_REGISTER, STEADY_SAVE_RECALL>},
    {"measure", onWorker<measure, Merge::Never, STEADY_MEAS_PHASE>},
    {"OutputDrop",
     onWorker<OutputDrop, Merge::Never, STEADY_DROP_PHASE, STEADY_TIMED_DROP, STEADY_DROPTIME, STEADY_START>},
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
    {"sequence_run", onWorker<sequence_run, Merge::Never>},
    {"reconnect", onWorker<reconnect, Merge::Never>},
    {"sequence_abort", sequence_abort},
    {"sequence_save", sequence_save},
    {"sequence_operator", sequence_operator},
    {"sequence_eut", sequence_eut},
    {"sequence_eut_serial", sequence_eut_serial},
    {"sequence_records", sequence_records},
    {"open_logging", open_logging},
    {"open_meter", open_meter},
    {"meter_panel", meter_panel},
    {"meter_run", meter_run},
    {"log_panel", log_panel},
    {"log_start", log_start},
};

} // namespace

std::span<const ui::CallbackEntry> callbackTable() noexcept { return kCallbacks; }

ui::PanelCallbackPtr mainPanelCallback() noexcept
{
    // Only the window's close concerns it; its focus changes start no job.
    return [](int panel, int event, void *data, int eventData1, int eventData2) {
        return event == ui::EVENT_CLOSE ? ending<main_panel>(panel, event, data, eventData1, eventData2) : 0;
    };
}

} // namespace qx::app
