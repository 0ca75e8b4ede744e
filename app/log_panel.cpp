// The measurement log panel: the chosen kinds of one phase measured every interval into a CSV
// file and an SQLite database, and plotted over the last minutes. A ticker thread keeps the pace
// and hands each row to the instrument worker, so the log's queries never interleave with a
// setting, a sequence or a refresh; a row that is still waiting is not queued twice.
#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "failure_text.h"
#include "instrument_worker.h"
#include "measurement_log.h"
#include "qxseries_panels.h"
#include "quantities.h"
#include "runtime/clock.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

namespace qx::app {
namespace {

using namespace qx::sequence;

constexpr char kTitle[] = "QX Series Measurement Log";

struct Choice {
    int control;
    const char *kind;
};
constexpr Choice kChoices[] = {{LOG_VOLTAGE, "voltage"}, {LOG_CURRENT, "current"}, {LOG_POWER, "power"}};
constexpr int kSettingControls[] = {LOG_VOLTAGE, LOG_CURRENT, LOG_POWER, LOG_PHASE, LOG_INTERVAL};

struct LogState {
    int panel = 0;
    std::mutex mutex; // the log and what describes it; never held across instrument work
    MeasurementLog log;
    std::vector<LogChannel> channels;
    double start = 0.0; // the platform clock's seconds at the first row
    bool active = false;
    int shownOn = 0; // the panel that shows the rows

    std::mutex stopMutex; // one stop at a time (the operator's, or the worker's after an error)
    std::thread ticker;
    std::condition_variable wake;
    bool stopping = false; // under mutex
};

LogState &state()
{
    static LogState instance;
    return instance;
}

void tick(double interval, int panel)
{
    LogState &s = state();
    for (;;) {
        instrumentWorker().submit({panel, LOG_CHART, 0}, [] { return logTick(); });
        std::unique_lock lock(s.mutex);
        if (s.wake.wait_for(lock, std::chrono::duration<double>(interval), [&] { return s.stopping; }))
            return;
    }
}

std::vector<LogChannel> chosenChannels(int panel)
{
    std::int16_t phase = 0;
    ui::GetCtrlVal(panel, LOG_PHASE, &phase);
    std::vector<LogChannel> channels;
    for (const Choice &choice : kChoices) {
        int on = 0;
        ui::GetCtrlVal(panel, choice.control, &on);
        if (on != 0)
            channels.push_back({choice.kind, phase});
    }
    return channels;
}

std::string traceName(const LogChannel &c)
{
    const MeasurementKind *kind = findMeasurement(c.kind);
    return c.column() + (kind != nullptr && kind->unit[0] != '\0' ? std::string(" (") + kind->unit + ")" : "");
}

std::string homeFolder()
{
    const char *home = std::getenv("HOME");
    return home != nullptr ? home : ".";
}

// Asks where the rows go and opens the files; false (told) when it cannot.
bool openFiles(int panel, const std::vector<LogChannel> &channels)
{
    std::string csv;
    const ui::FileRequest request{"Log the measurements to a CSV file", ui::GetSetting("folders/logs", homeFolder()),
                                  "CSV files (*.csv)", true};
    if (ui::FileSelectPopup(request, &csv) != 1)
        return false;
    const std::filesystem::path folder = std::filesystem::path(csv).parent_path();
    const std::string database = (folder / "qxseries-log.db").string();
    LogState &s = state();
    std::string error;
    {
        const std::lock_guard lock(s.mutex);
        if (s.log.open(csv, database, channels, error)) {
            s.channels = channels;
            s.start = runtime::currentClock().now();
            s.active = true;
            s.shownOn = panel;
            s.stopping = false;
        }
    }
    if (!error.empty()) {
        recordFailure("Log: " + error);
        ui::WarningPopup(kTitle, error);
        return false;
    }
    ui::SaveSetting("folders/logs", folder.string());
    ui::SetCtrlVal(panel, LOG_FILES, shownPath(csv) + " and " + shownPath(database) + " (table " + s.log.table() + ")");
    return true;
}

void holdSettings(int panel, bool hold)
{
    for (const int control : kSettingControls)
        ui::SetCtrlDimmed(panel, control, hold ? 1 : 0);
}

} // namespace

int open_logging(int, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kLogging);
    if (event != ui::EVENT_COMMIT)
        return 0;
    LogState &s = state();
    if (s.panel > 0 && ui::DisplayPanel(s.panel) == 0)
        return 0;
    s.panel = ui::LoadPanel(0, panelResourceFile(), LOG);
    if (s.panel < 0) {
        s.panel = 0;
        return -1;
    }
    return ui::DisplayPanel(s.panel);
}

int log_panel(int panel, int event, void *, int, int)
{
    if (event != ui::EVENT_CLOSE)
        return 0;
    stopLogging();
    ui::DiscardPanel(panel);
    state().panel = 0;
    return 0;
}

int log_start(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kLogStart);
    if (event != ui::EVENT_COMMIT)
        return 0;
    int on = 0;
    ui::GetCtrlVal(panel, LOG_START, &on);
    if (on == 0) {
        stopLogging();
        return 0;
    }
    stopLogging(); // the last log's ticker, if an error ended it
    const std::vector<LogChannel> channels = chosenChannels(panel);
    const char *refusal = appState().vi == VI_NULL ? "Connect to the instrument first: the log measures the connected source."
                          : channels.empty()       ? "Choose at least one quantity to log."
                                                   : nullptr;
    if (refusal != nullptr)
        ui::MessagePopup(kTitle, refusal);
    if (refusal != nullptr || !openFiles(panel, channels)) {
        ui::SetCtrlVal(panel, LOG_START, 0);
        return refusal != nullptr ? -1 : 0;
    }
    std::vector<std::string> traces;
    for (const LogChannel &c : channels)
        traces.push_back(traceName(c));
    ui::SetStripChartTraces(panel, LOG_CHART, traces);
    holdSettings(panel, true);
    double interval = 1.0;
    ui::GetCtrlVal(panel, LOG_INTERVAL, &interval);
    state().ticker = std::thread(tick, interval, panel);
    return 0;
}

int logTick()
{
    LogState &s = state();
    std::vector<LogChannel> channels;
    double start = 0.0;
    int panel = 0;
    {
        const std::lock_guard lock(s.mutex);
        if (!s.active)
            return 0;
        channels = s.channels;
        start = s.start;
        panel = s.shownOn;
    }
    const std::string time = utcTimestamp();
    const double elapsed = runtime::currentClock().now() - start;
    std::vector<double> values;
    const ViSession vi = appState().vi;
    const ViStatus status = measureChannels(vi, channels, values);
    std::string error = status < 0 ? failureText(vi, status) : std::string();
    {
        const std::lock_guard lock(s.mutex);
        if (!s.active)
            return 0;
        if (error.empty())
            s.log.append(time, elapsed, values, error);
    }
    if (!error.empty()) {
        recordFailure("Log: " + error);
        stopLogging();
        ui::SetCtrlVal(panel, LOG_LAST, "Stopped: " + error);
        ui::SetCtrlVal(panel, LOG_START, 0);
        return -1;
    }
    ui::PlotStripChart(panel, LOG_CHART, elapsed, values);
    std::string last;
    char text[48];
    std::snprintf(text, sizeof text, "%.1f s:", elapsed);
    last = text;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        std::snprintf(text, sizeof text, " %s %.6g", channels[i].column().c_str(), values[i]);
        last += text;
    }
    ui::SetCtrlVal(panel, LOG_LAST, last);
    return 0;
}

// From the user-interface thread or the worker. No toolkit call while stopMutex is held: the
// user-interface thread may be waiting for it, and the worker's toolkit calls wait for that thread.
void stopLogging()
{
    LogState &s = state();
    int panel = 0;
    {
        const std::lock_guard serial(s.stopMutex);
        {
            const std::lock_guard lock(s.mutex);
            s.stopping = true;
            s.active = false;
            s.log.close();
            panel = s.shownOn;
        }
        s.wake.notify_all();
        if (s.ticker.joinable())
            s.ticker.join();
    }
    if (panel > 0)
        holdSettings(panel, false);
}

} // namespace qx::app
