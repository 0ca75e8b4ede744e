// What a toolkit backend provides, and how it reports the operator's actions. The toolkit core
// (toolkit.cpp) keeps handles, ranges, dimming, callback bindings and type checks; a backend
// only shows controls, keeps their values and runs popups and the event loop.
#pragma once

#include "ui/panel_resource.h"

#include <functional>
#include <memory>
#include <string>

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
    virtual int runEventLoop() = 0;
    virtual void quitEventLoop(int code) = 0;
    // Runs `call` on the toolkit's thread soon, after the calls posted before it; callable from
    // any thread.
    virtual void post(std::function<void()> call) = 0;
    // Handles what is pending now, posted calls included (on the toolkit's thread).
    virtual void processEvents() = 0;
    virtual void setWaitCursor(bool busy) = 0;
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
