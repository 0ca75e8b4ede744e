// Connection set-up from the main panel, over GPIB and RS-232, on the headless toolkit.
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

// `count` events from the first one equal to `first`.
Events slice(const Events &events, const std::string &first, std::size_t count)
{
    const auto from = std::find(events.begin(), events.end(), first);
    if (from == events.end())
        return {"(no " + first + ")"};
    return Events(from, from + std::min<std::ptrdiff_t>(count, events.end() - from));
}

ViUInt32 serialBaudRate(ViSession vi)
{
    ViUInt32 baud = 0;
    EXPECT_EQ(viGetAttribute(Ivi_IOSession(vi), VI_ATTR_ASRL_BAUD, &baud), VI_SUCCESS);
    return baud;
}

sim::Config foreignMaker()
{
    sim::Config config;
    config.identity.manufacturer = "ACME"; // fails the driver's identification check
    return config;
}

using Connection = AppTest;

TEST_F(Connection, GpibProbesThenOpensSessionFetchesLimitsAndShowsTheRefreshedSteadyPanel)
{
    ASSERT_EQ(connectGpib(5), 0);

    EXPECT_TRUE(toolkit.popups().empty());
    EXPECT_NE(state.vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(state.interfacekind, 1);
    EXPECT_EQ(state.address, 5);
    EXPECT_EQ(state.freqmin, 16.0);
    EXPECT_EQ(state.freqmax, 500.0);
    EXPECT_EQ(state.currmax, 9.2);
    EXPECT_EQ(state.voltmax, 300.0);
    EXPECT_EQ(state.modelnumber, 7103);
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 1);
    EXPECT_EQ(text(mainpanel, MAIN_STATUS), text::kWaitStatus);
    ASSERT_GT(state.steadypanel, 0);
    EXPECT_TRUE(toolkit.displayed(state.steadypanel));
    EXPECT_EQ(toolkit.activePanel(), state.steadypanel);
    // The got-focus event of the new panel made the first refresh.
    EXPECT_EQ(text(state.steadypanel, STEADY_STATUS), text::kReadyStatus);
    EXPECT_EQ(text(state.steadypanel, STEADY_CONNECTION), "GPIB, Address 5");

    const Events all = events();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), "> *IDN?\\r\\n"); // the probe, straight to the bus, before the driver
    // Limits, their status check, the set-up's pause, then the refresh's first query.
    EXPECT_EQ(slice(all, "> LIM:FREQ:HIGH?", 8),
              (Events{"> LIM:FREQ:HIGH?", "< 500\\n", "> SYST:ERR?", "wait 0.05", "< 0,\"No error\"\\n", "wait 0.05",
                      "wait 0.05", "> VOLT:RANG?"}));
}

TEST_F(Connection, GpibAddressWithoutDriverOrDeviceShowsOperatingSystemError)
{
    EXPECT_EQ(connectGpib(7), -1);

    EXPECT_EQ(popups(), Events{message(title::kGpib, "GPIB error number  0 : Operating System error. ")});
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 0);
    EXPECT_EQ(text(mainpanel, MAIN_STATUS), text::kWaitStatus);
    EXPECT_EQ(state.vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(state.steadypanel, 0);
    EXPECT_TRUE(events().empty());
}

TEST_F(Connection, GpibProbeNobodyListensToShowsEnol)
{
    visa::attachDevice("GPIB0::7::INSTR", std::make_shared<DeafDevice>());
    attached.push_back("GPIB0::7::INSTR");

    EXPECT_EQ(connectGpib(7), -1);

    EXPECT_EQ(popups(), Events{message(title::kGpib, "GPIB error number  2 : No listeners on the GPIB. ")});
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 0);
    EXPECT_EQ(state.steadypanel, 0);
}

TEST_F(Connection, GpibInstrumentThatFailsInitialisationStillGetsTheSteadyPanel)
{
    useSimulator(foreignMaker());

    EXPECT_EQ(connectGpib(5), 0);

    EXPECT_TRUE(toolkit.popups().empty());
    EXPECT_EQ(state.vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(state.voltmax, 0.0); // ConfigureLimits failed on the missing session
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 1);
    ASSERT_GT(state.steadypanel, 0);
    EXPECT_EQ(text(state.steadypanel, STEADY_STATUS), text::kReadyStatus);
    EXPECT_EQ(integer(state.steadypanel, STEADY_RANGE), 1); // no limits count as the high range
}

TEST_F(Connection, Rs232ModelTextInAnyCaseSelects19200AndOtherTexts9600)
{
    useSimulator(sim::Config{}, {"ASRL2::INSTR"});
    ASSERT_EQ(connectRs232(2, "7103qx"), 0);

    EXPECT_TRUE(toolkit.popups().empty());
    EXPECT_EQ(state.interfacekind, 0);
    EXPECT_EQ(state.comport, 2);
    EXPECT_EQ(state.comstatus, 0);
    EXPECT_EQ(state.comopened, 1); // although the test open was closed again
    EXPECT_EQ(serialBaudRate(state.vi), 19200u);
    EXPECT_EQ(integer(mainpanel, MAIN_RS232), 1);
    ASSERT_GT(state.steadypanel, 0);
    EXPECT_EQ(text(state.steadypanel, STEADY_CONNECTION), "RS-232, COM port 2");
    EXPECT_EQ(timeline.writes().front(), "SYST:LOC\n"); // serial forms; no probe on the line

    ASSERT_EQ(connectRs232(2, "QX7101"), 0);
    EXPECT_EQ(serialBaudRate(state.vi), 9600u);
}

TEST_F(Connection, Rs232PortThatDoesNotExistShowsTheSerialLibraryText)
{
    setenv("QX_COM3", "/nonexistent/ttyQX", 1);
    EXPECT_EQ(connectRs232(3), -1);
    unsetenv("QX_COM3");

    EXPECT_EQ(popups(), Events{message(title::kRs232, "RS232 error number  -6 : Cannot open port: no such serial "
                                                      "device (QX_COM<n> can name its device path).")});
    EXPECT_EQ(state.comstatus, rs232::RS232_ERR_NO_SUCH_PORT);
    EXPECT_EQ(state.comopened, 1);
    EXPECT_EQ(integer(mainpanel, MAIN_RS232), 0);
    EXPECT_EQ(text(mainpanel, MAIN_STATUS), text::kWaitStatus);
    EXPECT_EQ(state.steadypanel, 0);
    EXPECT_TRUE(events().empty());
}

TEST_F(Connection, Rs232InitialisationFailureAsksToCheckTheCable)
{
    useSimulator(foreignMaker());

    EXPECT_EQ(connectRs232(1), -1);

    EXPECT_EQ(popups(), Events{message(title::kError, text::kInitError)});
    EXPECT_EQ(integer(mainpanel, MAIN_RS232), 0);
    EXPECT_EQ(text(mainpanel, MAIN_STATUS), text::kChooseStatus);
    EXPECT_EQ(state.vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(state.steadypanel, 0);
    EXPECT_EQ(state.comopened, 1);
}

TEST_F(Connection, NewSetUpWhileConnectedEndsTheExistingConnectionFirst)
{
    connected();
    const ViSession oldVi = state.vi;

    ASSERT_EQ(connectRs232(1), 0);

    ViInt32 relay = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputRelay(oldVi, kChannel, &relay), ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_FALSE(toolkit.displayed(steady));
    EXPECT_NE(state.steadypanel, steady);
    EXPECT_TRUE(toolkit.displayed(state.steadypanel));
    EXPECT_EQ(integer(mainpanel, MAIN_GPIB), 0);
    EXPECT_EQ(integer(mainpanel, MAIN_RS232), 1);
    EXPECT_EQ(text(state.steadypanel, STEADY_CONNECTION), "RS-232, COM port 1");
    // The GPIB session said goodbye, the program paused, then the serial set-up began.
    EXPECT_EQ(slice(events(), "> SYST:LOC", 4), (Events{"> SYST:LOC", "wait 0.03", "wait 0.05", "> SYST:LOC\\n"}));
}

} // namespace
} // namespace qx::app::test
