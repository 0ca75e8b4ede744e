// The live meter: voltage, current and real power of every phase, and of all phases together,
// read again and again at the interval the operator picks. The monitor's poller keeps the pace and
// runs each reading as a job on the instrument worker, so it never interleaves with a setting, a
// sequence or a refresh; a reading still waiting there is not queued twice. The panel subscribes
// to its snapshots: they reach the panel on the subscription's own thread, never holding the
// worker or the user-interface thread.
#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "instrument_worker.h"
#include "poller.h"
#include "qxseries_panels.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

namespace qx::app {
namespace {

struct MeterRow {
    int phase;
    std::array<int, 3> indicators; // voltage, current, real power
};
constexpr MeterRow kRows[] = {
    {0, {METER_VOLTAGE_ALL, METER_CURRENT_ALL, METER_POWER_ALL}},
    {1, {METER_VOLTAGE_P1, METER_CURRENT_P1, METER_POWER_P1}},
    {2, {METER_VOLTAGE_P2, METER_CURRENT_P2, METER_POWER_P2}},
    {3, {METER_VOLTAGE_P3, METER_CURRENT_P3, METER_POWER_P3}},
};
constexpr const char *kKinds[] = {"voltage", "current", "power"};

struct MeterState {
    int panel = 0; // user-interface thread only
    std::mutex mutex;
    std::unique_ptr<monitor::Poller> poller; // under mutex
    monitor::Subscription subscription;     // under mutex
};

MeterState &state()
{
    static MeterState instance;
    return instance;
}

// The phases the connected model has, as the steady panel's phase choice offers them.
int lastPhase()
{
    double low = 0.0, high = 0.0;
    const int steady = steadyPanelShown();
    return steady > 0 && ui::GetCtrlRange(steady, STEADY_MEAS_PHASE, &low, &high) == 0 ? static_cast<int>(high) : 3;
}

std::vector<monitor::Channel> channels(int phases)
{
    std::vector<monitor::Channel> chosen;
    for (const MeterRow &row : kRows)
        if (row.phase <= phases)
            for (const char *kind : kKinds)
                chosen.push_back({kind, row.phase});
    return chosen;
}

// On the subscription's thread.
void show(int panel, const monitor::Snapshot &snapshot)
{
    if (snapshot.status < 0) {
        ui::SetCtrlVal(panel, METER_TIME, "Not measured: " + snapshot.error);
        // A lost link is the worker's to tell, where the connection's state lives.
        if (isLinkLost(snapshot.status))
            instrumentWorker().submit({panel, METER_TIME, 0}, [status = snapshot.status] {
                checkConnectionLost(status);
                return 0;
            });
        return;
    }
    for (std::size_t i = 0; i < snapshot.channels.size() && i < snapshot.values.size(); ++i) {
        const monitor::Channel &c = snapshot.channels[i];
        const auto column = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const char *k) { return c.kind == k; });
        if (c.phase >= 0 && c.phase <= 3 && column != std::end(kKinds)) // a sequence may measure other kinds
            ui::SetCtrlVal(panel, kRows[c.phase].indicators[column - std::begin(kKinds)], snapshot.values[i]);
    }
    const std::string time = snapshot.utc.size() >= 23 ? snapshot.utc.substr(11, 12) + " UTC" : snapshot.utc;
    ui::SetCtrlVal(panel, METER_TIME, (snapshot.origin == monitor::Origin::Sequence ? "By the sequence at " : "At ") + time);
}

void stopMeter()
{
    MeterState &s = state();
    std::unique_ptr<monitor::Poller> poller;
    monitor::Subscription subscription;
    {
        const std::lock_guard lock(s.mutex);
        poller = std::move(s.poller);
        subscription = std::move(s.subscription);
    }
    // Outside the lock: the sink may be waiting for the user-interface thread.
    endMonitoring(std::move(poller), std::move(subscription));
}

} // namespace

int open_meter(int, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kMeter);
    if (event != ui::EVENT_COMMIT)
        return 0;
    MeterState &s = state();
    if (s.panel > 0 && ui::DisplayPanel(s.panel) == 0)
        return 0;
    s.panel = ui::LoadPanel(0, panelResourceFile(), METER);
    if (s.panel < 0) {
        s.panel = 0;
        return -1;
    }
    // Rows of phases the model lacks stay dimmed.
    const int phases = lastPhase();
    for (const MeterRow &row : kRows)
        for (const int indicator : row.indicators)
            ui::SetCtrlDimmed(s.panel, indicator, row.phase > phases ? 1 : 0);
    return ui::DisplayPanel(s.panel);
}

int meter_panel(int panel, int event, void *, int, int)
{
    if (event != ui::EVENT_CLOSE)
        return 0;
    stopMeter();
    ui::DiscardPanel(panel);
    state().panel = 0;
    return 0;
}

int meter_run(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kMeterRun);
    if (event != ui::EVENT_COMMIT)
        return 0;
    stopMeter();
    int on = 0;
    ui::GetCtrlVal(panel, METER_RUN, &on);
    ui::SetCtrlDimmed(panel, METER_INTERVAL, on);
    if (on == 0)
        return 0;
    double interval = 1.0;
    ui::GetCtrlVal(panel, METER_INTERVAL, &interval);
    auto poller = pollerOnWorker({panel, METER_RUN, 0});
    monitor::Subscription subscription = poller->subscribe([panel](const monitor::Snapshot &s) { show(panel, s); });
    poller->start(channels(lastPhase()), interval);
    MeterState &s = state();
    const std::lock_guard lock(s.mutex);
    s.poller = std::move(poller);
    s.subscription = std::move(subscription);
    return 0;
}

void stopMetering() { stopMeter(); }

void publishReading(monitor::Snapshot snapshot)
{
    MeterState &s = state();
    const std::lock_guard lock(s.mutex);
    if (s.poller)
        s.poller->publish(std::move(snapshot));
}

} // namespace qx::app
