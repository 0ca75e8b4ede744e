// The front panel's callbacks, bound by name from the panel resource QXSERIES.UIR, and the
// routines they share. They run one at a time: their instrument work (commits, the steady
// panel's got focus and close) on the instrument worker, whose toolkit calls reach the
// user-interface thread in order; a right click's help on the user-interface thread. Control
// callbacks act on commit and right click, and return 0, or -1 after a failure they reported.
#pragma once

#include "ui/toolkit.h"
#include "snapshot.h"
#include "zev_qx70.h"

#include <span>

namespace qx::app {

// Main panel
int interfaceGPIB(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int interfaceRS232(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int quit(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// The main panel's own events (bound by the program, not the resource): its close quits as quit.
int main_panel(int panel, int event, void *callbackData, int eventData1, int eventData2);

// Steady-state panel
int steady_panel(int panel, int event, void *callbackData, int eventData1, int eventData2);
int close(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// After a lost connection: sets the connection up again as it was (on the worker).
int reconnect(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int frequency(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int voltage(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int current(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int range(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int remote_on_off(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int output_on_off(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int display_on_off(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int register_control(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int measure(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int OutputDrop(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int Start(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int Angle1(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int Angle2(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int Angle3(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int Angle4(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// Shows the error history; it needs no instrument and runs at once.
int error_history(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Test-sequence panel. Opening, aborting and saving run at once; the run on the worker.
int open_sequences(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_panel(int panel, int event, void *callbackData, int eventData1, int eventData2);
int sequence_open(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_preset(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_run(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_abort(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_save(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// The test record's fields: operator, equipment under test and its serial number, the store.
int sequence_operator(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_eut(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_eut_serial(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int sequence_records(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// Stops a sequence that runs (at the program's end); it ends with the output off.
void abortSequence(const std::string &by = "operator (Abort button)");
// Before quitting or closing: true when the operator agrees. With the output on, the operator
// chooses to switch it off first (done here), leave it on, or cancel; otherwise `question` is
// asked, unless `agreed` already.
bool agreeToEnd(const char *question, const char *outputOnQuestion, bool agreed);
// Whether a sequence runs now (safe from any thread).
bool sequenceRunning();
// The callback data of a quit or close the operator already agreed to (by aborting the sequence
// that ran): it asks nothing more.
void *agreedToEnd() noexcept;

// Measurement log panel. Starting and stopping run at once; each row's measuring on the worker.
int open_logging(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int log_panel(int panel, int event, void *callbackData, int eventData1, int eventData2);
int log_start(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// Stops a log that runs (at the program's end).
void stopLogging();

// Live meter panel: opening, starting and stopping run at once; each reading on the worker.
int open_meter(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int meter_panel(int panel, int event, void *callbackData, int eventData1, int eventData2);
int meter_run(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// Stops the live meter (at the program's end).
void stopMetering();
// A reading made elsewhere (by a running sequence) shown by the live meter as its own.
void publishReading(monitor::Snapshot snapshot);

// The main panel's last connection (GPIB address, COM port, model), kept between runs.
void rememberConnection();
void recallConnection(int mainPanel);

// Brings the steady panel in line with the instrument; false when the connection was found lost
// (the panel then shows so).
// The refresh brings the steady panel to the front unless `toFront` is false (a refresh after
// work started from another window).
bool queryDisplay(bool toFront = true);
// The steady panel after a failed call: a call that found the link gone (I/O error, time-out,
// closed line) turns it into the "Connection lost" state, with a way to reconnect. True then.
bool checkConnectionLost(ViStatus status);
bool isLinkLost(ViStatus status);
// The session a monitor may read: none while the link is lost (each read would wait for its
// time-out, holding the worker). On the worker.
ViSession liveSession();
// The steady panel's instrument controls held (a sequence owns the instrument) or given back.
void holdSteadyPanel(bool hold, const char *why);
// The measured values shown were measured before the last change of the output; showMeasured
// stamps new ones with the time.
void markMeasurementsStale();
void showMeasured(int panel);
// Popups for a failed GPIB probe (reads iberr) and a failed serial-port open (reads comstatus).
void displayGpibError();
void displayRs232Error();
// Reports a fatal start-up error in a popup and ends the process with status -1.
[[noreturn]] void errorCheck(const char *message, int code);

// Every callback above under the name the resource uses, for qx::ui::RegisterCallbacks.
std::span<const ui::CallbackEntry> callbackTable() noexcept;
// main_panel as the program binds it (InstallPanelCallback), on the instrument worker like the rest.
ui::PanelCallbackPtr mainPanelCallback() noexcept;

} // namespace qx::app
