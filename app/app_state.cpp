#include "app_state.h"

#include <atomic>

namespace qx::app {
namespace {

std::atomic<int> shownSteadyPanel{0};

} // namespace

AppState &appState() noexcept
{
    static AppState state;
    return state;
}

void setSteadyPanel(int handle) noexcept
{
    appState().steadypanel = handle;
    shownSteadyPanel = handle;
}

int steadyPanelShown() noexcept { return shownSteadyPanel; }

} // namespace qx::app
