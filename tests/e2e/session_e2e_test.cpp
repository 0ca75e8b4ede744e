// A front-panel-like session through the shared driver against the running simulator, once over
// the serial line and once over a socket. The transcript must hold exactly the commands that the
// driver functions are documented to send, status checks included.
#include "e2e_support.h"

using namespace qx::e2e;

namespace {

// Different loads per phase, so each phase's readings show that its own phase was measured;
// phase 3 draws more than the 2 A limit and its voltage sags to 2 A * 40 ohms.
const std::vector<std::string> kSimulator{"--model", "7103QX",   "--load", "1:100",
                                          "--load",  "2:60,0.8", "--load", "3:40"};

struct PhaseReading {
    double voltage, current, realPower;
};
constexpr PhaseReading kReadings[] = {{120.0, 1.2, 144.0}, {120.0, 1.6, 153.6}, {80.0, 2.0, 160.0}};

class DriverSessionE2e : public DriverE2e {
protected:
    double measure(ViSession vi, ViInt32 type, ViInt16 phase)
    {
        ViReal64 value = -1.0;
        EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", type, phase, &value), VI_SUCCESS) << type << " " << phase;
        return value;
    }

    void runSession()
    {
        expectOpening();
        const ViSession vi = open();
        ViReal64 low = 0, high = 0, current = 0, voltage = 0;
        ViInt32 model = 0;
        ASSERT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, &model), VI_SUCCESS);
        EXPECT_EQ((std::vector{low, high, current, voltage, ViReal64(model)}),
                  (std::vector{16.0, 500.0, 9.2, 300.0, 7103.0}));

        expect({"VOLT:RANG 300.000000", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
        expect({"VOLT 120.000000", "SYST:ERR?"}); // the range comes from the cache
        EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 120.0), VI_SUCCESS);
        expect({"CURR 2.000000", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 2.0), VI_SUCCESS);
        expect({"OUTP 1", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), VI_SUCCESS);
        ViInt32 relay = -1;
        expect({"OUTP?", "SYST:ERR?", "*CLS"});
        EXPECT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS);
        EXPECT_EQ(relay, 1);

        // Measurements neither mark nor run a status check.
        for (ViInt16 phase = 1; phase <= 3; ++phase) {
            const std::string select = "INST:NSEL " + std::to_string(phase);
            expect({select, "MEAS:VOLT?", select, "MEAS:CURR?", select, "MEAS:POW?"});
            const PhaseReading &want = kReadings[phase - 1];
            EXPECT_NEAR(measure(vi, ZEV_QX70_VAL_MEASURE_VOLTAGE, phase), want.voltage, 1e-3) << phase;
            EXPECT_NEAR(measure(vi, ZEV_QX70_VAL_MEASURE_CURRENT, phase), want.current, 1e-4) << phase;
            EXPECT_NEAR(measure(vi, ZEV_QX70_VAL_MEASURE_REAL_POWER, phase), want.realPower, 1e-3) << phase;
        }

        expect({"SYST:LOC"});
        EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
        EXPECT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);

        EXPECT_EQ(received(), expected);
    }
};

TEST_F(DriverSessionE2e, SerialLineCarriesExactlyTheDocumentedCommands)
{
    ASSERT_NO_FATAL_FAILURE(startOnSerial(kSimulator));
    runSession();
}

// Over the socket the driver sends the GPIB form; the socket ends each message with a line feed,
// so the simulator receives the same text as on the serial line.
TEST_F(DriverSessionE2e, SocketCarriesExactlyTheDocumentedCommands)
{
    ASSERT_NO_FATAL_FAILURE(startOnTcp(kSimulator));
    runSession();
}

} // namespace
