// A front-panel test bench: the app's callbacks on the headless toolkit, the simulator attached
// at GPIB address 5 and COM port 1 behind a tap that copies its traffic into the virtual
// clock's timeline, and the driver's popups routed to the toolkit, where the test reads them.
#pragma once

#include "app_state.h"
#include "callbacks.h"
#include "messages.h"
#include "qxseries_panels.h"
#include "rs232/rs232.h"
#include "runtime/clock.h"
#include "runtime/popup.h"
#include "sim/attach.h"
#include "sim/simulator.h"
#include "ui/headless_toolkit.h"
#include "visa/device.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qx::app::test {

using Events = std::vector<std::string>;
using Popup = ui::HeadlessToolkit::Popup;

inline constexpr char kGpibResource[] = "GPIB0::5::INSTR";
inline constexpr char kSerialResource[] = "ASRL1::INSTR";

// Forwards to the simulator's device and copies each write and each answer into the timeline;
// `beforeWrite` sees a message before the instrument does.
class TappedDevice final : public visa::Device {
public:
    TappedDevice(std::shared_ptr<visa::Device> inner, runtime::Timeline &timeline)
        : inner_(std::move(inner)), timeline_(timeline)
    {
    }
    bool write(std::string_view bytes, bool end) override
    {
        timeline_.write(bytes);
        if (beforeWrite)
            beforeWrite(std::string(bytes));
        return inner_->write(bytes, end);
    }
    visa::DeviceRead read(std::size_t max) override
    {
        visa::DeviceRead r = inner_->read(max);
        if (r.status == visa::DeviceRead::Status::Data && !r.bytes.empty())
            timeline_.read(r.bytes);
        return r;
    }
    void clear() override { inner_->clear(); }

    std::function<void(const std::string &)> beforeWrite;

private:
    std::shared_ptr<visa::Device> inner_;
    runtime::Timeline &timeline_;
};

class AppTest : public ::testing::Test {
protected:
    AppTest()
    {
        // No linux-gpib here, whatever the machine has (unless the test program chose a library):
        // absent addresses fail as without a driver.
        setenv("QX_GPIB_LIBRARY", "/nonexistent/libgpib.so.0", 0);
        appState() = AppState{};
        useSimulator(sim::Config{});
    }

    void SetUp() override
    {
        ASSERT_EQ(ui::RegisterCallbacks(callbackTable()), 0);
        state.mainpanel = ui::LoadPanel(0, ui::PanelResourcePath(), MAIN);
        ASSERT_GT(state.mainpanel, 0) << ui::LastLoadError();
        ASSERT_EQ(ui::DisplayPanel(state.mainpanel), 0);
        mainpanel = state.mainpanel;
    }

    ~AppTest() override
    {
        if (state.vi != VI_NULL)
            ZEV_QX70_close(state.vi);
        ui::CloseUserInterface();
        for (const std::string &name : attached)
            visa::detachDevice(name);
        for (int port = 1; port <= 3; ++port)
            rs232::CloseCom(port);
        appState() = AppState{};
    }

    // A fresh simulator behind GPIB address 5 and COM port 1 (and `extra` names).
    void useSimulator(const sim::Config &config, const std::vector<std::string> &extra = {})
    {
        simulator = std::make_shared<sim::Simulator>(config);
        std::vector<std::string> names{kGpibResource, kSerialResource};
        names.insert(names.end(), extra.begin(), extra.end());
        for (const std::string &name : names) {
            auto tap = std::make_shared<TappedDevice>(sim::attach(simulator, name), timeline);
            visa::attachDevice(name, tap);
            taps.push_back(tap);
            attached.push_back(name);
        }
    }

    // Runs `hook` on every message to the instrument, before it arrives.
    void beforeEachWrite(std::function<void(const std::string &)> hook)
    {
        for (const auto &tap : taps)
            tap->beforeWrite = hook;
    }

    int connectGpib(int address = 5)
    {
        ui::SetCtrlVal(mainpanel, MAIN_ADDRESS, address);
        return toolkit.click(mainpanel, MAIN_GPIB);
    }

    int connectRs232(int port = 1, const char *model = "7103QX")
    {
        ui::SetCtrlVal(mainpanel, MAIN_COMPORT, port);
        ui::SetCtrlVal(mainpanel, MAIN_MODEL, model);
        return toolkit.click(mainpanel, MAIN_RS232);
    }

    // Connected over GPIB with the traffic and popups of the set-up forgotten.
    void connected()
    {
        ASSERT_EQ(connectGpib(), 0);
        ASSERT_GT(state.steadypanel, 0);
        steady = state.steadypanel;
        forget();
    }

    void forget()
    {
        timeline.clear();
        toolkit.clearPopups();
    }

    Events events() const { return timeline.events(); }
    sim::Snapshot snapshot() const { return simulator->snapshot(); }

    static Events popupTexts(const std::vector<Popup> &popups)
    {
        Events texts;
        for (const Popup &p : popups)
            texts.push_back(p.title + " | " + p.message);
        return texts;
    }
    Events popups() const { return popupTexts(toolkit.popups()); }

    static std::string text(int panel, int control)
    {
        std::string value;
        EXPECT_EQ(ui::GetCtrlVal(panel, control, &value), 0);
        return value;
    }
    static int integer(int panel, int control)
    {
        int value = -12345;
        EXPECT_EQ(ui::GetCtrlVal(panel, control, &value), 0);
        return value;
    }
    static double real(int panel, int control)
    {
        double value = -12345.0;
        EXPECT_EQ(ui::GetCtrlVal(panel, control, &value), 0);
        return value;
    }
    static double maximum(int panel, int control)
    {
        double low = 0.0;
        double high = -1.0;
        EXPECT_EQ(ui::GetCtrlRange(panel, control, &low, &high), 0);
        return high;
    }
    static int dimmed(int panel, int control)
    {
        int value = -1;
        EXPECT_EQ(ui::GetCtrlDimmed(panel, control, &value), 0);
        return value;
    }

    runtime::Timeline timeline;
    runtime::VirtualClock clock{&timeline};
    runtime::ScopedClock clockGuard{clock}; // before any simulator exists
    ui::ToolkitPopupService popupRoute;
    runtime::ScopedPopupService popupGuard{popupRoute};
    ui::HeadlessToolkit &toolkit = ui::useHeadless();
    AppState &state = appState();
    std::shared_ptr<sim::Simulator> simulator;
    std::vector<std::shared_ptr<TappedDevice>> taps;
    std::vector<std::string> attached;
    int mainpanel = 0;
    int steady = 0;
};

inline std::string message(const char *title, const char *text) { return std::string(title) + " | " + text; }

} // namespace qx::app::test
