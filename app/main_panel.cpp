// The main panel's quit button and the fatal start-up report.
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "rs232/rs232.h"

namespace qx::app {

// Quitting while connected asks about a live output first (switch it off, leave it on, or stay),
// then ends the driver session, which gives the instrument back to local control. A COM port this
// program opened itself is closed, even when the operator then decides to stay.
int quit(int, int, int event, void *data, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kQuit);
    if (event != ui::EVENT_COMMIT)
        return 0;
    AppState &s = appState();
    if (s.comopened == 1)
        rs232::CloseCom(s.comport);
    if (!agreeToEnd(text::kQuitQuestion, text::kOutputOnAtQuit, data == agreedToEnd()))
        return 0;
    if (s.vi != VI_NULL) {
        ZEV_QX70_close(s.vi);
        s.vi = VI_NULL;
    }
    ui::QuitUserInterface(0);
    return 0;
}

// Closing the main window asks as the quit button does.
int main_panel(int panel, int event, void *data, int, int)
{
    return event == ui::EVENT_CLOSE ? quit(panel, 0, ui::EVENT_COMMIT, data, 0, 0) : 0;
}

void errorCheck(const char *message, int)
{
    ui::MessagePopup(title::kFatal, message != nullptr ? message : "");
    ui::ExitProcess(-1);
}

} // namespace qx::app
