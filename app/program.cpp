#include "program.h"

#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "embedded_simulator.h"
#include "instrument_worker.h"
#include "options.h"
#include "qxseries_panels.h"
#include "runtime/popup.h"
#include "ui/qt_toolkit.h"

#include <cstdio>
#include <string>

namespace qx::app {
namespace {

// Qt keeps a reference to the argument count for the life of the application object.
Options &options()
{
    static Options instance;
    return instance;
}

int &toolkitArgc()
{
    static int count = 0;
    return count;
}

void presetForSimulator(int panel, const std::string &model)
{
    ui::SetCtrlVal(panel, MAIN_MODEL, model);
    ui::SetCtrlVal(panel, MAIN_ADDRESS, kSimulatedGpibAddress);
    ui::SetCtrlVal(panel, MAIN_COMPORT, kSimulatedComPort);
    const std::string status = "Simulated " + model + " at GPIB address " + std::to_string(kSimulatedGpibAddress) +
                               " and COM port " + std::to_string(kSimulatedComPort) +
                               ": connect with GPIB or RS-232";
    ui::SetCtrlVal(panel, MAIN_STATUS, status);
}

int run(int argc, char **argv)
{
    Options &o = options();
    std::string error;
    if (!parseOptions(argc, argv, o, error)) {
        std::fprintf(stderr, "qxseries: %s\n\n%s", error.c_str(), kUsage);
        return -1;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    ui::RegisterCallbacks(callbackTable());
    o.toolkitArguments.push_back(nullptr);
    toolkitArgc() = static_cast<int>(o.toolkitArguments.size()) - 1;
    if (const int started = ui::useQt(toolkitArgc(), o.toolkitArguments.data()); started < 0) {
        if (started == ui::UIE_NO_DISPLAY)
            std::fputs(kNoDisplayMessage, stderr);
        return -1;
    }
    // The driver's messages become modal dialogs over the panels.
    static ui::ToolkitPopupService popups;
    runtime::setPopupService(&popups);

    if (o.simulate && !attachEmbeddedSimulator(o.model, error)) {
        std::fprintf(stderr, "qxseries: %s\n", error.c_str());
        return -1;
    }

    AppState &s = appState();
    s.mainpanel = ui::LoadPanel(0, panelResourceFile(), MAIN);
    if (s.mainpanel < 0)
        errorCheck(text::kMainLoadError, s.mainpanel);
    ui::InstallPanelCallback(s.mainpanel, mainPanelCallback(), nullptr);
    if (o.simulate)
        presetForSimulator(s.mainpanel, o.model);
    else
        recallConnection(s.mainpanel);
    ui::DisplayPanel(s.mainpanel);
    ui::RunUserInterface();
    // A sequence still running ends with the output off; a job still running gives up on the
    // closed panels and ends within its driver time-out.
    abortSequence();
    stopLogging();
    stopMetering();
    ui::CloseUserInterface();
    instrumentWorker().stop();
    return 0;
}

} // namespace

int qxseriesMain(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (...) { // out of memory while starting: callbacks are guarded by the toolkit
        std::fputs("qxseries: cannot start: out of memory\n", stderr);
        return -1;
    }
}

} // namespace qx::app
