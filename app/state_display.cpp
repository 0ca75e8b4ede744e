// The steady panel's refresh from the instrument. A failed query leaves its field as the driver
// left it, and the refresh still ends with "Ready...", unless a query found the link gone: the
// panel then says the connection is lost instead.
#include "app_state.h"
#include "callbacks.h"
#include "messages.h"
#include "qxseries_panels.h"

#include <cstdio>
#include <string>

namespace qx::app {
namespace {

constexpr char kDisplayLabel[] = "&Display mode";

// A refresh's queries in order; once one finds the link gone, the rest are not sent (each would
// wait for its time-out).
class Refresh {
public:
    template <class Query> void run(Query &&query)
    {
        if (lost_ == VI_SUCCESS) {
            if (const ViStatus status = query(); isLinkLost(status))
                lost_ = status;
            ui::Delay(kPause);
        }
    }
    ViStatus lost() const { return lost_; }

private:
    ViStatus lost_ = VI_SUCCESS;
};

void queryFunction(Refresh &refresh, ViInt32 code, double &field)
{
    refresh.run([&] { return ZEV_QX70_QueryOutputFunction(appState().vi, kChannel, code, &field); });
}

void showConnection(int panel)
{
    const AppState &s = appState();
    char line[64];
    if (s.interfacekind == 1)
        std::snprintf(line, sizeof line, "GPIB, Address %d", s.address);
    else
        std::snprintf(line, sizeof line, "RS-232, COM port %d", s.comport);
    ui::SetCtrlVal(panel, STEADY_CONNECTION, line);
}

// The switch knows modes 1 and 2 only; another mode read back is named in its label, so that the
// switch's "Mode 2" is not taken for what the instrument reported.
void showOddDisplayMode(int panel, ViInt32 mode)
{
    const bool known = mode == ZEV_QX70_VAL_DISPLAY_MODE_ON || mode == ZEV_QX70_VAL_DISPLAY_MODE_OFF;
    ui::SetCtrlLabel(panel, STEADY_DISPLAY,
                     known ? kDisplayLabel : std::string(kDisplayLabel) + " (instrument: " + std::to_string(mode) + ")");
}

} // namespace

bool queryDisplay(bool toFront)
{
    AppState &s = appState();
    InstrumentReadback &r = s.readback;
    const int panel = s.steadypanel;
    if (s.connectionLost) { // every query would wait for its time-out: reconnect first
        ui::SetCtrlVal(panel, STEADY_STATUS, text::kConnectionLost);
        return false;
    }
    Refresh refresh;

    queryFunction(refresh, ZEV_QX70_VAL_QUERY_VOLTAGE_RANGE, r.rangevolts);
    // A session without limits (voltmax 0.0) counts as the high range.
    if (s.voltmax > r.rangevolts) {
        ui::SetCtrlVal(panel, STEADY_RANGE, 0);
        r.currlimit = s.currmax;
    } else {
        ui::SetCtrlVal(panel, STEADY_RANGE, 1);
        r.currlimit = s.currmax / 2.0;
    }

    refresh.run([&] { return ZEV_QX70_QueryOutputRelay(s.vi, kChannel, &r.relaystate); });
    ui::SetCtrlVal(panel, STEADY_OUTPUT, r.relaystate == 1 ? 1 : 0);
    ui::SetCtrlVal(panel, STEADY_OUTPUT_STATE, r.relaystate == 1 ? 1 : 0);

    refresh.run([&] { return ZEV_QX70_DisplayModeQuery(s.vi, kChannel, &r.displaymode); });
    ui::SetCtrlVal(panel, STEADY_DISPLAY, r.displaymode == 1 ? 1 : 0);
    showOddDisplayMode(panel, r.displaymode);

    queryFunction(refresh, ZEV_QX70_VAL_QUERY_VOLTAGE, r.voltage);
    queryFunction(refresh, ZEV_QX70_VAL_QUERY_FREQUENCY, r.frequency);
    queryFunction(refresh, ZEV_QX70_VAL_QUERY_CURRENT_LIMIT, r.current);

    ui::SetCtrlMax(panel, STEADY_VOLTAGE, r.rangevolts);
    ui::SetCtrlMax(panel, STEADY_CURRENT, r.currlimit);
    ui::SetCtrlMax(panel, STEADY_FREQUENCY, s.freqmax);
    ui::SetCtrlMin(panel, STEADY_FREQUENCY, s.freqmin); // a frequency below it is refused in sight
    ui::SetCtrlVal(panel, STEADY_VOLTAGE, r.voltage);
    ui::SetCtrlVal(panel, STEADY_FREQUENCY, r.frequency);
    ui::SetCtrlVal(panel, STEADY_CURRENT, r.current);

    if (toFront)
        ui::DisplayPanel(panel);
    if (!checkConnectionLost(refresh.lost()))
        ui::SetCtrlVal(panel, STEADY_STATUS, text::kReadyStatus);
    showConnection(panel);
    return refresh.lost() == VI_SUCCESS;
}

} // namespace qx::app
