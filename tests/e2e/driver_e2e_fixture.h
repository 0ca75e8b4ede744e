// The fixture of the end-to-end tests: the shipped shared driver against the real qxsim program,
// a fresh simulator per test in its own directory, and its transcript against the traffic the test
// expects. The scenarios run over each link the tests name: a misbehaving instrument's every
// failure comes back as an error code within the I/O time-out (never as a hang or a crash), and
// the handle still closes.
#pragma once

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

namespace qx::e2e {

inline constexpr ViStatus kTimeout = _VI_ERROR + 0x3FFF0015; // VI_ERROR_TMO

// How many messages ZEV_QX70_init sends (expectOpening), so a fault can start right after them.
inline constexpr std::size_t kOpeningMessages = 11;

// Seconds a call took, to prove that it returned within its time-out and did not hang.
template <class Call> double secondsFor(Call &&call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The primary error that the session recorded.
inline ViStatus recordedError(ViSession vi)
{
    ViStatus primary = 0, secondary = 0;
    ViChar elaboration[256] = {};
    EXPECT_EQ(ZEV_QX70_GetErrorInfo(vi, &primary, &secondary, elaboration), VI_SUCCESS);
    return primary;
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
    // the serial form carries and that a socket or the LAN gateway's serial line adds to the
    // GPIB form.
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

    // qxsim options: answer the opening, a voltage setting with its status checks and a reading
    // of the voltage, then fall silent.
    static std::vector<std::string> silentAfterAReading()
    {
        return {"--silent", "--faults-after", std::to_string(kOpeningMessages + 8)};
    }

    // The measurement neither marks nor runs a check, so the reading after the silence is one
    // exchange: exactly one time-out of the link's own length (5 s off the serial line).
    void fallsSilentAfterAReading()
    {
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

    // qxsim options: close the line on the first setting command, a message without an answer.
    static std::vector<std::string> closesOnTheFirstSetting()
    {
        return {"--close-after", std::to_string(kOpeningMessages + 1)};
    }

    // The status check after the setting meets the closed line; close reports that "SYST:LOC"
    // cannot go out and still disposes of the session.
    void lineClosesOnTheFirstSetting()
    {
        expectOpening();
        const ViSession vi = open();
        ViStatus status = 0;
        expect({"VOLT:RANG 300.000000"});
        EXPECT_LT(secondsFor([&] { status = ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0); }), 1.0);
        EXPECT_LT(status, 0);
        EXPECT_EQ(recordedError(vi), status);

        EXPECT_LT(secondsFor([&] { status = ZEV_QX70_close(vi); }), 1.0);
        EXPECT_LT(status, 0);
        EXPECT_EQ(ZEV_QX70_ConnectOutput(vi, "1"), ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);
        EXPECT_EQ(received(), expected);
    }

    std::string dir;
    std::string resource;
    std::unique_ptr<test::QxSimProcess> sim;
    std::vector<std::string> expected;
};

} // namespace qx::e2e
