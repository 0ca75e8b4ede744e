#include "live_instrument.h"

#include "conversation_device.h"
#include "latest_worker.h"
#include "markup.h"

#include "poller.h"
#include "quantities.h"
#include "reading.h"
#include "snapshot.h"
#include "visa/device.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>

namespace qx::gate::web {
namespace {

constexpr char kChannel[] = "1";
constexpr char kPollKey[] = "poll";
constexpr std::uint32_t kPollLockMs = 5000;
enum { kWaiting, kRunning, kWithdrawn }; // a control's course

struct SettingRead {
    const char *name; // the JSON member and the page's cell
    ViInt32 query;    // ZEV_QX70_VAL_QUERY_*
    int decimals;
};
constexpr SettingRead kSettingReads[] = {
    {"voltage", ZEV_QX70_VAL_QUERY_VOLTAGE, 1},
    {"frequency", ZEV_QX70_VAL_QUERY_FREQUENCY, 2},
    {"current", ZEV_QX70_VAL_QUERY_CURRENT_LIMIT, 2},
    {"range", ZEV_QX70_VAL_QUERY_VOLTAGE_RANGE, 0},
};

struct MeasuredKind {
    const char *kind; // the monitor's measurement kind
    int decimals;
};
constexpr MeasuredKind kMeasuredKinds[] = {{"voltage", 1}, {"current", 3}, {"power", 1}};

std::string number(int decimals, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string shortNumber(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string timed(const std::string &value, const std::string &utc)
{
    return "{\"value\":" + jsonString(value) + ",\"time\":" + jsonString(utc) + "}";
}

const MeasuredKind *measuredKind(const std::string &kind)
{
    for (const MeasuredKind &k : kMeasuredKinds)
        if (kind == k.kind)
            return &k;
    return nullptr;
}

// Each phase, then all together: a phase's reading selects that phase on the instrument, and the
// poll must leave the phases coupled, as other clients' settings expect them (a VOLT sent after
// INST:NSEL 3 would set phase 3 alone).
std::vector<monitor::Channel> channels(int phases)
{
    std::vector<monitor::Channel> chosen;
    for (int phase = 1; phase <= phases + 1; ++phase)
        for (const MeasuredKind &k : kMeasuredKinds)
            chosen.push_back({k.kind, phase % (phases + 1)});
    return chosen;
}

std::string measurementsJson(const monitor::Snapshot &snapshot)
{
    std::string values;
    for (std::size_t i = 0; i < snapshot.channels.size() && i < snapshot.values.size(); ++i)
        if (const MeasuredKind *kind = measuredKind(snapshot.channels[i].kind))
            values += (values.empty() ? "" : ",") + jsonString(snapshot.channels[i].column()) + ":" +
                      jsonString(number(kind->decimals, snapshot.values[i]));
    return "{\"time\":" + jsonString(snapshot.utc) + ",\"error\":" + jsonString(snapshot.error) + ",\"values\":{" +
           values + "}}";
}

std::optional<double> parseNumber(const std::string &text)
{
    if (text.empty() || text.size() > 32)
        return std::nullopt;
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

class LiveInstrument::State {
public:
    State(std::shared_ptr<serve::Conversation> conversation, Settings settings, Log log)
        : settings_(std::move(settings)), log_(std::move(log)), resource_(webResourceName(settings_.index)),
          device_(std::make_shared<ConversationDevice>(std::move(conversation), "the web face")),
          poller_([this](std::function<void()> job) { submitPoll(std::move(job)); }, [this] { return vi_; })
    {
        visa::attachDevice(resource_, device_);
        subscription_ = poller_.subscribe([this](const monitor::Snapshot &s) { measured(s); });
        settingsJson_ = "{\"error\":\"not read yet\"}";
        measurementsJson_ = "{\"time\":\"\",\"error\":\"not measured yet\",\"values\":{}}";
    }

    ~State() { stop(); }

    EventFeed feed;

    void watch()
    {
        const std::lock_guard lock(watchMutex_);
        if (watchers_++ == 0 && !stopped_)
            poller_.start(channels(settings_.phases), settings_.interval);
    }

    void unwatch()
    {
        const std::lock_guard lock(watchMutex_);
        if (watchers_ > 0 && --watchers_ == 0)
            poller_.stop();
    }

    ControlResult control(const ControlRequest &request)
    {
        std::function<ViStatus(ViSession)> act;
        std::string done;
        if (std::string problem = prepare(request, act, done); !problem.empty())
            return {false, problem};
        auto result = std::make_shared<std::promise<ControlResult>>();
        auto started = std::make_shared<std::atomic<int>>(kWaiting);
        std::future<ControlResult> outcome = result->get_future();
        LatestWorker::Job job;
        job.key = "control " + request.action;
        job.run = [this, act, done, result, started] {
            int waiting = kWaiting;
            if (started->compare_exchange_strong(waiting, kRunning)) // not withdrawn meanwhile
                result->set_value(runControl(act, done));
        };
        job.dropped = [result] {
            result->set_value(
                {false, "Not done: a newer request of the same kind took its place, or the gateway stops."});
        };
        worker_.submit(std::move(job));
        if (outcome.wait_for(settings_.controlTimeout) == std::future_status::ready)
            return outcome.get();
        int waiting = kWaiting;
        if (started->compare_exchange_strong(waiting, kWithdrawn))
            return {false, "Not done: the instrument stayed busy, so the request was withdrawn."};
        return {false, "Still running: the instrument is slow to answer; reload the page to see the outcome."};
    }

    void stop()
    {
        {
            const std::lock_guard lock(watchMutex_);
            if (stopped_)
                return;
            stopped_ = true;
            poller_.stop();
        }
        subscription_.unsubscribe();
        feed.close();
        worker_.stop();
        if (vi_ != VI_NULL)
            ZEV_QX70_close(vi_);
        vi_ = VI_NULL;
        visa::detachDevice(resource_);
    }

private:
    // On the poller's ticker: the settings are read just before the measurements, in one job.
    void submitPoll(std::function<void()> poll)
    {
        LatestWorker::Job job;
        job.key = kPollKey;
        job.run = [this, poll = std::move(poll)] {
            if (!open())
                return poll(); // the poller finds no session and reads nothing
            readSettings();
            // A phase's reading selects the phase: no other client's setting may land between the
            // selection and the poll's end, where the phases are coupled again (a VOLT sent while
            // phase 2 is selected sets phase 2 alone). The hold is brief: every other client's
            // call waits for it, within its own time-out, and none is refused.
            const bool locked = device_->lock(kPollLockMs);
            poll();
            if (locked)
                device_->unlock();
        };
        worker_.submit(std::move(job));
    }

    // On the worker. The session is opened at the first need and kept; the instrument's
    // conversation stays whatever happens to the line, so the session never has to be reopened.
    bool open()
    {
        if (vi_ != VI_NULL)
            return true;
        ViSession vi = VI_NULL;
        // No caching: other clients change the instrument behind this session's back. No status
        // checks while reading: they would take other clients' errors out of the instrument's
        // queue; controls turn them on for their run.
        std::string resource = resource_; // the driver's C API takes it writable
        const ViStatus status =
            ZEV_QX70_InitWithOptions(resource.data(), VI_TRUE, VI_FALSE, "Cache=0,QueryInstrStatus=0", &vi, 9600);
        if (status < 0) {
            const std::string problem = "Not connected: " + monitor::readingFailure(VI_NULL, status);
            if (problem != openProblem_ && log_)
                log_("web face: " + settings_.device + ": " + problem);
            openProblem_ = problem;
            publishSettings("{\"error\":" + jsonString(problem) + "}");
            return false;
        }
        openProblem_.clear();
        vi_ = vi;
        return true;
    }

    // On the worker.
    void readSettings()
    {
        std::string json = "{";
        std::string error;
        // The attribute asks OUTP? alone; ZEV_QX70_QueryOutputRelay would clear the instrument after it.
        ViBoolean connected = VI_FALSE;
        ViStatus status = ZEV_QX70_GetAttributeViBoolean(vi_, kChannel, ZEV_QX70_ATTR_OUTPUT_CONNECTED, &connected);
        if (status >= 0)
            json += "\"output\":" + timed(connected != VI_FALSE ? "on" : "off", monitor::utcTimestamp()) + ",";
        for (const SettingRead &read : kSettingReads) {
            if (status < 0)
                break;
            ViReal64 value = 0.0;
            status = ZEV_QX70_QueryOutputFunction(vi_, kChannel, read.query, &value);
            if (status >= 0)
                json +=
                    jsonString(read.name) + ":" + timed(number(read.decimals, value), monitor::utcTimestamp()) + ",";
        }
        if (status < 0)
            error = "Not read: " + monitor::readingFailure(vi_, status);
        publishSettings(json + "\"error\":" + jsonString(error) + "}");
    }

    // On the subscription's thread.
    void measured(const monitor::Snapshot &snapshot)
    {
        const std::lock_guard lock(jsonMutex_);
        measurementsJson_ = measurementsJson(snapshot);
        feed.publish(combined());
    }

    void publishSettings(std::string json)
    {
        const std::lock_guard lock(jsonMutex_);
        settingsJson_ = std::move(json);
        feed.publish(combined());
    }

    std::string combined() const // under jsonMutex_
    {
        return "{\"settings\":" + settingsJson_ + ",\"measurements\":" + measurementsJson_ + "}";
    }

    // Checks the request and makes the driver call of it; "" or why it is refused.
    static std::string prepare(const ControlRequest &r, std::function<ViStatus(ViSession)> &act, std::string &done)
    {
        if (r.action == "output") {
            if (r.value != "on" && r.value != "off")
                return "The output is switched on or off.";
            const bool on = r.value == "on";
            act = [on](ViSession vi) {
                return on ? ZEV_QX70_ConnectOutput(vi, kChannel) : ZEV_QX70_DisconnectOutput(vi, kChannel);
            };
            done = on ? "Output switched on." : "Output switched off.";
            return {};
        }
        if (r.action == "drop") {
            act = [](ViSession vi) {
                return ZEV_QX70_PhaseDropCommands(vi, kChannel, 0, 0.0, 0.0, VI_FALSE, ZEV_QX70_VAL_PHASE_ALL);
            };
            done = "Output dropped.";
            return {};
        }
        const sequence::SettableQuantity *quantity = sequence::findSettable(r.action);
        if (quantity == nullptr)
            return "No such control.";
        const std::optional<double> value =
            quantity->quantity == sequence::Quantity::Range ? sequence::rangeSelector(r.value) : parseNumber(r.value);
        if (!value)
            return quantity->quantity == sequence::Quantity::Range ? "The range is low or high."
                                                                   : "Not a number: " + r.value.substr(0, 32);
        act = [set = quantity->set, v = *value](ViSession vi) { return set(vi, kChannel, v); };
        std::string name = quantity->name;
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
        done = name + " set to " +
               (quantity->quantity == sequence::Quantity::Range ? std::string(sequence::rangeName(*value))
                                                                : shortNumber(*value) + " " + quantity->unit) +
               ".";
        return {};
    }

    // On the worker.
    ControlResult runControl(const std::function<ViStatus(ViSession)> &act, const std::string &done)
    {
        if (!open())
            return {false, openProblem_};
        ZEV_QX70_SetAttributeViBoolean(vi_, VI_NULL, ZEV_QX70_ATTR_QUERY_INSTRUMENT_STATUS, VI_TRUE);
        const ViStatus status = act(vi_);
        ZEV_QX70_SetAttributeViBoolean(vi_, VI_NULL, ZEV_QX70_ATTR_QUERY_INSTRUMENT_STATUS, VI_FALSE);
        ControlResult result{status >= 0, status >= 0 ? done : "Not done: " + monitor::readingFailure(vi_, status)};
        readSettings();
        if (log_)
            log_("web face: " + settings_.device + ": " + result.message);
        return result;
    }

    const Settings settings_;
    const Log log_;
    const std::string resource_;
    std::shared_ptr<ConversationDevice> device_;
    LatestWorker worker_;
    monitor::Poller poller_;
    monitor::Subscription subscription_;
    ViSession vi_ = VI_NULL;  // worker only (and stop(), after the worker)
    std::string openProblem_; // worker only

    std::mutex watchMutex_;
    int watchers_ = 0;     // under watchMutex_
    bool stopped_ = false; // under watchMutex_

    std::mutex jsonMutex_;
    std::string settingsJson_, measurementsJson_; // under jsonMutex_
};

LiveInstrument::LiveInstrument(std::shared_ptr<serve::Conversation> conversation, Settings settings, Log log)
    : state_(std::make_unique<State>(std::move(conversation), std::move(settings), std::move(log)))
{
}

LiveInstrument::~LiveInstrument() { stop(); }

EventFeed &LiveInstrument::feed() { return state_->feed; }
void LiveInstrument::watch() { state_->watch(); }
void LiveInstrument::unwatch() { state_->unwatch(); }

ControlResult LiveInstrument::control(const ControlRequest &request)
{
    try {
        return state_->control(request);
    } catch (...) {
        return {false, "Not done: the gateway ran out of resources."};
    }
}

void LiveInstrument::stop() { state_->stop(); }

} // namespace qx::gate::web
