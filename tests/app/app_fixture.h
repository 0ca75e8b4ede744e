// A front-panel test bench: the app's callbacks on the headless toolkit, the simulator attached
// at GPIB address 5 and COM port 1 behind a tap that copies its traffic into the virtual
// clock's timeline, and the driver's popups routed to the toolkit, where the test reads them.
#pragma once

#include "action_report.h"
#include "app_state.h"
#include "callback_support.h"
#include "callbacks.h"
#include "instrument_worker.h"
#include "messages.h"
#include "qxseries_panels.h"
#include "rs232/rs232.h"
#include "runtime/clock.h"
#include "runtime/popup.h"
#include "sim/attach.h"
#include "sim/simulator.h"
#include "tapped_device.h"
#include "ui/headless_toolkit.h"
#include "visa/device.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qx::app::test {

using Events = std::vector<std::string>;

// The status check's query finding no error, with its two pauses.
inline const Events kNoError{"> SYST:ERR?", "wait 0.05", "< 0,\"No error\"\\n", "wait 0.05"};

// What a refresh of the steady panel sends, each query checked for an instrument error.
inline const Events kRefreshWrites{"VOLT:RANG?", "SYST:ERR?", "OUTP?", "SYST:ERR?", "*CLS", "DISP:MODE?", "SYST:ERR?",
                                   "*CLS", "VOLT?", "SYST:ERR?", "FREQ?", "SYST:ERR?", "CURR?", "SYST:ERR?"};

inline Events join(std::initializer_list<Events> parts)
{
    Events all;
    for (const Events &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline std::string popup(std::string_view title, std::string_view message)
{
    return std::string(title) + " | " + std::string(message);
}

using qx::test::TappedDevice;

class AppTest : public ::testing::Test {
protected:
    AppTest()
    {
        setenv("QX_GPIB_LIBRARY", "/nonexistent/libgpib.so.0", 0); // unless the test program chose one
        appState() = AppState{};
        useSimulator({});
        toolkit.setSettle([] { instrumentWorker().waitIdle(); });
        instrumentWorker().takeResults(); // an earlier test's, never taken
    }
    void SetUp() override
    {
        ASSERT_EQ(ui::RegisterCallbacks(callbackTable()), 0);
        mainpanel = state.mainpanel = ui::LoadPanel(0, panelResourceFile(), MAIN);
        ASSERT_GT(mainpanel, 0) << ui::LastLoadError();
        ASSERT_EQ(ui::InstallPanelCallback(mainpanel, mainPanelCallback(), nullptr), 0); // as the program does
        ASSERT_EQ(ui::DisplayPanel(mainpanel), 0);
    }
    ~AppTest() override
    {
        beforeWrite = nullptr; // it may capture the test body's locals
        stopLogging();
        instrumentWorker().waitIdle();
        if (state.vi != VI_NULL)
            ZEV_QX70_close(state.vi);
        ui::CloseUserInterface();
        for (const std::string &name : attached)
            visa::detachDevice(name);
        for (int port = 1; port <= 3; ++port)
            rs232::CloseCom(port);
        appState() = AppState{};
    }

    // A fresh simulator behind GPIB address 5 and COM port 1.
    void useSimulator(const sim::Config &config)
    {
        simulator = std::make_shared<sim::Simulator>(config);
        for (const char *name : {"GPIB0::5::INSTR", "ASRL1::INSTR"})
            attach(name, std::make_shared<TappedDevice>(sim::attach(simulator, name), timeline, beforeWrite));
    }
    void attach(const std::string &name, std::shared_ptr<visa::Device> device)
    {
        visa::attachDevice(name, std::move(device));
        attached.push_back(name);
    }
    void preset(std::initializer_list<const char *> commands)
    {
        for (const char *command : commands)
            simulator->receive(std::string(command) + "\n");
    }
    // The instrument queues an error each time `header` runs.
    void failNext(const char *header)
    {
        ASSERT_TRUE(simulator->setFaults({.errorAfter = sim::ErrorAfterFault{header, -222, ""}}));
    }

    // The operator's actions: each returns the toolkit's refusal, or, once the instrument worker
    // is idle again, the result of the callback it ran first (0 when none ran).
    int settled(int toolkitResult)
    {
        if (toolkitResult < 0)
            return toolkitResult;
        instrumentWorker().waitIdle();
        const std::vector<int> results = instrumentWorker().takeResults();
        return results.empty() ? 0 : results.front();
    }
    template <class... Value> int commit(int panel, int control, Value... value)
    {
        return settled(toolkit.commit(panel, control, value...));
    }
    int click(int panel, int control) { return settled(toolkit.click(panel, control)); }
    int rightClick(int panel, int control) { return settled(toolkit.rightClick(panel, control)); }
    int activate(int panel) { return settled(toolkit.activate(panel)); }
    int closeWindow(int panel) { return settled(toolkit.close(panel)); }

    int connectGpib(int address = 5)
    {
        ui::SetCtrlVal(mainpanel, MAIN_ADDRESS, address);
        return click(mainpanel, MAIN_GPIB);
    }
    int connectRs232(int port = 1, const char *model = "7103QX")
    {
        ui::SetCtrlVal(mainpanel, MAIN_COMPORT, port);
        ui::SetCtrlVal(mainpanel, MAIN_MODEL, model);
        return click(mainpanel, MAIN_RS232);
    }
    // Connected over GPIB with the traffic and popups of the set-up forgotten.
    void connected()
    {
        ASSERT_EQ(connectGpib(), 0);
        ASSERT_GT(steady = state.steadypanel, 0);
        timeline.clear();
        toolkit.clearPopups();
    }
    static bool sessionOpen(ViSession vi)
    {
        ViInt32 relay = 0;
        return ZEV_QX70_QueryOutputRelay(vi, kChannel, &relay) == VI_SUCCESS;
    }

    Events events() const { return timeline.events(); }
    Events popups() const
    {
        Events texts;
        for (const auto &p : toolkit.popups())
            texts.push_back(popup(p.title, p.message));
        return texts;
    }
    // Where `command` was first written (the number of writes when never).
    std::size_t position(const std::string &command) const
    {
        const Events writes = timeline.writes();
        return static_cast<std::size_t>(std::find(writes.begin(), writes.end(), command) - writes.begin());
    }
    bool sent(const std::string &command) const { return position(command) < timeline.writes().size(); }

    template <class T> static T value(int panel, int control)
    {
        T v{};
        EXPECT_EQ(ui::GetCtrlVal(panel, control, &v), 0) << control;
        return v;
    }
    static std::string text(int panel, int control) { return value<std::string>(panel, control); }
    static double maximum(int panel, int control)
    {
        double low = 0.0, high = -1.0;
        EXPECT_EQ(ui::GetCtrlRange(panel, control, &low, &high), 0);
        return high;
    }

    runtime::Timeline timeline;
    runtime::VirtualClock clock{&timeline};
    runtime::ScopedClock clockGuard{clock}; // before any simulator exists
    ui::ToolkitPopupService popupRoute;
    runtime::ScopedPopupService popupGuard{popupRoute};
    ui::HeadlessToolkit &toolkit = ui::useHeadless();
    AppState &state = appState();
    TappedDevice::Hook beforeWrite; // runs on every message to the instrument, before it arrives
    std::shared_ptr<sim::Simulator> simulator;
    std::vector<std::string> attached;
    int mainpanel = 0;
    int steady = 0;
};

} // namespace qx::app::test
