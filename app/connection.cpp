// Connection set-up from the main panel: prove that the interface answers, open the driver
// session, fetch the limits, and open the steady panel (whose got-focus event refreshes it).
#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "committed_values.h"
#include "gpib/gpib.h"
#include "qxseries_panels.h"
#include "rs232/rs232.h"
#include "runtime/strings.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace qx::app {
namespace {

constexpr std::string_view kGpibProbe = "*IDN?\r\n";
constexpr ViInt32 kDefaultBaud = 9600;
constexpr ViInt32 kModelBaud = 19200;
constexpr const char *kFastModels[] = {"7101QX", "7103QX"};
constexpr int kComQueueSize = 512;

// The probe's descriptor is released once the probe and its report are done.
class ProbeDescriptor {
public:
    explicit ProbeDescriptor(int ud) : ud_(ud) {}
    ~ProbeDescriptor()
    {
        if (ud_ >= 0)
            gpib::ibonl(ud_, 0);
    }
    ProbeDescriptor(const ProbeDescriptor &) = delete;
    ProbeDescriptor &operator=(const ProbeDescriptor &) = delete;
    int ud() const { return ud_; }

private:
    int ud_;
};

// Writes the identification query straight to the bus; the answer is not read. A failure is
// reported to the operator here.
bool gpibAnswers(int address)
{
    const ProbeDescriptor device(gpib::ibdev(0, address, 0, gpib::T10s, 1, 0));
    gpib::ibwrt(device.ud(), kGpibProbe.data(), static_cast<long>(kGpibProbe.size()));
    if ((gpib::ibsta() & gpib::ERR) == 0)
        return true;
    displayGpibError();
    return false;
}

ViInt32 baudRateFor(const std::string &model)
{
    for (const char *fast : kFastModels)
        if (runtime::CompareStrings(model, 0, fast, 0, false) == 0)
            return kModelBaud;
    return kDefaultBaud;
}

// One session and one steady panel at a time: a set-up started while connected first ends the
// existing connection (session closed, steady panel discarded). The toggle of the other
// interface goes back to 0; the operated one keeps what the operator made of it.
void endConnection(int otherToggle)
{
    AppState &s = appState();
    if (s.vi == VI_NULL && s.steadypanel <= 0)
        return;
    if (s.vi != VI_NULL) {
        ZEV_QX70_close(s.vi);
        ui::Delay(kPause);
        s.vi = VI_NULL;
    }
    if (s.steadypanel > 0) {
        ui::DiscardPanel(s.steadypanel);
        setSteadyPanel(0);
    }
    ui::SetCtrlVal(s.mainpanel, otherToggle, 0);
}

// The instrument as it identified itself while the session opened ("ZE,7103QX,SN000123,1.02"):
// the driver keeps that answer, so reading it sends nothing.
std::string identityLine(ViSession vi)
{
    ViChar answer[512] = {};
    if (ZEV_QX70_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, sizeof answer, answer) != VI_SUCCESS)
        return "not identified";
    std::vector<std::string_view> fields;
    std::string_view rest = runtime::trim(answer);
    for (std::size_t comma = rest.find(','); comma != std::string_view::npos; comma = rest.find(',')) {
        fields.push_back(runtime::trim(rest.substr(0, comma)));
        rest.remove_prefix(comma + 1);
    }
    fields.push_back(runtime::trim(rest));
    if (fields.size() != 4)
        return std::string(runtime::trim(answer));
    return std::string(fields[1]) + ", serial " + std::string(fields[2]) + ", firmware " + std::string(fields[3]);
}

// Common end of both set-ups: limits, pause, and the steady panel.
int openSteadyPanel()
{
    AppState &s = appState();
    ViInt32 &modelnumber = s.modelnumber;
    modelnumber = 0;
    s.connectionLost = false;
    ZEV_QX70_ConfigureLimits(s.vi, kChannel, &s.freqmin, &s.freqmax, &s.currmax, &s.voltmax, &modelnumber);
    ui::Delay(kPause);
    setSteadyPanel(ui::LoadPanel(0, panelResourceFile(), STEADY));
    if (s.steadypanel < 0) {
        setSteadyPanel(0);
        return -1;
    }
    // What the panels show is what the instrument was told: opening put it in remote, and the
    // operated toggle stays pressed while connected.
    ui::SetCtrlVal(s.steadypanel, STEADY_REMOTE, 1);
    ui::SetCtrlVal(s.mainpanel, s.interfacekind == 1 ? MAIN_GPIB : MAIN_RS232, 1);
    ui::SetCtrlVal(s.mainpanel, MAIN_STATUS, text::kConnectedStatus);
    ui::SetCtrlVal(s.steadypanel, STEADY_IDENTITY, identityLine(s.vi));
    ui::SetCtrlVal(s.steadypanel, STEADY_RESULT, "Connected");
    // The phase controls offer the phases the model has: all and phase 1 on the single-phase one.
    const double lastPhase = modelnumber == ZEV_QX70_VAL_MODEL_7101QX ? 1.0 : ZEV_QX70_VAL_PHASE_MAX;
    ui::SetCtrlMax(s.steadypanel, STEADY_MEAS_PHASE, lastPhase);
    ui::SetCtrlMax(s.steadypanel, STEADY_DROP_PHASE, lastPhase);
    ui::DisplayPanel(s.steadypanel);
    return 0;
}

} // namespace

int interfaceGPIB(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kInterface);
    if (event != ui::EVENT_COMMIT)
        return 0;
    endConnection(MAIN_RS232);
    AppState &s = appState();
    ui::SetCtrlVal(panel, MAIN_STATUS, text::kWaitStatus);
    s.voltmax = 0.0;
    s.address = readControl<int>(panel, MAIN_ADDRESS);
    rememberConnection();
    // The toolkit reports failed calls by their codes only; there is no interactive break to
    // switch off around the probe.
    if (!gpibAnswers(s.address)) {
        ui::SetCtrlVal(panel, MAIN_GPIB, 0);
        return -1;
    }
    char resource[32];
    std::snprintf(resource, sizeof resource, "GPIB::%i::INSTR", s.address);
    // The probe alone decides whether the instrument is reachable.
    ZEV_QX70_init(resource, VI_TRUE, VI_FALSE, &s.vi, kDefaultBaud);
    s.interfacekind = 1;
    return openSteadyPanel();
}

int interfaceRS232(int panel, int, int event, void *, int, int)
{
    if (event == ui::EVENT_RIGHT_CLICK)
        return showHelp(help::kInterface);
    if (event != ui::EVENT_COMMIT)
        return 0;
    endConnection(MAIN_GPIB);
    AppState &s = appState();
    ui::SetCtrlVal(panel, MAIN_STATUS, text::kWaitStatus);
    s.voltmax = 0.0;
    s.comopened = 0;
    s.comport = readControl<int>(panel, MAIN_COMPORT);
    const std::string model = readControl<std::string>(panel, MAIN_MODEL);
    rememberConnection();

    // The test open only proves that the port opens with these settings; the driver opens it
    // itself through the instrument I/O library.
    s.comstatus = rs232::OpenComConfig(s.comport, "", baudRateFor(model), 0, 8, 1, kComQueueSize, kComQueueSize);
    s.comopened = 1;
    if (s.comstatus != 0) {
        displayRs232Error();
        rs232::CloseCom(s.comport);
        ui::SetCtrlVal(panel, MAIN_RS232, 0);
        return -1;
    }
    rs232::CloseCom(s.comport);

    char resource[32];
    std::snprintf(resource, sizeof resource, "ASRL%i::INSTR", s.comport);
    if (const ViStatus opened = ZEV_QX70_init(resource, VI_TRUE, VI_FALSE, &s.vi, baudRateFor(model));
        opened != VI_SUCCESS) {
        recordFailure(std::string("Connect over RS-232: ") + failureDetail(VI_NULL, opened).description);
        ui::WarningPopup(title::kError, text::kInitError);
        ui::SetCtrlVal(panel, MAIN_RS232, 0);
        ui::SetCtrlVal(panel, MAIN_STATUS, text::kChooseStatus);
        return -1;
    }
    s.interfacekind = 0;
    return openSteadyPanel();
}

// The settings' keys and the main panel's controls they keep.
struct KeptControl {
    const char *key;
    int control;
    bool text;
};
constexpr KeptControl kKeptConnection[] = {
    {"connection/gpib_address", MAIN_ADDRESS, false},
    {"connection/com_port", MAIN_COMPORT, false},
    {"connection/model", MAIN_MODEL, true},
};

void rememberConnection()
{
    const int panel = appState().mainpanel;
    for (const KeptControl &kept : kKeptConnection) {
        std::string value;
        int number = 0;
        if (kept.text ? ui::GetCtrlVal(panel, kept.control, &value) : ui::GetCtrlVal(panel, kept.control, &number))
            continue;
        ui::SaveSetting(kept.key, kept.text ? value : std::to_string(number));
    }
}

void recallConnection(int mainPanel)
{
    for (const KeptControl &kept : kKeptConnection) {
        const std::string value = ui::GetSetting(kept.key, "");
        if (value.empty())
            continue;
        if (kept.text)
            ui::SetCtrlVal(mainPanel, kept.control, value);
        else if (const int number = std::atoi(value.c_str()); number > 0 || value == "0")
            ui::SetCtrlVal(mainPanel, kept.control, number);
    }
}

void displayGpibError()
{
    const int code = gpib::iberr();
    char message[160];
    std::snprintf(message, sizeof message, "GPIB error number  %i : %s ", code, gpib::gpibErrorText(code));
    recordFailure(message);
    ui::MessagePopup(title::kGpib, message);
}

void displayRs232Error()
{
    const int code = appState().comstatus;
    if (code >= 0)
        return;
    char message[256];
    std::snprintf(message, sizeof message, "RS232 error number  %i : %s", code, rs232::GetRS232ErrorString(code));
    recordFailure(message);
    ui::MessagePopup(title::kRs232, message);
}

} // namespace qx::app
