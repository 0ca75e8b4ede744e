// The end-to-end scenarios over the LAN: the driver on a VXI-11 link to qxgate, which serves
// qxsim's pseudo-terminal as gpib0,5. The instrument must get the same traffic as on its own
// serial line. Runs inside with_rpcbind.sh.
#include "driver_e2e_fixture.h"

namespace {

using namespace qx::e2e;

class DriverOverLan : public DriverE2e {
protected:
    // qxsim on a pty with `options`, and the gateway serving it.
    void startBehindGateway(std::vector<std::string> options)
    {
        const std::string link = dir + "/link";
        options.insert(options.end(), {"--pty", link});
        ASSERT_NO_FATAL_FAILURE(start(options));
        gateway = std::make_unique<qx::test::QxSimProcess>(
            QXGATE_PATH, std::vector<std::string>{"--listen", "127.0.0.1", "--no-mdns", "--serve", "gpib0,5=ASRL" + link + "::INSTR"});
        ASSERT_EQ(gateway->ready.rfind("qxgate: serving ", 0), 0u) << "qxgate did not start: " << gateway->ready;
        resource = "TCPIP::127.0.0.1::gpib0,5::INSTR";
    }

    void TearDown() override
    {
        if (gateway) {
            EXPECT_EQ(gateway->stop(), 0);
        }
        DriverE2e::TearDown();
    }

    std::unique_ptr<qx::test::QxSimProcess> gateway;
};

TEST_F(DriverOverLan, AnInstrumentFallenSilentTimesOutWithinTheTimeOut)
{
    ASSERT_NO_FATAL_FAILURE(startBehindGateway(silentAfterAReading()));
    fallsSilentAfterAReading();
}

TEST_F(DriverOverLan, AClosedSerialLineBehindTheGatewayGivesErrorsAndStillCloses)
{
    ASSERT_NO_FATAL_FAILURE(startBehindGateway(closesOnTheFirstSetting()));
    lineClosesOnTheFirstSetting();
}

} // namespace
