// The steady panel's own events and its two ways out: the close button, which leaves the
// instrument with its output relay open and display mode 1, and closing the window, which ends
// the session without touching the output. No driver status is examined on either path.
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "qxseries_panels.h"
#include "rs232/rs232.h"

namespace qx::app {
namespace {

void closeComPortIfOpened()
{
    const AppState &s = appState();
    if (s.comopened == 1)
        rs232::CloseCom(s.comport);
}

// Last steps of both ways out: session gone, toggles off, steady panel discarded.
void endSession()
{
    AppState &s = appState();
    ZEV_QX70_close(s.vi);
    ui::Delay(kPause);
    s.vi = VI_NULL;
    ui::SetCtrlVal(s.mainpanel, MAIN_RS232, 0);
    ui::SetCtrlVal(s.mainpanel, MAIN_GPIB, 0);
    ui::SetCtrlVal(s.mainpanel, MAIN_STATUS, text::kChooseStatus);
    ui::DiscardPanel(s.steadypanel);
    s.steadypanel = 0;
}

} // namespace

int steady_panel(int panel, int event, void *, int, int)
{
    if (event == ui::EVENT_GOT_FOCUS) {
        ui::SetCtrlVal(panel, STEADY_STATUS, text::kWaitStatus);
        queryDisplay();
    } else if (event == ui::EVENT_CLOSE && ui::ConfirmPopup(title::kController, text::kCloseQuestion) == 1) {
        closeComPortIfOpened();
        endSession();
    }
    return 0;
}

int close(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kClose);
    if (event != ui::EVENT_COMMIT || ui::ConfirmPopup(title::kController, text::kCloseQuestion) != 1)
        return 0;
    const ViSession vi = appState().vi;
    closeComPortIfOpened();
    ZEV_QX70_DisconnectOutput(vi, kChannel);
    ui::Delay(kPause);
    ui::SetCtrlVal(panel, STEADY_OUTPUT, 0);
    ZEV_QX70_DisplayMode(vi, kChannel, ZEV_QX70_VAL_DISPLAY_MODE_ON); // the display back on as the panel goes
    ui::Delay(kPause);
    endSession();
    return 0;
}

} // namespace qx::app
