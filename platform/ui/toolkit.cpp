// The toolkit core: loaded panels by handle, callback bindings, type checks, ranges, dimming and
// the delivery of events one callback at a time. The backend only shows and stores.
#include "ui/toolkit.h"

#include "ui/backend.h"
#include "ui/thread_bridge.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <new>

namespace qx::ui {
namespace {

struct ControlState {
    const ControlRecord *record = nullptr;
    ControlView *view = nullptr; // owned by the panel's view
    double min = 0.0;
    double max = 0.0;
    bool dimmed = false;
    std::string label;
    std::size_t traces = 0; // a strip chart's
    CtrlCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
};

struct PanelState {
    std::shared_ptr<const PanelResource> resource; // keeps the records alive
    const PanelRecord *record = nullptr;
    std::unique_ptr<PanelView> view;
    std::map<int, ControlState> controls;
    PanelCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
};

struct PendingEvent {
    int panel;
    int control; // unused for panel events
    int event;
    int data1;
    int data2;
    bool panelEvent;
};

struct Core {
    std::unique_ptr<Backend> backend;
    std::map<int, PanelState> panels; // declared after the backend: views go before it
    std::map<std::string, CtrlCallbackPtr, std::less<>> controlCallbacks;
    std::map<std::string, PanelCallbackPtr, std::less<>> panelCallbacks;
    int nextHandle = 1;
    int callbackDepth = 0;
    bool loopRunning = false;
    std::deque<PendingEvent> pending;
    std::string lastLoadError;
};

// Never destroyed: Qt objects must not be torn down during static destruction.
Core &core()
{
    static Core *instance = new Core;
    return *instance;
}

template <class Body> int guardedHere(Body &body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return UIE_OUT_OF_MEMORY;
    } catch (...) {
        return UIE_INTERNAL;
    }
}

// Every call runs on the toolkit's thread; from another thread it goes there and waits.
template <class Body> int guarded(Body &&body) noexcept
{
    if (bridge::onToolkitThread())
        return guardedHere(body);
    try {
        return bridge::call([&body]() -> int { return guardedHere(body); });
    } catch (...) {
        return UIE_OUT_OF_MEMORY;
    }
}

// Counts running callbacks, so that events raised meanwhile wait their turn.
class CallbackScope {
public:
    CallbackScope() { ++core().callbackDepth; }
    ~CallbackScope() { --core().callbackDepth; }
    CallbackScope(const CallbackScope &) = delete;
    CallbackScope &operator=(const CallbackScope &) = delete;
};

class LoopScope {
public:
    LoopScope() { core().loopRunning = true; }
    ~LoopScope() { core().loopRunning = false; }
    LoopScope(const LoopScope &) = delete;
    LoopScope &operator=(const LoopScope &) = delete;
};

template <class Call> int callSafely(Call &&call) noexcept
{
    CallbackScope scope;
    try {
        return call();
    } catch (...) {
        std::fputs("qx::ui: a callback threw an exception; it was stopped there\n", stderr);
        return UIE_INTERNAL;
    }
}

int findPanel(int panel, PanelState *&state)
{
    Core &c = core();
    if (!c.backend)
        return UIE_NOT_INITIALIZED;
    const auto found = c.panels.find(panel);
    if (found == c.panels.end())
        return UIE_INVALID_PANEL;
    state = &found->second;
    return 0;
}

int findControl(int panel, int control, ControlState *&state)
{
    PanelState *p = nullptr;
    if (const int status = findPanel(panel, p); status < 0)
        return status;
    const auto found = p->controls.find(control);
    if (found == p->controls.end())
        return UIE_INVALID_CONTROL;
    state = &found->second;
    return 0;
}

// Reads a number from a control of exactly the wanted type.
int getNumber(int panel, int control, ValueType wanted, double &value)
{
    ControlState *s = nullptr;
    if (const int status = findControl(panel, control, s); status < 0)
        return status;
    if (s->record->type != wanted)
        return UIE_TYPE_MISMATCH;
    const double v = s->view->number();
    value = std::isnan(v) ? 0.0 : std::clamp(v, s->min, s->max);
    return 0;
}

int setNumber(int panel, int control, double value, bool integral)
{
    ControlState *s = nullptr;
    if (const int status = findControl(panel, control, s); status < 0)
        return status;
    const ControlRecord &r = *s->record;
    if (!isNumericKind(r.kind) && !isBinaryKind(r.kind))
        return UIE_TYPE_MISMATCH;
    if (!integral && r.type != ValueType::Double)
        return UIE_TYPE_MISMATCH;
    if (std::isnan(value))
        return UIE_INVALID_VALUE;
    if (isBinaryKind(r.kind))
        value = value != 0.0 ? 1.0 : 0.0;
    s->view->setNumber(std::clamp(value, s->min, s->max));
    return 0;
}

// Sets one end of a numeric control's range (`upper`: the maximum) and coerces the value into it.
int setLimit(int panel, int control, double limit, bool upper)
{
    ControlState *s = nullptr;
    if (const int status = findControl(panel, control, s); status < 0)
        return status;
    const ControlRecord &r = *s->record;
    if (!isNumericKind(r.kind))
        return UIE_TYPE_MISMATCH;
    if (std::isnan(limit))
        return UIE_INVALID_RANGE;
    if (r.type != ValueType::Double)
        limit = upper ? std::floor(limit) : std::ceil(limit);
    const ValueLimits type = valueTypeLimits(r.type);
    limit = std::clamp(limit, type.lowest, type.highest);
    if (r.kind == ControlKind::Ring) // a ring offers some of its items, never more
        limit = std::clamp(limit, r.min, r.max);
    if (upper ? s->min > limit : limit > s->max)
        return UIE_INVALID_RANGE;
    (upper ? s->max : s->min) = limit;
    s->view->setRange(s->min, s->max);
    const double value = s->view->number();
    if (const double kept = std::clamp(value, s->min, s->max); kept != value)
        s->view->setNumber(kept);
    return 0;
}

int toInt(double v, double lowest, double highest)
{
    return static_cast<int>(std::clamp(std::round(v), lowest, highest));
}

int deliver(const PendingEvent &e)
{
    Core &c = core();
    const auto p = c.panels.find(e.panel);
    if (p == c.panels.end())
        return UIE_INVALID_PANEL;
    if (e.panelEvent) {
        const PanelCallbackPtr function = p->second.callback;
        void *data = p->second.callbackData;
        if (function == nullptr)
            return 0;
        return callSafely([&]() -> int { return function(e.panel, e.event, data, e.data1, e.data2); });
    }
    const auto s = p->second.controls.find(e.control);
    if (s == p->second.controls.end())
        return UIE_INVALID_CONTROL;
    const CtrlCallbackPtr function = s->second.callback;
    void *data = s->second.callbackData;
    if (function == nullptr)
        return 0;
    return callSafely([&]() -> int { return function(e.panel, e.control, e.event, data, e.data1, e.data2); });
}

int raise(const PendingEvent &e) noexcept
{
    return guarded([&]() -> int {
        Core &c = core();
        PanelState *p = nullptr;
        if (const int status = findPanel(e.panel, p); status < 0)
            return status;
        if (!e.panelEvent && p->controls.count(e.control) == 0)
            return UIE_INVALID_CONTROL;
        if (c.callbackDepth > 0) {
            c.pending.push_back(e);
            return 0;
        }
        const int result = deliver(e);
        while (!c.pending.empty() && c.callbackDepth == 0) {
            const PendingEvent next = c.pending.front();
            c.pending.pop_front();
            deliver(next); // a panel discarded meanwhile drops its events here
        }
        return result;
    });
}

int loadPanel(int parentPanel, const char *resourceFile, int number)
{
    Core &c = core();
    if (!c.backend)
        return UIE_NOT_INITIALIZED;
    c.lastLoadError.clear();
    const auto fail = [&c](int status, std::string detail) {
        c.lastLoadError = std::move(detail);
        return status;
    };
    if (resourceFile == nullptr)
        return fail(UIE_NULL_POINTER, "no resource file given");
    if (parentPanel != 0)
        return fail(UIE_NOT_SUPPORTED, "only top-level panels (parent 0) are supported");
    ResourceLoad load = loadPanelResource(resourceFile);
    if (load.status < 0)
        return fail(load.status, load.detail);
    const PanelRecord *record = load.resource->panel(number);
    if (record == nullptr)
        return fail(UIE_NO_SUCH_PANEL, std::string(resourceFile) + ": no panel number " + std::to_string(number));

    PanelState state;
    state.resource = load.resource;
    state.record = record;
    if (!record->callback.empty()) {
        const auto f = c.panelCallbacks.find(record->callback);
        if (f == c.panelCallbacks.end())
            return fail(UIE_UNKNOWN_CALLBACK,
                        "panel " + record->name + ": panel callback \"" + record->callback + "\" is not registered");
        state.callback = f->second;
    }
    for (const ControlRecord *r : record->controls()) {
        ControlState s;
        s.record = r;
        s.min = r->min;
        s.max = r->max;
        s.dimmed = r->dimmed;
        s.label = r->label;
        if (!r->callback.empty()) {
            const auto f = c.controlCallbacks.find(r->callback);
            if (f == c.controlCallbacks.end())
                return fail(UIE_UNKNOWN_CALLBACK,
                            r->name + ": control callback \"" + r->callback + "\" is not registered");
            s.callback = f->second;
        }
        state.controls.emplace(r->id, s);
    }

    const int handle = c.nextHandle;
    state.view = c.backend->createPanel(*record, handle);
    if (!state.view)
        return fail(UIE_INTERNAL, "the backend built no panel");
    for (auto &[id, s] : state.controls) {
        s.view = state.view->control(id);
        if (s.view == nullptr)
            return fail(UIE_INTERNAL, "the backend built no control " + s.record->name);
    }
    ++c.nextHandle;
    c.panels.emplace(handle, std::move(state));
    return handle;
}

} // namespace

int installBackend(std::unique_ptr<Backend> backend) noexcept
{
    Core &c = core();
    if (c.loopRunning || c.callbackDepth > 0)
        return UIE_LOOP_RUNNING;
    // Views go while their backend still exists, and out of the table first, so that whatever
    // they report on the way finds no panel.
    bridge::attach(nullptr); // threads waiting on the old backend give up
    std::map<int, PanelState> old;
    old.swap(c.panels);
    old.clear();
    c.pending.clear();
    std::unique_ptr<Backend> previous = std::move(c.backend);
    c.backend = std::move(backend);
    bridge::attach(c.backend.get());
    return 0;
}

Backend *currentBackend() noexcept { return core().backend.get(); }

PanelView *panelView(int panel) noexcept
{
    PanelState *p = nullptr;
    return findPanel(panel, p) < 0 ? nullptr : p->view.get();
}

int raiseControlEvent(int panel, int control, int event, int eventData1, int eventData2) noexcept
{
    return raise({panel, control, event, eventData1, eventData2, false});
}

int raisePanelEvent(int panel, int event, int eventData1, int eventData2) noexcept
{
    return raise({panel, 0, event, eventData1, eventData2, true});
}

int RegisterCallbacks(std::span<const CallbackEntry> table) noexcept
{
    return guarded([&]() -> int {
        std::map<std::string, CtrlCallbackPtr, std::less<>> controls;
        std::map<std::string, PanelCallbackPtr, std::less<>> panels;
        for (const CallbackEntry &entry : table) {
            if (entry.name == nullptr || *entry.name == '\0' || (entry.control == nullptr) == (entry.panel == nullptr))
                return UIE_BAD_CALLBACK_TABLE;
            if (controls.count(entry.name) != 0 || panels.count(entry.name) != 0)
                return UIE_BAD_CALLBACK_TABLE;
            if (entry.control != nullptr)
                controls.emplace(entry.name, entry.control);
            else
                panels.emplace(entry.name, entry.panel);
        }
        core().controlCallbacks = std::move(controls);
        core().panelCallbacks = std::move(panels);
        return 0;
    });
}

int LoadPanel(int parentPanel, const char *resourceFile, int panelResourceNumber) noexcept
{
    return guarded([&]() -> int { return loadPanel(parentPanel, resourceFile, panelResourceNumber); });
}

int LoadPanel(int parentPanel, const std::string &resourceFile, int panelResourceNumber) noexcept
{
    return LoadPanel(parentPanel, resourceFile.c_str(), panelResourceNumber);
}

std::string LastLoadError() noexcept
{
    std::string detail;
    guarded([&]() -> int {
        detail = core().lastLoadError;
        return 0;
    });
    return detail;
}

int DisplayPanel(int panel) noexcept
{
    return guarded([&]() -> int {
        PanelState *p = nullptr;
        if (const int status = findPanel(panel, p); status < 0)
            return status;
        p->view->display(); // may run focus callbacks that discard the panel: touch nothing after
        return 0;
    });
}

int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData) noexcept
{
    return guarded([&]() -> int {
        PanelState *p = nullptr;
        if (const int status = findPanel(panel, p); status < 0)
            return status;
        p->callback = callback;
        p->callbackData = callbackData;
        return 0;
    });
}

int DiscardPanel(int panel) noexcept
{
    return guarded([&]() -> int {
        Core &c = core();
        if (!c.backend)
            return UIE_NOT_INITIALIZED;
        // Out of the table first, so that what the view does while it goes finds no panel.
        auto node = c.panels.extract(panel);
        return node.empty() ? int(UIE_INVALID_PANEL) : 0;
    });
}

namespace {

// An integer control's value, held within the bounds of the caller's type.
template <class Integer> int getInteger(int panel, int control, ValueType type, Integer *value) noexcept
{
    if (value == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        double v = 0.0;
        const int status = getNumber(panel, control, type, v);
        if (status == 0)
            *value = static_cast<Integer>(
                toInt(v, std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max()));
        return status;
    });
}

} // namespace

int GetCtrlVal(int panel, int control, int *value) noexcept
{
    return getInteger(panel, control, ValueType::Int, value);
}

int GetCtrlVal(int panel, int control, std::int16_t *value) noexcept
{
    return getInteger(panel, control, ValueType::Int16, value);
}

int GetCtrlVal(int panel, int control, double *value) noexcept
{
    if (value == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int { return getNumber(panel, control, ValueType::Double, *value); });
}

namespace {

// A text control, or the status that says why there is none.
int findTextControl(int panel, int control, ControlState *&s)
{
    if (const int status = findControl(panel, control, s); status < 0)
        return status;
    return s->record->type == ValueType::Text ? 0 : int(UIE_TYPE_MISMATCH);
}

} // namespace

int GetCtrlVal(int panel, int control, std::string *value) noexcept
{
    if (value == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        const int status = findTextControl(panel, control, s);
        if (status == 0)
            *value = s->view->text();
        return status;
    });
}

int GetCtrlVal(int panel, int control, char *buffer, std::size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        std::string text;
        const int status = GetCtrlVal(panel, control, &text);
        if (status < 0)
            return status;
        const std::size_t length = std::min(text.size(), size - 1);
        std::memcpy(buffer, text.data(), length);
        buffer[length] = '\0';
        return length < text.size() ? int(UIE_BUFFER_TOO_SMALL) : 0;
    });
}

int SetCtrlVal(int panel, int control, int value) noexcept
{
    return guarded([&]() -> int { return setNumber(panel, control, value, true); });
}

int SetCtrlVal(int panel, int control, std::int16_t value) noexcept
{
    return guarded([&]() -> int { return setNumber(panel, control, value, true); });
}

int SetCtrlVal(int panel, int control, double value) noexcept
{
    return guarded([&]() -> int { return setNumber(panel, control, value, false); });
}

int SetCtrlVal(int panel, int control, const char *value) noexcept
{
    if (value == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        const int status = findTextControl(panel, control, s);
        if (status == 0)
            s->view->setText(value);
        return status;
    });
}

int SetCtrlVal(int panel, int control, const std::string &value) noexcept
{
    return SetCtrlVal(panel, control, value.c_str());
}

int SetCtrlMax(int panel, int control, double maximum) noexcept
{
    return guarded([&]() -> int { return setLimit(panel, control, maximum, true); });
}

int SetCtrlMin(int panel, int control, double minimum) noexcept
{
    return guarded([&]() -> int { return setLimit(panel, control, minimum, false); });
}

int GetCtrlRange(int panel, int control, double *minimum, double *maximum) noexcept
{
    if (minimum == nullptr || maximum == nullptr)
        return UIE_NULL_POINTER;
    ControlState *s = nullptr;
    if (const int status = findControl(panel, control, s); status < 0)
        return status;
    if (!isNumericKind(s->record->kind))
        return UIE_TYPE_MISMATCH;
    *minimum = s->min;
    *maximum = s->max;
    return 0;
}

int SetCtrlDimmed(int panel, int control, int dimmed) noexcept
{
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        if (const int status = findControl(panel, control, s); status < 0)
            return status;
        s->dimmed = dimmed != 0;
        s->view->setDimmed(s->dimmed);
        return 0;
    });
}

int GetCtrlDimmed(int panel, int control, int *dimmed) noexcept
{
    if (dimmed == nullptr)
        return UIE_NULL_POINTER;
    ControlState *s = nullptr;
    if (const int status = findControl(panel, control, s); status < 0)
        return status;
    *dimmed = s->dimmed ? 1 : 0;
    return 0;
}

int SetCtrlLabel(int panel, int control, const std::string &label) noexcept
{
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        if (const int status = findControl(panel, control, s); status < 0)
            return status;
        s->label = label;
        s->view->setLabel(label);
        return 0;
    });
}

int GetCtrlLabel(int panel, int control, std::string *label) noexcept
{
    if (label == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        if (const int status = findControl(panel, control, s); status < 0)
            return status;
        *label = s->label;
        return 0;
    });
}

namespace {

int findStripChart(int panel, int control, ControlState *&s)
{
    if (const int status = findControl(panel, control, s); status < 0)
        return status;
    return s->record->kind == ControlKind::StripChart ? 0 : int(UIE_TYPE_MISMATCH);
}

} // namespace

int SetStripChartTraces(int panel, int control, const std::vector<std::string> &names) noexcept
{
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        if (const int status = findStripChart(panel, control, s); status < 0)
            return status;
        s->traces = names.size();
        s->view->setTraces(names);
        return 0;
    });
}

int PlotStripChart(int panel, int control, double seconds, const std::vector<double> &values) noexcept
{
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        if (const int status = findStripChart(panel, control, s); status < 0)
            return status;
        if (values.size() != s->traces || !std::isfinite(seconds))
            return UIE_INVALID_VALUE;
        s->view->plot(seconds, values);
        return 0;
    });
}

int GetStripChartPoints(int panel, int control, std::size_t trace, std::vector<ChartPoint> *points) noexcept
{
    if (points == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        ControlState *s = nullptr;
        if (const int status = findStripChart(panel, control, s); status < 0)
            return status;
        if (trace >= s->traces)
            return UIE_INVALID_VALUE;
        *points = s->view->points(trace);
        return 0;
    });
}

int FileSelectPopup(const FileRequest &request, std::string *path) noexcept
{
    if (path == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        Backend *b = currentBackend();
        return b == nullptr ? int(UIE_NOT_INITIALIZED) : b->fileSelectPopup(request, *path);
    });
}

std::string GetSetting(const std::string &key, const std::string &fallback) noexcept
{
    try {
        std::string value = fallback;
        guarded([&]() -> int {
            if (Backend *b = currentBackend())
                value = b->setting(key, fallback);
            return 0;
        });
        return value;
    } catch (...) { // out of memory for the copy
        return {};
    }
}

int SaveSetting(const std::string &key, const std::string &value) noexcept
{
    return guarded([&]() -> int {
        Backend *b = currentBackend();
        if (b == nullptr)
            return UIE_NOT_INITIALIZED;
        b->saveSetting(key, value);
        return 0;
    });
}

namespace {

// A modal popup of the current backend: `show` is Backend::messagePopup or confirmPopup.
int popup(const char *title, const char *message,
          int (Backend::*show)(const std::string &, const std::string &)) noexcept
{
    if (title == nullptr || message == nullptr)
        return UIE_NULL_POINTER;
    return guarded([&]() -> int {
        Backend *b = currentBackend();
        return b == nullptr ? int(UIE_NOT_INITIALIZED) : (b->*show)(title, message);
    });
}

} // namespace

int MessagePopup(const char *title, const char *message) noexcept
{
    return popup(title, message, &Backend::messagePopup);
}

int MessagePopup(const std::string &title, const std::string &message) noexcept
{
    return MessagePopup(title.c_str(), message.c_str());
}

int WarningPopup(const std::string &title, const std::string &message) noexcept
{
    return popup(title.c_str(), message.c_str(), &Backend::warningPopup);
}

int ConfirmPopup(const char *title, const char *message) noexcept
{
    return popup(title, message, &Backend::confirmPopup);
}

int ConfirmPopup(const std::string &title, const std::string &message) noexcept
{
    return ConfirmPopup(title.c_str(), message.c_str());
}

int ChoicePopup(const std::string &title, const std::string &message, const std::vector<std::string> &choices) noexcept
{
    if (choices.size() < 2)
        return UIE_INVALID_VALUE;
    return guarded([&]() -> int {
        Backend *b = currentBackend();
        return b == nullptr ? int(UIE_NOT_INITIALIZED) : b->choicePopup(title, message, choices);
    });
}

int RunUserInterface() noexcept
{
    return guarded([]() -> int {
        Core &c = core();
        if (!c.backend)
            return UIE_NOT_INITIALIZED;
        if (c.loopRunning)
            return UIE_LOOP_RUNNING;
        LoopScope scope;
        return c.backend->runEventLoop();
    });
}

int QuitUserInterface(int code) noexcept
{
    return guarded([&]() -> int {
        Backend *b = currentBackend();
        if (b == nullptr)
            return UIE_NOT_INITIALIZED;
        b->quitEventLoop(code);
        return 0;
    });
}

int ProcessSystemEvents() noexcept
{
    if (!bridge::onToolkitThread())
        return UIE_NOT_SUPPORTED;
    return guarded([]() -> int {
        Backend *b = currentBackend();
        if (b == nullptr)
            return UIE_NOT_INITIALIZED;
        b->processEvents();
        return 0;
    });
}

int SetWaitCursor(int busy) noexcept
{
    return guarded([&]() -> int {
        Backend *b = currentBackend();
        if (b == nullptr)
            return UIE_NOT_INITIALIZED;
        b->setWaitCursor(busy != 0);
        return 0;
    });
}

void ToolkitPopupService::messagePopup(std::string_view title, std::string_view message)
{
    if (MessagePopup(std::string(title), std::string(message)) == UIE_NOT_INITIALIZED)
        std::fprintf(stderr, "%s\n", runtime::popupLine(title, message).c_str());
}

void ExitProcess(int status) noexcept
{
    std::fflush(nullptr);
    std::_Exit(status);
}

int CloseUserInterface() noexcept { return installBackend(nullptr); }

} // namespace qx::ui
