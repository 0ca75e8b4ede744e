// The steady panel's own events and its two ways out: the close button, which leaves the
// instrument with its output relay open and display mode 1, and closing the window, which ends
// the session and touches the output only when the operator, told that it is on, asks to switch
// it off. Both end the session, which gives the instrument back to local control.
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
    setSteadyPanel(0);
}

} // namespace

void *agreedToEnd() noexcept
{
    static int agreed = 0;
    return &agreed;
}

bool agreeToEnd(const char *question, const char *outputOnQuestion, bool agreed)
{
    const ViSession vi = appState().vi;
    ViInt32 relay = 0;
    // A lost link is not asked: the query would only wait for its time-out.
    if (vi != VI_NULL && !appState().connectionLost && ZEV_QX70_QueryOutputRelay(vi, kChannel, &relay) == VI_SUCCESS && relay == 1) {
        const int choice = ui::ChoicePopup(title::kController, outputOnQuestion, {text::kSwitchOff, text::kLeaveOn, text::kCancel});
        if (choice == 0) {
            ZEV_QX70_DisconnectOutput(vi, kChannel);
            ui::Delay(kPause);
        }
        return choice == 0 || choice == 1;
    }
    return agreed || ui::ConfirmPopup(title::kController, question) == 1;
}

int steady_panel(int panel, int event, void *data, int, int)
{
    if (event == ui::EVENT_GOT_FOCUS) {
        ui::SetCtrlVal(panel, STEADY_STATUS, text::kWaitStatus);
        queryDisplay();
    } else if (event == ui::EVENT_CLOSE && agreeToEnd(text::kCloseQuestion, text::kOutputOnAtClose, data == agreedToEnd())) {
        closeComPortIfOpened();
        endSession();
    }
    return 0;
}

int close(int panel, int, int event, void *data, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kClose);
    if (event != ui::EVENT_COMMIT)
        return 0;
    if (data != agreedToEnd() && ui::ConfirmPopup(title::kController, text::kCloseQuestion) != 1)
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
