// Every callback name of QXSERIES.UIR bound to a function that logs the call and then does what
// the test asks of it, so tests see which function the resource bound and with what arguments.
#pragma once

#include "ui/toolkit.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qx::ui::test {

struct Call {
    std::string callback;
    int panel = 0, control = 0 /* 0 for the panel callback */, event = 0;
    void *data = nullptr;
    int data1 = 0, data2 = 0;
};

struct Recorder {
    std::vector<Call> calls;
    std::function<int(const Call &)> behaviour; // runs after logging; its result is returned

    int record(const Call &call)
    {
        calls.push_back(call);
        return behaviour ? behaviour(call) : 0;
    }
    // "callback:event" of each call so far.
    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const Call &c : calls)
            result.push_back(c.callback + ":" + std::to_string(c.event));
        return result;
    }
};

inline std::string panelResourceFile() { return PanelResourcePath("QXSERIES.UIR"); }

inline Recorder &recorder()
{
    static Recorder instance;
    return instance;
}

inline constexpr const char *kControlCallbackNames[] = {
    "interfaceGPIB", "interfaceRS232", "quit",    "close",      "frequency", "voltage", "current",
    "range",         "remote_on_off",  "output_on_off", "display_on_off", "register_control", "measure",
    "OutputDrop",    "Start",          "Angle1",  "Angle2",     "Angle3",    "Angle4",   "error_history",
    "open_sequences", "sequence_open", "sequence_preset", "sequence_run", "sequence_abort", "sequence_save", "open_logging", "log_start", "reconnect", "open_meter", "meter_run"};

template <std::size_t I> int recordControl(int panel, int control, int event, void *data, int data1, int data2)
{
    return recorder().record({kControlCallbackNames[I], panel, control, event, data, data1, data2});
}

inline int recordPanel(int panel, int event, void *data, int data1, int data2)
{
    return recorder().record({"steady_panel", panel, 0, event, data, data1, data2});
}

inline std::vector<CallbackEntry> recordingCallbacks()
{
    return []<std::size_t... I>(std::index_sequence<I...>) {
        return std::vector<CallbackEntry>{CallbackEntry(kControlCallbackNames[I], &recordControl<I>)...,
                                          CallbackEntry("steady_panel", &recordPanel),
                                          CallbackEntry("sequence_panel", &recordPanel),
                                          CallbackEntry("log_panel", &recordPanel),
                                          CallbackEntry("meter_panel", &recordPanel)};
    }(std::make_index_sequence<std::size(kControlCallbackNames)>());
}

} // namespace qx::ui::test
