// The main panel's quit button and the fatal start-up report.
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "rs232/rs232.h"

namespace qx::app {

// Quitting leaves the driver session and the instrument as they are; only a COM port this
// program opened itself is closed, even when the operator then decides to stay.
int quit(int, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kQuit);
    if (event != ui::EVENT_COMMIT)
        return 0;
    const AppState &s = appState();
    if (s.comopened == 1)
        rs232::CloseCom(s.comport);
    if (ui::ConfirmPopup(title::kController, text::kQuitQuestion) == 1)
        ui::QuitUserInterface(0);
    return 0;
}

// Closing the main window asks as the quit button does.
int main_panel(int panel, int event, void *, int, int)
{
    return event == ui::EVENT_CLOSE ? quit(panel, 0, ui::EVENT_COMMIT, nullptr, 0, 0) : 0;
}

void errorCheck(const char *message, int)
{
    ui::MessagePopup(title::kFatal, message != nullptr ? message : "");
    ui::ExitProcess(-1);
}

} // namespace qx::app
