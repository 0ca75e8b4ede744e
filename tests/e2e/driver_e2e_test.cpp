// The end-to-end scenarios over a pseudo-terminal and a socket.
#include "driver_e2e_fixture.h"

namespace {

using namespace qx::e2e;

TEST_F(DriverE2e, AnInstrumentFallenSilentTimesOutWithinTheTimeOut)
{
    std::vector<std::string> options = silentAfterAReading();
    options.insert(options.end(), {"--tcp", "0"});
    ASSERT_NO_FATAL_FAILURE(start(options));
    ASSERT_GT(sim->port(), 0) << sim->ready;
    resource = "TCPIP::127.0.0.1::" + std::to_string(sim->port()) + "::SOCKET";
    fallsSilentAfterAReading();
}

TEST_F(DriverE2e, ClosedSerialLineGivesErrorsAndStillCloses)
{
    const std::string link = dir + "/link"; // a pty for COM port 7 of the serial resource name
    std::vector<std::string> options = closesOnTheFirstSetting();
    options.insert(options.end(), {"--pty", link});
    ASSERT_NO_FATAL_FAILURE(start(options));
    ASSERT_EQ(::setenv("QX_COM7", link.c_str(), 1), 0);
    resource = "ASRL7::INSTR";
    lineClosesOnTheFirstSetting();
}

} // namespace
