#include "ui/headless_toolkit.h"

#include <algorithm>
#include <deque>
#include <type_traits>
#include <map>

namespace qx::ui {

namespace {

class HeadlessControl final : public ControlView {
public:
    explicit HeadlessControl(const ControlRecord &record)
        : record_(record), number_(record.defaultNumber), text_(record.defaultText)
    {
    }
    double number() const override { return number_; }
    void setNumber(double value) override { number_ = value; }
    std::string text() const override { return text_; }
    void setText(const std::string &value) override { text_ = value; }
    // The core keeps the range and the dimmed state; memory needs nothing more.
    void setRange(double, double) override {}
    void setDimmed(bool) override {}
    void setTraces(const std::vector<std::string> &names) override { traces_.assign(names.size(), {}); }
    void plot(double x, const std::vector<double> &values) override
    {
        for (std::size_t i = 0; i < traces_.size() && i < values.size(); ++i) {
            std::deque<ChartPoint> &trace = traces_[i];
            trace.push_back({x, values[i]});
            while (!trace.empty() && trace.front().x < x - record_.seconds)
                trace.pop_front();
        }
    }
    std::vector<ChartPoint> points(std::size_t trace) const override
    {
        return trace < traces_.size() ? std::vector<ChartPoint>(traces_[trace].begin(), traces_[trace].end())
                                      : std::vector<ChartPoint>{};
    }
    const ControlRecord &record() const { return record_; }

private:
    const ControlRecord &record_;
    double number_;
    std::string text_;
    std::vector<std::deque<ChartPoint>> traces_;
};

} // namespace

class HeadlessPanel final : public PanelView {
public:
    HeadlessPanel(HeadlessToolkit &toolkit, const PanelRecord &record, int handle) : toolkit_(toolkit), handle_(handle)
    {
        for (const ControlRecord *c : record.controls())
            controls_.emplace(c->id, HeadlessControl(*c));
    }
    ~HeadlessPanel() override { toolkit_.unfocus(handle_); }
    HeadlessPanel(const HeadlessPanel &) = delete;
    HeadlessPanel &operator=(const HeadlessPanel &) = delete;

    ControlView *control(int id) override { return find(id); }
    HeadlessControl *find(int id)
    {
        const auto found = controls_.find(id);
        return found == controls_.end() ? nullptr : &found->second;
    }
    void display() override
    {
        visible_ = true;
        toolkit_.focus(handle_); // may end with this panel discarded
    }
    bool visible() const { return visible_; }

private:
    HeadlessToolkit &toolkit_;
    int handle_;
    bool visible_ = false;
    std::map<int, HeadlessControl> controls_;
};

HeadlessPanel *HeadlessToolkit::panel(int handle) const
{
    return currentBackend() == this ? dynamic_cast<HeadlessPanel *>(panelView(handle)) : nullptr;
}

std::unique_ptr<PanelView> HeadlessToolkit::createPanel(const PanelRecord &record, int handle)
{
    return std::make_unique<HeadlessPanel>(*this, record, handle);
}

int HeadlessToolkit::messagePopup(const std::string &title, const std::string &message)
{
    popups_.push_back({Popup::Kind::Message, title, message, 0, false});
    return 0;
}

int HeadlessToolkit::warningPopup(const std::string &title, const std::string &message)
{
    popups_.push_back({Popup::Kind::Warning, title, message, 0, false});
    return 0;
}

int HeadlessToolkit::fileSelectPopup(const FileRequest &request, std::string &path)
{
    popups_.push_back({Popup::Kind::File, request.title, request.directory, 0, files_.empty()});
    if (files_.empty() || files_.front().empty()) {
        if (!files_.empty())
            files_.pop_front();
        return 0;
    }
    path = files_.front();
    files_.pop_front();
    return 1;
}

int HeadlessToolkit::confirmPopup(const std::string &title, const std::string &message)
{
    Popup popup{Popup::Kind::Confirm, title, message, 0, answers_.empty()};
    if (!answers_.empty()) {
        popup.answer = answers_.front() ? 1 : 0;
        answers_.pop_front();
    }
    popups_.push_back(popup);
    return popup.answer;
}

int HeadlessToolkit::choicePopup(const std::string &title, const std::string &message,
                                 const std::vector<std::string> &choices)
{
    std::string text = message;
    for (const std::string &choice : choices)
        text += " [" + choice + "]";
    Popup popup{Popup::Kind::Choice, title, text, static_cast<int>(choices.size()) - 1, choices_.empty()};
    if (!choices_.empty()) {
        const auto found = std::find(choices.begin(), choices.end(), choices_.front());
        choices_.pop_front();
        if (found != choices.end())
            popup.answer = static_cast<int>(found - choices.begin());
    }
    popups_.push_back(popup);
    return popup.answer;
}

int HeadlessToolkit::runEventLoop()
{
    quitRequested_ = false;
    while (!quitRequested_) {
        if (script_.empty())
            return UIE_NO_MORE_EVENTS;
        const std::function<void()> action = std::move(script_.front());
        script_.pop_front();
        if (action)
            action();
        if (settle_)
            settle_();
    }
    return quitCode_;
}

void HeadlessToolkit::post(std::function<void()> call)
{
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(call));
}

void HeadlessToolkit::processEvents()
{
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard lock(postedMutex_);
            if (posted_.empty())
                return;
            next = std::move(posted_.front());
            posted_.pop_front();
        }
        next();
    }
}

void HeadlessToolkit::quitEventLoop(int code)
{
    quitCodes_.push_back(code);
    quitRequested_ = true;
    quitCode_ = code;
}

std::size_t HeadlessToolkit::unansweredConfirms() const
{
    return static_cast<std::size_t>(
        std::count_if(popups_.begin(), popups_.end(), [](const Popup &p) { return p.unanswered; }));
}

bool HeadlessToolkit::displayed(int handle) const
{
    const HeadlessPanel *p = panel(handle);
    return p != nullptr && p->visible();
}

int HeadlessToolkit::focus(int handle)
{
    if (active_ == handle)
        return 0;
    const int previous = active_;
    active_ = handle;
    if (previous != 0)
        raisePanelEvent(previous, EVENT_LOST_FOCUS, 0, 0);
    return raisePanelEvent(handle, EVENT_GOT_FOCUS, 0, 0);
}

// A discarded panel hears nothing more.
void HeadlessToolkit::unfocus(int handle)
{
    if (active_ == handle)
        active_ = 0;
}

// The operator can only reach controls of displayed panels that are not dimmed.
int HeadlessToolkit::operatorTarget(int handle, int control, HeadlessPanel *&target)
{
    target = panel(handle);
    if (target == nullptr)
        return currentBackend() == this ? UIE_INVALID_PANEL : UIE_NOT_INITIALIZED;
    if (target->find(control) == nullptr)
        return UIE_INVALID_CONTROL;
    if (!target->visible())
        return UIE_PANEL_HIDDEN;
    int dimmed = 0;
    GetCtrlDimmed(handle, control, &dimmed);
    return dimmed != 0 ? UIE_CONTROL_DIMMED : 0;
}

int HeadlessToolkit::commit(int handle, int control)
{
    HeadlessPanel *p = nullptr;
    if (const int status = operatorTarget(handle, control, p); status < 0)
        return status;
    const ControlKind kind = p->find(control)->record().kind;
    if (kind == ControlKind::Indicator || kind == ControlKind::TextIndicator || kind == ControlKind::Lamp)
        return UIE_NOT_SUPPORTED;
    return raiseControlEvent(handle, control, EVENT_COMMIT, 0, 0);
}

// The operator can type into numeric and text controls and choose in rings only.
int HeadlessToolkit::enterable(int handle, int control)
{
    HeadlessPanel *p = nullptr;
    if (const int status = operatorTarget(handle, control, p); status < 0)
        return status;
    const ControlKind kind = p->find(control)->record().kind;
    const bool enters = kind == ControlKind::Numeric || kind == ControlKind::Ring || kind == ControlKind::Text;
    return enters ? 0 : int(UIE_NOT_SUPPORTED);
}

template <class Value> int HeadlessToolkit::enter(int handle, int control, Value value)
{
    if (const int status = enterable(handle, control); status < 0)
        return status;
    if constexpr (std::is_arithmetic_v<Value>) { // as the spin box: a number out of range is refused
        double low = 0.0, high = 0.0;
        if (GetCtrlRange(handle, control, &low, &high) == 0 && (value < low || value > high))
            return raiseControlEvent(handle, control, EVENT_OUT_OF_RANGE, 0, 0);
    }
    if (const int status = SetCtrlVal(handle, control, value); status < 0)
        return status;
    return raiseControlEvent(handle, control, EVENT_COMMIT, 0, 0);
}

int HeadlessToolkit::commit(int panel, int control, int value) { return enter(panel, control, value); }
int HeadlessToolkit::commit(int panel, int control, std::int16_t value) { return enter(panel, control, value); }
int HeadlessToolkit::commit(int panel, int control, double value) { return enter(panel, control, value); }
int HeadlessToolkit::commit(int panel, int control, const char *value)
{
    if (value == nullptr)
        return UIE_NULL_POINTER;
    return enter(panel, control, value);
}
int HeadlessToolkit::commit(int panel, int control, const std::string &value)
{
    return enter(panel, control, value.c_str());
}

int HeadlessToolkit::click(int handle, int control)
{
    HeadlessPanel *p = nullptr;
    if (const int status = operatorTarget(handle, control, p); status < 0)
        return status;
    HeadlessControl &c = *p->find(control);
    if (c.record().kind == ControlKind::Lamp)
        return UIE_NOT_SUPPORTED;
    if (isBinaryKind(c.record().kind))
        c.setNumber(c.number() != 0.0 ? 0.0 : 1.0);
    else if (c.record().kind != ControlKind::Button)
        return UIE_NOT_SUPPORTED;
    return raiseControlEvent(handle, control, EVENT_COMMIT, 0, 0);
}

int HeadlessToolkit::rightClick(int handle, int control)
{
    HeadlessPanel *p = nullptr;
    if (const int status = operatorTarget(handle, control, p); status < 0)
        return status;
    return raiseControlEvent(handle, control, EVENT_RIGHT_CLICK, 0, 0);
}

namespace {

int displayedPanel(const HeadlessToolkit &ui, int panel)
{
    if (panelView(panel) == nullptr)
        return currentBackend() == &ui ? UIE_INVALID_PANEL : UIE_NOT_INITIALIZED;
    return ui.displayed(panel) ? 0 : UIE_PANEL_HIDDEN;
}

} // namespace

int HeadlessToolkit::activate(int handle)
{
    if (const int status = displayedPanel(*this, handle); status < 0)
        return status;
    return focus(handle);
}

int HeadlessToolkit::gotFocus(int handle)
{
    if (const int status = displayedPanel(*this, handle); status < 0)
        return status;
    return raisePanelEvent(handle, EVENT_GOT_FOCUS, 0, 0);
}

int HeadlessToolkit::lostFocus(int handle)
{
    if (const int status = displayedPanel(*this, handle); status < 0)
        return status;
    return raisePanelEvent(handle, EVENT_LOST_FOCUS, 0, 0);
}

int HeadlessToolkit::close(int handle)
{
    if (const int status = displayedPanel(*this, handle); status < 0)
        return status;
    return raisePanelEvent(handle, EVENT_CLOSE, 0, 0);
}

HeadlessToolkit &useHeadless()
{
    auto toolkit = std::make_unique<HeadlessToolkit>();
    HeadlessToolkit &result = *toolkit;
    if (installBackend(std::move(toolkit)) < 0) {
        // Refused inside the loop: hand out a detached toolkit whose actions find no panel.
        static HeadlessToolkit detached;
        return detached;
    }
    return result;
}

} // namespace qx::ui
