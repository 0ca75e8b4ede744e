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
        EXPECT_EQ(model, 7103);
        EXPECT_DOUBLE_EQ(voltage, 300.0);
        EXPECT_DOUBLE_EQ(current, 9.2);
        EXPECT_DOUBLE_EQ(low, 16.0);
        EXPECT_DOUBLE_EQ(high, 500.0);

        expect({"VOLT:RANG 300.000000", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
        expect({"VOLT 120.000000", "SYST:ERR?"}); // the range comes from the cache
        EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 120.0), VI_SUCCESS);
        expect({"FREQ 60.000000", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 60.0), VI_SUCCESS);
        expect({"CURR 2.000000", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_GenerateACCurrent(vi, "1", 2.0), VI_SUCCESS);
        expect({"OUTP 1", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), VI_SUCCESS);

        ViInt32 relay = -1;
        expect({"OUTP?", "SYST:ERR?", "*CLS"});
        EXPECT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS);
        EXPECT_EQ(relay, 1);

        expect({"DISP:MODE 2", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_DisplayMode(vi, "1", 2), VI_SUCCESS);
        ViInt32 mode = -1;
        expect({"DISP:MODE?", "SYST:ERR?", "*CLS"});
        EXPECT_EQ(ZEV_QX70_DisplayModeQuery(vi, "1", &mode), VI_SUCCESS);
        EXPECT_EQ(mode, 2);

        // Register commands set no status check of their own and none is due here.
        expect({"*SAV 3"});
        EXPECT_EQ(ZEV_QX70_SaveRegister(vi, "1", 3), VI_SUCCESS);
        expect({"VOLT:RANG?", "VOLT 100.000000", "SYST:ERR?"}); // the query cleared the cache
        EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 100.0), VI_SUCCESS);
        expect({"*RCL 3"});
        EXPECT_EQ(ZEV_QX70_RecallRegister(vi, "1", 3), VI_SUCCESS);
        ViReal64 programmed = -1.0;
        expect({"VOLT?", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_QueryOutputFunction(vi, "1", 1, &programmed), VI_SUCCESS);
        EXPECT_DOUBLE_EQ(programmed, 120.0) << "the recall did not restore the saved voltage";

        // Measurements neither mark nor run a status check.
        for (ViInt16 phase = 1; phase <= 3; ++phase) {
            const std::string select = "INST:NSEL " + std::to_string(phase);
            expect({select, "MEAS:VOLT?", select, "MEAS:CURR?", select, "MEAS:POW?"});
            const PhaseReading &want = kReadings[phase - 1];
            EXPECT_NEAR(measure(vi, ZEV_QX70_VAL_MEASURE_VOLTAGE, phase), want.voltage, 1e-3) << phase;
            EXPECT_NEAR(measure(vi, ZEV_QX70_VAL_MEASURE_CURRENT, phase), want.current, 1e-4) << phase;
            EXPECT_NEAR(measure(vi, ZEV_QX70_VAL_MEASURE_REAL_POWER, phase), want.realPower, 1e-3) << phase;
        }

        // A 5 s drop of phase 2 from 90 degrees: long enough that the readings below fall inside it.
        expect({"INST:COUP 0", "INST:NSEL 2", "OUTP:STAR:STAT 1", "OUTP:STAR:PHAS 90.000000", "OUTP:DROP 5.000000",
                "SYST:ERR?", "*CLS"});
        EXPECT_EQ(ZEV_QX70_PhaseDropCommands(vi, "1", 1, 90.0, 5.0, VI_TRUE, 2), VI_SUCCESS);
        expect({"INST:NSEL 2", "MEAS:VOLT?", "INST:NSEL 1", "MEAS:VOLT?"});
        EXPECT_EQ(measure(vi, ZEV_QX70_VAL_MEASURE_VOLTAGE, 2), 0.0) << "phase 2 is not dropped";
        EXPECT_NEAR(measure(vi, ZEV_QX70_VAL_MEASURE_VOLTAGE, 1), 120.0, 1e-3) << "phase 1 dropped too";
        ViInt32 startState = -1, startAngle = -1;
        expect({"INST:NSEL 2", "OUTP:STAR?", "OUTP:STAR:PHAS?", "SYST:ERR?", "*CLS"});
        EXPECT_EQ(ZEV_QX70_PhaseDropSettingQuery(vi, "1", 2, &startState, &startAngle), VI_SUCCESS);
        EXPECT_EQ(startState, 1);
        EXPECT_EQ(startAngle, 90);

        expect({"OUTP 0", "SYST:ERR?"});
        EXPECT_EQ(ZEV_QX70_DisconnectOutput(vi, "1"), VI_SUCCESS);
        expect({"OUTP?", "SYST:ERR?", "*CLS"});
        EXPECT_EQ(ZEV_QX70_QueryOutputRelay(vi, "1", &relay), VI_SUCCESS);
        EXPECT_EQ(relay, 0);

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
