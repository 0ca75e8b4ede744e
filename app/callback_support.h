// Small pieces the callbacks share.
#pragma once

#include "instrument_worker.h"
#include "messages.h"
#include "poller.h"
#include "ui/toolkit.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace qx::app {

// The right-click answer of every control that has a hint.
inline int showHelp(const char *hint)
{
    ui::MessagePopup(title::kController, hint);
    return 0;
}

inline std::string panelResourceFile() { return ui::PanelResourcePath("QXSERIES.UIR"); }

// A poller of the connected session whose readings run on the instrument worker as jobs under
// `key` (a reading still waiting is not queued twice).
std::unique_ptr<monitor::Poller> pollerOnWorker(JobKey key);
// Stops a monitor's poller and ends a subscription from any thread. On the user-interface thread
// it handles the toolkit's events meanwhile: the subscription's sink may be waiting for a toolkit
// call, which only that thread can answer.
void endMonitoring(std::unique_ptr<monitor::Poller> poller, monitor::Subscription subscription);

// A path as the operator reads it: the home folder written "~".
inline std::string shownPath(const std::string &path)
{
    const char *home = std::getenv("HOME");
    const std::string prefix = home != nullptr && *home != '\0' ? std::string(home) + "/" : std::string();
    return !prefix.empty() && path.starts_with(prefix) ? "~/" + path.substr(prefix.size()) : path;
}

} // namespace qx::app
