// The shared driver against the real qxsim program, over a pseudo-terminal or a socket: a fresh
// simulator per test in its own directory, its transcript, and the traffic the test expects.
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

    // qxsim on a pseudo-terminal that QX_COM7 points at (COM port 7 of the serial resource name),
    // writing the transcript.
    void startOnSerial(std::vector<std::string> options)
    {
        const std::string link = dir + "/link";
        options.insert(options.end(), {"--pty", link});
        start(std::move(options));
        ASSERT_NE(sim->ready.find("(" + link + ")"), std::string::npos) << sim->ready;
        ASSERT_EQ(::setenv("QX_COM7", link.c_str(), 1), 0);
        resource = "ASRL7::INSTR";
    }

    // qxsim on a free TCP port, writing the transcript.
    void startOnTcp(std::vector<std::string> options)
    {
        options.insert(options.end(), {"--tcp", "0"});
        start(std::move(options));
        ASSERT_GT(sim->port(), 0) << sim->ready;
        resource = "TCPIP::127.0.0.1::" + std::to_string(sim->port()) + "::SOCKET";
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

private:
    void start(std::vector<std::string> options)
    {
        options.insert(options.end(), {"--transcript", dir + "/transcript"});
        sim = std::make_unique<test::QxSimProcess>(QXSIM_PATH, std::move(options));
        ASSERT_EQ(sim->ready.rfind("qxsim: ", 0), 0u) << "qxsim did not start: " << sim->ready;
    }
};

} // namespace qx::e2e
