// The shipped shared driver against the real qxsim program, over a pseudo-terminal or a socket: a
// fresh simulator per test in its own directory, and its transcript against the traffic the test
// expects. A misbehaving instrument's every failure comes back as an error code within the I/O
// time-out (never as a hang or a crash), and the handle still closes.
#include "qxsim_process.h"
#include "zev_qx70.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace qx;

constexpr ViStatus kTimeout = _VI_ERROR + 0x3FFF0015; // VI_ERROR_TMO

// How many messages ZEV_QX70_init sends (expectOpening), so a fault can start right after them.
constexpr std::size_t kOpeningMessages = 11;

// Seconds a call took, to prove that it returned within its time-out and did not hang.
template <class Call> double secondsFor(Call &&call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class DriverE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qx_e2e_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }

    void TearDown() override
    {
        sim.reset();
        std::filesystem::remove_all(dir);
    }

    // qxsim with these options, writing the transcript.
    void start(std::vector<std::string> options)
    {
        options.insert(options.end(), {"--transcript", dir + "/transcript"});
        sim = std::make_unique<test::QxSimProcess>(QXSIM_PATH, std::move(options));
        ASSERT_EQ(sim->ready.rfind("qxsim: ", 0), 0u) << "qxsim did not start: " << sim->ready;
    }

    ViSession open()
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(ZEV_QX70_init(resource.data(), VI_TRUE, VI_FALSE, &vi, 19200), VI_SUCCESS);
        EXPECT_NE(vi, static_cast<ViSession>(VI_NULL));
        return vi;
    }

    // Stops the simulator and returns what it received, in order, without times: the text of
    // each '<' line of the transcript, line feeds written as \n.
    std::vector<std::string> received()
    {
        EXPECT_EQ(sim->stop(), 0);
        std::vector<std::string> lines;
        std::ifstream in(dir + "/transcript");
        for (std::string line; std::getline(in, line);) {
            const auto space = line.find(' ');
            if (space != std::string::npos && line.compare(space + 1, 2, "< ") == 0)
                lines.push_back(line.substr(space + 3));
        }
        return lines;
    }

    // Adds the documented messages of the next driver call, each ending in the line feed that
    // the serial form carries and that the socket adds to the GPIB form.
    void expect(std::initializer_list<std::string_view> messages)
    {
        for (std::string_view m : messages)
            expected.push_back(std::string(m) + "\\n");
    }

    // What ZEV_QX70_init sends with identification and without reset: the remote toggle (each
    // half with its status check), the clear, the identity, the limits, the final check.
    void expectOpening()
    {
        expect({"SYST:LOC", "SYST:ERR?", "SYST:REM", "SYST:ERR?", "*CLS", "*IDN?", "LIM:VOLT?", "LIM:CURR?",
                "LIM:FREQ:LOW?", "LIM:FREQ:HIGH?", "SYST:ERR?"});
    }

    std::string dir;
    std::string resource;
    std::unique_ptr<test::QxSimProcess> sim;
    std::vector<std::string> expected;
};

// The primary error that the session recorded.
ViStatus recordedError(ViSession vi)
{
    ViStatus primary = 0, secondary = 0;
    ViChar elaboration[256] = {};
    EXPECT_EQ(ZEV_QX70_GetErrorInfo(vi, &primary, &secondary, elaboration), VI_SUCCESS);
    return primary;
}

// The instrument answers the opening, a voltage setting with its status checks and a reading of
// the voltage (the measurement neither marks nor runs a check), then falls silent. Off the serial
// line the driver sets a 5 s time-out (the serial line's 10 s would cost twice as much for the same
// proof); the next reading is one exchange, so exactly one time-out.
TEST_F(DriverE2e, AnInstrumentFallenSilentTimesOutWithinTheTimeOut)
{
    const std::string answered = std::to_string(kOpeningMessages + 8);
    ASSERT_NO_FATAL_FAILURE(start({"--silent", "--faults-after", answered, "--tcp", "0"}));
    ASSERT_GT(sim->port(), 0) << sim->ready;
    resource = "TCPIP::127.0.0.1::" + std::to_string(sim->port()) + "::SOCKET";
    expectOpening();
    const ViSession vi = open();
    expect({"VOLT:RANG 300.000000", "SYST:ERR?", "VOLT 120.000000", "SYST:ERR?", "OUTP 1", "SYST:ERR?"});
    EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
    EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 120.0), VI_SUCCESS); // the range comes from the cache
    EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), VI_SUCCESS);
    ViReal64 voltage = -1.0;
    expect({"INST:NSEL 1", "MEAS:VOLT?"});
    EXPECT_EQ(ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 1, &voltage), VI_SUCCESS);
    EXPECT_NEAR(voltage, 120.0, 1e-3);

    ViStatus status = 0;
    const double seconds = secondsFor(
        [&] { status = ZEV_QX70_PhaseMeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 2, &voltage); });
    expect({"INST:NSEL 2", "MEAS:VOLT?"});
    EXPECT_EQ(status, kTimeout);
    EXPECT_GE(seconds, 4.9);
    EXPECT_LE(seconds, 6.0);
    EXPECT_NEAR(voltage, 120.0, 1e-3);
    EXPECT_EQ(recordedError(vi), kTimeout);

    expect({"SYST:LOC"}); // a write: the silent line takes it
    EXPECT_EQ(ZEV_QX70_close(vi), VI_SUCCESS);
    EXPECT_EQ(received(), expected);
}

// The line closes on the first setting command, a message without an answer; the status check
// that follows meets the closed line.
TEST_F(DriverE2e, ClosedSerialLineGivesErrorsAndStillCloses)
{
    const std::string link = dir + "/link"; // a pty for COM port 7 of the serial resource name
    ASSERT_NO_FATAL_FAILURE(start({"--close-after", std::to_string(kOpeningMessages + 1), "--pty", link}));
    ASSERT_EQ(::setenv("QX_COM7", link.c_str(), 1), 0);
    resource = "ASRL7::INSTR";
    expectOpening();
    const ViSession vi = open();

    ViStatus status = 0;
    expect({"VOLT:RANG 300.000000"});
    EXPECT_LT(secondsFor([&] { status = ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0); }), 1.0);
    EXPECT_LT(status, 0);
    EXPECT_EQ(recordedError(vi), status);

    // "SYST:LOC" cannot go out: close reports that and still disposes of the session.
    EXPECT_LT(secondsFor([&] { status = ZEV_QX70_close(vi); }), 1.0);
    EXPECT_LT(status, 0);
    EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(received(), expected);
}

} // namespace
