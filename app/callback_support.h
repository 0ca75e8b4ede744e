// Small pieces the callbacks share.
#pragma once

#include "messages.h"
#include "ui/toolkit.h"

#include <string>

namespace qx::app {

// The right-click answer of every control that has a hint.
inline int showHelp(const char *hint)
{
    ui::MessagePopup(title::kController, hint);
    return 0;
}

inline std::string panelResourceFile() { return ui::PanelResourcePath("QXSERIES.UIR"); }

} // namespace qx::app
