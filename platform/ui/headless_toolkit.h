// The headless backend: panels and values in memory, popups recorded, confirmations answered
// from a queue, and the operator's actions fired by the test. The application's callbacks run
// against the same resource, IDs and bindings as with the Qt backend.
//
// Focus follows the Qt backend: displaying a panel makes it the active one, which sends it
// EVENT_GOT_FOCUS (and EVENT_LOST_FOCUS to the panel that was active) when it was not active
// already. Popups do not move the focus here.
#pragma once

#include "ui/backend.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace qx::ui {

class HeadlessPanel;

class HeadlessToolkit final : public Backend {
public:
    struct Popup {
        enum class Kind { Message, Warning, Confirm, File, Choice };
        Kind kind = Kind::Message;
        std::string title;
        std::string message;
        int answer = 0;          // what ConfirmPopup or ChoicePopup returned
        bool unanswered = false; // met an empty answer queue (and was answered no, or cancelled)
    };

    // What the operator does. Each returns the callback's result (0 when none is bound), or a
    // UIE_ code: UIE_INVALID_PANEL / UIE_INVALID_CONTROL, UIE_PANEL_HIDDEN when the panel is not
    // displayed, UIE_CONTROL_DIMMED, UIE_NOT_SUPPORTED for an action the control does not
    // offer (committing an indicator), UIE_TYPE_MISMATCH for a value of the wrong type.
    int commit(int panel, int control);
    // Types a value into a numeric or text control and commits it; a number outside the
    // control's range is refused as the widget refuses it: EVENT_OUT_OF_RANGE, the value kept.
    int commit(int panel, int control, int value);
    int commit(int panel, int control, std::int16_t value);
    int commit(int panel, int control, double value);
    int commit(int panel, int control, const char *value);
    int commit(int panel, int control, const std::string &value);
    // Operates a switch or toggle (its value flips) or a button, then commits.
    int click(int panel, int control);
    int rightClick(int panel, int control);
    // Brings a displayed panel to the front: lost focus to the active panel, got focus to it.
    int activate(int panel);
    int gotFocus(int panel);
    int lostFocus(int panel);
    // Closes the window: EVENT_CLOSE only; the panel stays until a callback discards it.
    int close(int panel);

    // What the program did.
    const std::vector<Popup> &popups() const { return popups_; }
    void clearPopups() { popups_.clear(); }
    void answerConfirm(bool yes) { answers_.push_back(yes); }
    // The operator's pick in the next choice popup, by its text; none queued cancels it.
    void answerChoice(std::string choice) { choices_.push_back(std::move(choice)); }
    // The operator's choice in the next file dialog; "" cancels it (as does an empty queue).
    void answerFile(std::string path) { files_.push_back(std::move(path)); }
    std::size_t unansweredConfirms() const;
    std::size_t pendingAnswers() const { return answers_.size(); }
    bool displayed(int panel) const;
    int activePanel() const { return active_; } // 0: none
    const std::vector<int> &quitCodes() const { return quitCodes_; }

    // The operator's script for RunUserInterface: the actions run in order until one of them
    // (through a callback) quits the loop; running out first returns UIE_NO_MORE_EVENTS.
    void schedule(std::function<void()> action) { script_.push_back(std::move(action)); }
    // Runs after each scripted action: where a test waits for the work the action started on
    // other threads (processing their toolkit calls meanwhile with ProcessSystemEvents).
    void setSettle(std::function<void()> settle) { settle_ = std::move(settle); }
    bool waitCursor() const { return waitCursor_; }

    // Backend
    std::unique_ptr<PanelView> createPanel(const PanelRecord &record, int handle) override;
    int messagePopup(const std::string &title, const std::string &message) override;
    int confirmPopup(const std::string &title, const std::string &message) override;
    int choicePopup(const std::string &title, const std::string &message,
                    const std::vector<std::string> &choices) override;
    int warningPopup(const std::string &title, const std::string &message) override;
    int fileSelectPopup(const FileRequest &request, std::string &path) override;
    int runEventLoop() override;
    void quitEventLoop(int code) override;
    void post(std::function<void()> call) override;
    void processEvents() override;
    void setWaitCursor(bool busy) override { waitCursor_ = busy; }

private:
    friend class HeadlessPanel;
    HeadlessPanel *panel(int handle) const;
    int operatorTarget(int panel, int control, HeadlessPanel *&target);
    int enterable(int panel, int control);
    template <class Value> int enter(int panel, int control, Value value);
    int focus(int handle);
    void unfocus(int handle);

    std::vector<Popup> popups_;
    std::deque<bool> answers_;
    std::deque<std::string> files_;
    std::deque<std::string> choices_;
    std::deque<std::function<void()>> script_;
    std::function<void()> settle_;
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_; // calls of other threads, under postedMutex_
    bool waitCursor_ = false;
    std::vector<int> quitCodes_;
    bool quitRequested_ = false;
    int quitCode_ = 0;
    int active_ = 0;
};

// Installs a fresh headless backend (panels of the previous backend are discarded) and returns
// it; valid until the next backend is installed. Call it outside the event loop and callbacks.
HeadlessToolkit &useHeadless();

} // namespace qx::ui
