#include "app_state.h"

namespace qx::app {

AppState &appState() noexcept
{
    static AppState state;
    return state;
}

} // namespace qx::app
