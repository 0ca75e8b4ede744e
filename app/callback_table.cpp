#include "callbacks.h"
#include "instrument_worker.h"

namespace qx::app {
namespace {

// The operator's commits, the steady panel's refresh (got focus) and its close run on the
// instrument worker; any other event (a right click's help) is answered at once. A job whose
// control went away while it waited (its panel discarded by the job before it) is dropped: it
// would read no value and must not send one.
template <ui::CtrlCallbackPtr callback>
int onWorker(int panel, int control, int event, void *data, int eventData1, int eventData2)
{
    if (event != ui::EVENT_COMMIT)
        return callback(panel, control, event, data, eventData1, eventData2);
    instrumentWorker().submit({panel, control, event}, [=] {
        int dimmed = 0;
        if (ui::GetCtrlDimmed(panel, control, &dimmed) < 0)
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
};

} // namespace

std::span<const ui::CallbackEntry> callbackTable() noexcept { return kCallbacks; }

} // namespace qx::app
