// What a toolkit backend provides, and how it reports the operator's actions. The toolkit core
// (toolkit.cpp) keeps handles, ranges, dimming, callback bindings and type checks; a backend
// only shows controls, keeps their values and runs popups and the event loop.
#pragma once

#include "ui/panel_resource.h"
#include "ui/toolkit.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qx::ui {

// One control on a loaded panel, built from its record. Numbers arrive already checked and
// coerced; the view shows them and never raises an event for them.
class ControlView {
public:
    virtual ~ControlView() = default;
    virtual double number() const = 0;
    virtual void setNumber(double value) = 0;
    virtual std::string text() const = 0;
    virtual void setText(const std::string &value) = 0;
    virtual void setRange(double minimum, double maximum) = 0;
    virtual void setDimmed(bool dimmed) = 0;
    virtual void setLabel(const std::string &) {} // for a view that shows the label
    // Strip charts: the traces' names (their points cleared), one point per trace at `x` seconds,
    // and a trace's points still shown (those within the chart's span of the latest).
    virtual void setTraces(const std::vector<std::string> &) {}
    virtual void plot(double, const std::vector<double> &) {}
    virtual std::vector<ChartPoint> points(std::size_t) const { return {}; }
};

class PanelView {
public:
    virtual ~PanelView() = default;
    // Every control of the record, by ID; null for an unknown ID.
    virtual ControlView *control(int id) = 0;
    virtual void display() = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<PanelView> createPanel(const PanelRecord &record, int handle) = 0;
    virtual int messagePopup(const std::string &title, const std::string &message) = 0;
    virtual int confirmPopup(const std::string &title, const std::string &message) = 0;
    // A message that reports a fault; a backend without a warning look shows it as a message.
    virtual int warningPopup(const std::string &title, const std::string &message)
    {
        return messagePopup(title, message);
    }
    // One of `choices` (two or more; the last cancels): its index.
    virtual int choicePopup(const std::string &title, const std::string &message,
                            const std::vector<std::string> &choices) = 0;
    virtual int runEventLoop() = 0;
    virtual void quitEventLoop(int code) = 0;
    // Runs `call` on the toolkit's thread soon, after the calls posted before it; callable from
    // any thread.
    virtual void post(std::function<void()> call) = 0;
    // Handles what is pending now, posted calls included (on the toolkit's thread).
    virtual void processEvents() = 0;
    virtual void setWaitCursor(bool busy) = 0;
    // A file chosen by the operator (1) or none (0); `save` asks for a file to write.
    virtual int fileSelectPopup(const FileRequest &, std::string &) { return 0; }
    // The program's settings, kept from one run to the next where the backend can (in memory here).
    virtual std::string setting(const std::string &key, const std::string &fallback)
    {
        const auto found = settings_.find(key);
        return found == settings_.end() ? fallback : found->second;
    }
    virtual void saveSetting(const std::string &key, const std::string &value) { settings_[key] = value; }

private:
    std::map<std::string, std::string> settings_;
};

// Makes `backend` the one in use; the panels of the previous one are discarded first.
int installBackend(std::unique_ptr<Backend> backend) noexcept;
Backend *currentBackend() noexcept;
PanelView *panelView(int panel) noexcept;

// A backend reports the operator's actions here. The result is the callback's result (0 when
// none is bound or when the event waits for a running callback to end), or a UIE_ code for an
// unknown panel or control.
int raiseControlEvent(int panel, int control, int event, int eventData1, int eventData2) noexcept;
int raisePanelEvent(int panel, int event, int eventData1, int eventData2) noexcept;

} // namespace qx::ui
