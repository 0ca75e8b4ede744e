#include "callbacks.h"

namespace qx::app {
namespace {

constexpr ui::CallbackEntry kCallbacks[] = {
    {"interfaceGPIB", interfaceGPIB},
    {"interfaceRS232", interfaceRS232},
    {"quit", quit},
    {"steady_panel", steady_panel},
    {"close", close},
    {"frequency", frequency},
    {"voltage", voltage},
    {"current", current},
    {"range", range},
    {"remote_on_off", remote_on_off},
    {"output_on_off", output_on_off},
    {"display_on_off", display_on_off},
    {"register_control", register_control},
    {"measure", measure},
    {"OutputDrop", OutputDrop},
    {"Start", Start},
    {"Angle1", Angle1},
    {"Angle2", Angle2},
    {"Angle3", Angle3},
    {"Angle4", Angle4},
};

} // namespace

std::span<const ui::CallbackEntry> callbackTable() noexcept { return kCallbacks; }

} // namespace qx::app
