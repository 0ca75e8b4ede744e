// The panel toolkit of the front panel: panels loaded from a resource file, typed control
// values, popups and the event loop. One API; a Qt backend (ui/qt_toolkit.h) shows real windows
// and a headless backend (ui/headless_toolkit.h) serves tests. The application's callbacks are
// the same with either.
//
// Contract
// - Start a backend first: qx::ui::useQt(argc, argv) or qx::ui::useHeadless(). Until then every
//   call returns UIE_NOT_INITIALIZED.
// - Results: 0, a panel handle (> 0) or an answer (>= 0) on success, a negative UIE_ code on
//   failure. No call throws; bad handles, IDs, null pointers and wrong types give codes.
// - Values are typed. GetCtrlVal needs the control's own type (int, std::int16_t, double, text).
//   SetCtrlVal takes the control's own type, and also an int or std::int16_t for any numeric
//   control (a double is refused by integer controls). Anything else is UIE_TYPE_MISMATCH.
//   Numbers are kept within the control's range; a switch or toggle reads 1 for any nonzero value.
// - Setting a value never raises an event: commits come from the operator only.
// - Callbacks are bound by name: register the table (RegisterCallbacks) before LoadPanel. A
//   resource naming a callback that is not registered does not load (UIE_UNKNOWN_CALLBACK).
// - One thread, the user-interface thread: the one that first uses the toolkit, then the one
//   that starts a backend. Callbacks run there, one at a time: an event raised while a callback
//   runs (a focus change around a popup, say) is delivered after it returns, and dropped if its
//   panel has been discarded by then.
// - Other threads may call the toolkit too (a worker that talks to an instrument): each call runs
//   on the user-interface thread, in the order the calls come, while the caller waits; the
//   user-interface thread never waits for them. Once the backend is closed, calls still waiting
//   return UIE_NOT_INITIALIZED. Starting and closing a backend belong to the user-interface thread.
// - Panel handles are positive and never reused, so a stale handle is always an error.
#pragma once

#include "runtime/clock.h"
#include "runtime/popup.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx::ui {

// Events passed to callbacks.
inline constexpr int EVENT_COMMIT = 1;      // the operator changed or operated the control
inline constexpr int EVENT_RIGHT_CLICK = 5; // eventData1 = y, eventData2 = x in the panel
inline constexpr int EVENT_GOT_FOCUS = 8;   // the panel became the active window
inline constexpr int EVENT_LOST_FOCUS = 9;
inline constexpr int EVENT_CLOSE = 11; // the operator closed the window; it stays until discarded
// The operator finished entering a number outside the control's range: the control keeps its
// value and shows the refusal; no commit follows.
inline constexpr int EVENT_OUT_OF_RANGE = 20;

// Status codes.
enum UiStatus : int {
    UIE_SUCCESS = 0,
    UIE_NOT_INITIALIZED = -1,
    UIE_NO_DISPLAY = -2,
    UIE_FILE_NOT_FOUND = -3,
    UIE_BAD_RESOURCE = -4,
    UIE_NO_SUCH_PANEL = -5,
    UIE_UNKNOWN_CALLBACK = -6,
    UIE_BAD_CALLBACK_TABLE = -7,
    UIE_INVALID_PANEL = -8,
    UIE_INVALID_CONTROL = -9,
    UIE_TYPE_MISMATCH = -10,
    UIE_NULL_POINTER = -11,
    UIE_BUFFER_TOO_SMALL = -12,
    UIE_INVALID_VALUE = -13,
    UIE_INVALID_RANGE = -14,
    UIE_NOT_SUPPORTED = -15,
    UIE_LOOP_RUNNING = -16,
    UIE_NO_MORE_EVENTS = -17,
    UIE_PANEL_HIDDEN = -18,
    UIE_CONTROL_DIMMED = -19,
    UIE_OUT_OF_MEMORY = -20,
    UIE_INTERNAL = -21,
};

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void *callbackData, int eventData1,
                                int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void *callbackData, int eventData1, int eventData2);

// One row of the application's callback table: the name the resource uses and the function.
struct CallbackEntry {
    constexpr CallbackEntry(const char *entryName, CtrlCallbackPtr function) : name(entryName), control(function) {}
    constexpr CallbackEntry(const char *entryName, PanelCallbackPtr function) : name(entryName), panel(function) {}
    const char *name = nullptr;
    CtrlCallbackPtr control = nullptr;
    PanelCallbackPtr panel = nullptr;
};

// Replaces the callback table (copied). Names must be non-empty and unique, functions non-null.
int RegisterCallbacks(std::span<const CallbackEntry> table) noexcept;

// Loads panel `panelResourceNumber` of the resource file as a top-level panel (parentPanel 0;
// child panels are not supported) and returns its handle, hidden. Failures: UIE_FILE_NOT_FOUND,
// UIE_BAD_RESOURCE, UIE_NO_SUCH_PANEL, UIE_UNKNOWN_CALLBACK; LastLoadError() tells the detail.
int LoadPanel(int parentPanel, const char *resourceFile, int panelResourceNumber) noexcept;
int LoadPanel(int parentPanel, const std::string &resourceFile, int panelResourceNumber) noexcept;
std::string LastLoadError() noexcept;
// Shows the panel and brings it to the front; it becomes the active window.
int DisplayPanel(int panel) noexcept;
// Binds (or, with null, unbinds) the panel's callback, in place of the one its resource names.
int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData) noexcept;
// Removes the panel for good; allowed inside the panel's own callbacks.
int DiscardPanel(int panel) noexcept;

int GetCtrlVal(int panel, int control, int *value) noexcept;
int GetCtrlVal(int panel, int control, std::int16_t *value) noexcept;
int GetCtrlVal(int panel, int control, double *value) noexcept;
int GetCtrlVal(int panel, int control, std::string *value) noexcept;
// Copies the text with its terminating NUL; a text longer than size - 1 is cut to fit and the
// result is UIE_BUFFER_TOO_SMALL.
int GetCtrlVal(int panel, int control, char *buffer, std::size_t size) noexcept;

int SetCtrlVal(int panel, int control, int value) noexcept;
int SetCtrlVal(int panel, int control, std::int16_t value) noexcept;
int SetCtrlVal(int panel, int control, double value) noexcept; // NaN: UIE_INVALID_VALUE
int SetCtrlVal(int panel, int control, const char *value) noexcept;
int SetCtrlVal(int panel, int control, const std::string &value) noexcept;

// Range of a numeric control. Integer controls round the maximum down and the minimum up; the
// value is coerced into the new range without a commit. A maximum below the minimum (or a
// minimum above the maximum) is UIE_INVALID_RANGE. A ring's range narrows the items it offers
// (within its items' indices).
int SetCtrlMax(int panel, int control, double maximum) noexcept;
int SetCtrlMin(int panel, int control, double minimum) noexcept;
int GetCtrlRange(int panel, int control, double *minimum, double *maximum) noexcept;

// A dimmed control shows its value but the operator cannot use it.
int SetCtrlDimmed(int panel, int control, int dimmed) noexcept;
// The control's label ('&' marks the mnemonic), as the resource gave it until changed.
int SetCtrlLabel(int panel, int control, const std::string &label) noexcept;
int GetCtrlLabel(int panel, int control, std::string *label) noexcept;
int GetCtrlDimmed(int panel, int control, int *dimmed) noexcept;

// Strip charts. SetStripChartTraces names the traces (and clears the chart); PlotStripChart adds
// one point per trace at `seconds` (UIE_INVALID_VALUE unless one value per trace); the chart
// shows the span of seconds its resource gives, up to the latest point, and GetStripChartPoints
// gives a trace's points within it. Other controls: UIE_TYPE_MISMATCH.
struct ChartPoint {
    double x;
    double y;
    bool operator==(const ChartPoint &) const = default;
};
int SetStripChartTraces(int panel, int control, const std::vector<std::string> &names) noexcept;
int PlotStripChart(int panel, int control, double seconds, const std::vector<double> &values) noexcept;
int GetStripChartPoints(int panel, int control, std::size_t trace, std::vector<ChartPoint> *points) noexcept;

// A file the operator chooses in a modal dialog: 1 with `path` set, 0 when cancelled.
struct FileRequest {
    std::string title;
    std::string directory; // where the dialog starts
    std::string pattern;   // e.g. "Sequences (*.json)"
    bool save = false;     // a file to write (the dialog asks before replacing one)
};
int FileSelectPopup(const FileRequest &request, std::string *path) noexcept;

// Settings kept from one run of the program to the next (the Qt backend's QSettings; the
// headless backend keeps them while it lives). GetSetting gives `fallback` when there is none.
std::string GetSetting(const std::string &key, const std::string &fallback) noexcept;
int SaveSetting(const std::string &key, const std::string &value) noexcept;

// Modal popups. MessagePopup and WarningPopup (a fault, with the warning icon) return 0 once the
// operator has acknowledged them; ConfirmPopup returns 1 for yes and 0 for no.
int MessagePopup(const char *title, const char *message) noexcept;
int MessagePopup(const std::string &title, const std::string &message) noexcept;
int WarningPopup(const std::string &title, const std::string &message) noexcept;
int ConfirmPopup(const char *title, const char *message) noexcept;
int ConfirmPopup(const std::string &title, const std::string &message) noexcept;

// A question with its own answers (at least two): the index of the one chosen. The last is the
// cancel: closing the popup or Escape gives it.
int ChoicePopup(const std::string &title, const std::string &message, const std::vector<std::string> &choices) noexcept;

// Runs the event loop until QuitUserInterface; returns the code given there.
int RunUserInterface() noexcept;
// Ends the running loop with `code`; outside the loop it does nothing. Returns 0.
int QuitUserInterface(int code) noexcept;

// On the user-interface thread: handles what is pending now (window events, calls of other
// threads) and returns; UIE_NOT_SUPPORTED on another thread.
int ProcessSystemEvents() noexcept;
// Shows (1) or hides (0) that the program is busy: the wait cursor over its windows.
int SetWaitCursor(int busy) noexcept;

// Blocking pause in seconds, through the one clock (virtual in tests).
using runtime::Delay;

// Shows the run-time's message popups (the driver's messages) through the toolkit: as modal
// message boxes with the Qt backend, recorded with the headless one; on standard error when no
// backend runs. The program installs it: qx::runtime::setPopupService(&service).
class ToolkitPopupService final : public runtime::PopupService {
public:
    void messagePopup(std::string_view title, std::string_view message) override;
};

// Ends the process with `status` at once.
[[noreturn]] void ExitProcess(int status) noexcept;

// Discards every panel and stops the backend.
int CloseUserInterface() noexcept; // UIE_LOOP_RUNNING inside the loop or a callback

// Where the panel resource `fileName` is: next to the executable, else in the program's data
// folder (../share/<program>/ from the executable's folder), else the bare file name
// (which LoadPanel then reports as UIE_FILE_NOT_FOUND unless it is in the working directory).
// Empty for a null name.
std::string PanelResourcePath(const char *fileName) noexcept;

} // namespace qx::ui
