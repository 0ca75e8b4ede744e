#include "action_report.h"

#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "messages.h"
#include "qxseries_panels.h"
#include "ui/toolkit.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>

namespace qx::app {
namespace {

struct History {
    std::mutex mutex;
    std::deque<std::string> entries;
};

History &history()
{
    static History instance;
    return instance;
}

} // namespace

std::string timeOfDay()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

FailureDetail failureDetail(ViSession vi, ViStatus status)
{
    FailureDetail detail;
    ViStatus primary = VI_SUCCESS;
    ViChar elaboration[256] = {};
    ZEV_QX70_GetErrorInfo(vi, &primary, nullptr, elaboration);
    if (primary == ZEV_QX70_ERROR_INSTRUMENT_STATUS && status == primary && elaboration[0] != '\0') {
        detail.instrumentError = elaboration;
        detail.description = "instrument error " + detail.instrumentError;
        return detail;
    }
    ViChar message[256] = {};
    ZEV_QX70_error_message(vi, status, message);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    detail.description = std::string(message) + " (" + code + ")";
    return detail;
}

void forgetFailures() { ZEV_QX70_ClearErrorInfo(appState().vi); }

void recordFailure(const std::string &what)
{
    History &h = history();
    const std::lock_guard lock(h.mutex);
    h.entries.push_back(timeOfDay() + "  " + what);
    if (h.entries.size() > kKeptFailures)
        h.entries.pop_front();
}

FailureDetail reportAction(const char *action, ViStatus status, const char *done)
{
    const AppState &s = appState();
    FailureDetail detail;
    std::string line = std::string(action) + ": " + done;
    if (status != VI_SUCCESS) {
        detail = failureDetail(s.vi, status);
        line = std::string(action) + (status < 0 ? ": failed, " : ": warning, ") + detail.description;
        recordFailure(line);
    }
    ui::SetCtrlVal(s.steadypanel, STEADY_RESULT, line);
    return detail;
}

std::vector<std::string> errorHistory()
{
    History &h = history();
    const std::lock_guard lock(h.mutex);
    return {h.entries.begin(), h.entries.end()};
}

int error_history(int, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kHistory);
    if (event != ui::EVENT_COMMIT)
        return 0;
    std::string listing;
    for (const std::string &entry : errorHistory())
        listing += entry + "\n";
    ui::MessagePopup(title::kHistory, listing.empty() ? text::kNoErrors : listing);
    return 0;
}

} // namespace qx::app
