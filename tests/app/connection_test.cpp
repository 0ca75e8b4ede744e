// Connection set-up from the main panel, over GPIB and RS-232, and the steady panel's refresh
// from the instrument (on got focus, as after a set-up), on the headless toolkit.
#include "app_fixture.h"

#include "ivi/ivi.h"
#include "visa/visa.h"

#include <algorithm>

namespace qx::app::test {
namespace {

// Nobody listens behind it: every write fails, as on a bus where the address is not taken.
class DeafDevice final : public visa::Device {
public:
    bool write(std::string_view, bool) override { return false; }
    visa::DeviceRead read(std::size_t) override { return {}; }
};

// One driver query and its status check; a state query adds *CLS and pauses; then the program's pause.
Events query(const std::string &command, const std::string &answer, bool state = false)
{
    return join({{"> " + command, "< " + answer + "\\n"}, kNoError,
                 state ? Events{"> *CLS", "wait 0.03", "wait 0.05"} : Events{}, {"wait 0.05"}});
}

// `count` events from the first one equal to `first`.
Events slice(const Events &all, const std::string &first, std::ptrdiff_t count)
{
    const auto from = std::find(all.begin(), all.end(), first);
    return Events(from, from + std::min(count, all.end() - from));
}

using Connection = AppTest;
using Refresh = AppTest;

TEST_F(Connection, GpibProbesThenOpensSessionFetchesLimitsAndShowsTheRefreshedSteadyPanel)
{
    ASSERT_EQ(connectGpib(5), 0);

    EXPECT_TRUE(popups().empty());
    EXPECT_NE(state.vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(std::make_tuple(state.interfacekind, state.address, state.freqmax, state.currmax, state.voltmax),
              std::make_tuple(1, 5, 500.0, 9.2, 300.0));
    EXPECT_EQ(std::make_pair(value<int>(mainpanel, MAIN_GPIB), text(mainpanel, MAIN_STATUS)),
              std::make_pair(1, std::string(text::kConnectedStatus)));
    ASSERT_GT(state.steadypanel, 0);
    EXPECT_EQ(value<int>(state.steadypanel, STEADY_REMOTE), 1) << "opening put the instrument in remote";
    EXPECT_EQ(toolkit.activePanel(), state.steadypanel);
    // The got-focus event of the new panel made the first refresh; the identity is the one read
    // while the session opened (no second query: the traffic below is exact).
    EXPECT_EQ((Events{text(state.steadypanel, STEADY_STATUS), text(state.steadypanel, STEADY_CONNECTION),
                      text(state.steadypanel, STEADY_IDENTITY), text(state.steadypanel, STEADY_RESULT)}),
              (Events{text::kReadyStatus, "GPIB, Address 5", "7103QX, serial SN000123, firmware 1.02", "Connected"}));
    const Events all = events();
    EXPECT_EQ(std::count(all.begin(), all.end(), "> *IDN?"), 1) << "the driver's own identification only";
    EXPECT_EQ(events().front(), "> *IDN?\\r\\n"); // the probe, straight to the bus, before the driver
    // Limits, their status check, the set-up's pause, then the refresh's first query.
    EXPECT_EQ(slice(events(), "> LIM:FREQ:HIGH?", 8),
              join({{"> LIM:FREQ:HIGH?", "< 500\\n"}, kNoError, {"wait 0.05", "> VOLT:RANG?"}}));
}

TEST_F(Connection, FailedGpibProbeShowsTheIberrTextAndOpensNothing)
{
    attach("GPIB0::8::INSTR", std::make_shared<DeafDevice>());
    for (const auto &[address, message] : {std::pair{7, "GPIB error number  0 : Operating System error. "}, // no driver
                                         std::pair{8, "GPIB error number  2 : No listeners on the GPIB. "}}) {
        toolkit.clearPopups();
        EXPECT_EQ(connectGpib(address), -1);
        EXPECT_EQ(popups(), Events{popup("GPIB Message", message)});
        EXPECT_EQ(std::make_pair(value<int>(mainpanel, MAIN_GPIB), text(mainpanel, MAIN_STATUS)),
                  std::make_pair(0, std::string(text::kWaitStatus)));
        EXPECT_EQ(std::make_pair(state.vi, state.steadypanel), std::make_pair(ViSession{VI_NULL}, 0));
    }
    EXPECT_TRUE(events().empty());
}

TEST_F(Connection, Rs232SetUpEndsTheGpibConnectionFirstAndTakesTheBaudRateFromTheModelText)
{
    attach("ASRL2::INSTR", visa::findDevice("ASRL1::INSTR"));
    const auto baud = [this] {
        ViUInt32 rate = 0;
        EXPECT_EQ(viGetAttribute(Ivi_IOSession(state.vi), VI_ATTR_ASRL_BAUD, &rate), VI_SUCCESS);
        return rate;
    };
    connected();
    const ViSession gpibVi = state.vi;

    ASSERT_EQ(connectRs232(2, "7103qx"), 0);

    ViInt32 relay = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(gpibVi, kChannel, &relay), ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_FALSE(toolkit.displayed(steady));
    // The GPIB session said goodbye, the program paused, then the serial set-up began (no probe).
    EXPECT_EQ(slice(events(), "> SYST:LOC", 4), (Events{"> SYST:LOC", "wait 0.03", "wait 0.05", "> SYST:LOC\\n"}));
    EXPECT_TRUE(popups().empty());
    // comopened is 1 although the test open was closed again.
    EXPECT_EQ(std::make_tuple(state.interfacekind, state.comport, state.comstatus, state.comopened),
              std::make_tuple(0, 2, 0, 1));
    EXPECT_EQ(baud(), 19200u);
    EXPECT_EQ(std::make_pair(value<int>(mainpanel, MAIN_GPIB), value<int>(mainpanel, MAIN_RS232)), std::make_pair(0, 1));
    EXPECT_TRUE(toolkit.displayed(state.steadypanel));
    EXPECT_EQ(text(state.steadypanel, STEADY_CONNECTION), "RS-232, COM port 2");

    ASSERT_EQ(connectRs232(2, "QX7101"), 0);
    EXPECT_EQ(baud(), 9600u);
}

TEST_F(Connection, Rs232PortThatDoesNotExistShowsTheSerialLibraryText)
{
    setenv("QX_COM3", "/nonexistent/ttyQX", 1);
    EXPECT_EQ(connectRs232(3), -1);
    unsetenv("QX_COM3");

    EXPECT_EQ(popups(), Events{"RS232 Message | RS232 error number  -6 : Cannot open port: no such serial "
                               "device (QX_COM<n> can name its device path)."});
    EXPECT_EQ(std::make_tuple(state.comstatus, state.comopened, state.steadypanel), std::make_tuple(-6, 1, 0));
    EXPECT_EQ(std::make_pair(value<int>(mainpanel, MAIN_RS232), text(mainpanel, MAIN_STATUS)),
              std::make_pair(0, std::string(text::kWaitStatus)));
    EXPECT_TRUE(events().empty());
}

TEST_F(Connection, FailedInitialisationStillGivesTheSteadyPanelOverGpibButAPopupOverRs232)
{
    sim::Config foreignMaker;
    foreignMaker.identity.manufacturer = "ACME"; // fails the driver's identification check
    useSimulator(foreignMaker);

    EXPECT_EQ(connectGpib(5), 0);
    EXPECT_TRUE(popups().empty());
    // ConfigureLimits failed on the missing session; no limits count as the high range.
    EXPECT_EQ(std::make_pair(state.vi, state.voltmax), std::make_pair(ViSession{VI_NULL}, 0.0));
    EXPECT_EQ(value<int>(mainpanel, MAIN_GPIB), 1);
    ASSERT_GT(steady = state.steadypanel, 0);
    EXPECT_EQ(std::make_pair(text(steady, STEADY_STATUS), value<int>(steady, STEADY_RANGE)),
              std::make_pair(std::string(text::kReadyStatus), 1));

    EXPECT_EQ(connectRs232(1), -1);
    EXPECT_EQ(popups(), Events{popup(title::kError, text::kInitError)});
    EXPECT_EQ(toolkit.popups().back().kind, ui::HeadlessToolkit::Popup::Kind::Warning);
    ASSERT_FALSE(errorHistory().empty());
    EXPECT_TRUE(errorHistory().back().ends_with("Connect over RS-232: Instrument identification query failed. (0xBFFC0011)")) << errorHistory().back();
    EXPECT_EQ(std::make_pair(value<int>(mainpanel, MAIN_RS232), text(mainpanel, MAIN_STATUS)),
              std::make_pair(0, std::string(text::kChooseStatus)));
    EXPECT_EQ(std::make_pair(state.steadypanel, state.comopened), std::make_pair(0, 1));
}

TEST_F(Refresh, HighRangeSetsTheLimitsOfTheHighRangeAndReadsEverythingBack)
{
    preset({"VOLT 230", "FREQ 60", "CURR 2.5", "OUTP 1", "DISP:MODE 1"});
    connected();
    std::string statusDuringRefresh;
    beforeWrite = [&](const std::string &) {
        if (statusDuringRefresh.empty())
            statusDuringRefresh = text(steady, STEADY_STATUS);
    };

    ASSERT_EQ(activate(mainpanel), 0);
    ASSERT_EQ(activate(steady), 0); // the operator comes back to the steady window

    EXPECT_EQ(statusDuringRefresh, text::kWaitStatus);
    EXPECT_EQ(events(), join({query("VOLT:RANG?", "300"), query("OUTP?", "1", true), query("DISP:MODE?", "1", true),
                              query("VOLT?", "230"), query("FREQ?", "60"), query("CURR?", "2.5")}));
    EXPECT_EQ(value<int>(steady, STEADY_RANGE), 1);
    // Maxima of the high range: voltmax, currmax / 2, freqmax.
    EXPECT_EQ(std::make_tuple(maximum(steady, STEADY_VOLTAGE), maximum(steady, STEADY_CURRENT),
                              maximum(steady, STEADY_FREQUENCY)), std::make_tuple(300.0, 4.6, 500.0));
    EXPECT_EQ(std::make_tuple(value<double>(steady, STEADY_VOLTAGE), value<double>(steady, STEADY_FREQUENCY),
                              value<double>(steady, STEADY_CURRENT)), std::make_tuple(230.0, 60.0, 2.5));
    EXPECT_EQ(std::make_tuple(value<int>(steady, STEADY_OUTPUT), value<int>(steady, STEADY_DISPLAY),
                              text(steady, STEADY_STATUS), popups()),
              std::make_tuple(1, 1, std::string(text::kReadyStatus), Events{}));
}

TEST_F(Refresh, LowRangeAllowsHalfTheVoltageAndTheFullCurrentAndDisplayModeTwoReadsZero)
{
    preset({"VOLT:RANG 150", "VOLT 100", "DISP:MODE 2", "OUTP 1"});
    connected();

    EXPECT_EQ(std::make_tuple(value<int>(steady, STEADY_RANGE), maximum(steady, STEADY_VOLTAGE),
                              maximum(steady, STEADY_CURRENT), value<double>(steady, STEADY_VOLTAGE)),
              std::make_tuple(0, 150.0, 9.2, 100.0));
    EXPECT_EQ(std::make_pair(state.readback.displaymode, value<int>(steady, STEADY_DISPLAY)), std::make_pair(2, 0));
    std::string label;
    EXPECT_EQ(ui::GetCtrlLabel(steady, STEADY_DISPLAY, &label), 0);
    EXPECT_EQ(label, "&Display mode");
    preset({"DISP:MODE 0"}); // a mode the switch cannot show: its label names it
    ASSERT_EQ(activate(mainpanel), 0);
    ASSERT_EQ(activate(steady), 0);
    ui::GetCtrlLabel(steady, STEADY_DISPLAY, &label);
    EXPECT_EQ(std::make_pair(value<int>(steady, STEADY_DISPLAY), label),
              std::make_pair(0, std::string("&Display mode (instrument: 0)")));

    // A lost instrument leaves the previous values, and the refresh says the connection is lost.
    ASSERT_TRUE(simulator->setFaults({.silent = true}));
    ASSERT_EQ(activate(mainpanel), 0);
    ASSERT_EQ(activate(steady), 0);
    EXPECT_EQ(std::make_tuple(value<double>(steady, STEADY_VOLTAGE), value<int>(steady, STEADY_OUTPUT),
                              value<int>(steady, STEADY_RANGE), text(steady, STEADY_STATUS), popups()),
              std::make_tuple(100.0, 1, 0, std::string(text::kConnectionLost), Events{}));
}

} // namespace
} // namespace qx::app::test
