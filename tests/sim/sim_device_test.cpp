#include "sim/attach.h"
#include "sim/sim_device.h"
#include "sim_test_support.h"

#include <tuple>

namespace qx::sim::testing {

using qx::visa::DeviceRead;
using Status = DeviceRead::Status;

class SimDeviceTest : public ::testing::Test {
protected:
    qx::runtime::Timeline timeline;
    qx::runtime::VirtualClock clock{&timeline};
    qx::runtime::ScopedClock scoped{clock};
    std::shared_ptr<Simulator> sim = std::make_shared<Simulator>();
    SimDevice stream{sim, SimDevice::Link::Stream};
    SimDevice gpib{sim, SimDevice::Link::Gpib};
};

TEST_F(SimDeviceTest, StreamMessagesEndAtLineFeedsAnswersQueueUpAClearDropsThemEndlessInputOverruns)
{
    EXPECT_EQ(stream.read(4096).status, Status::Silent);
    ASSERT_TRUE(stream.write("*ID", false));
    EXPECT_EQ(stream.read(4096).status, Status::Silent); // no complete message yet
    ASSERT_TRUE(stream.write("N?\nLIM:VOLT?\r\nVOLT 5\n", false));
    DeviceRead r = stream.read(4);
    EXPECT_EQ(std::tuple(r.status, r.bytes, r.end), std::tuple(Status::Data, "ZE,7", false));
    r = stream.read(4096);
    EXPECT_EQ(std::pair(r.bytes, r.end), std::pair(kIdn.substr(4) + "300\n", false)); // a serial line has no END
    EXPECT_EQ(stream.read(4096).status, Status::Silent);
    EXPECT_EQ(sim->snapshot().settings.phases[0].voltage, 5.0);

    // A clear drops pending input and output; endless input overruns the buffer.
    ASSERT_TRUE(stream.write("*IDN?\nVOLT 7", false));
    stream.clear();
    EXPECT_EQ(stream.read(4096).status, Status::Silent);
    ASSERT_TRUE(stream.write("\n", false)); // the half message is gone, not completed
    EXPECT_EQ(sim->snapshot().settings.phases[0].voltage, 5.0);
    ASSERT_TRUE(stream.write(std::string(SimDevice::kMaxInput + 1, 'A'), false));
    ASSERT_TRUE(stream.write("SYST:ERR?\n", false));
    EXPECT_EQ(stream.read(4096).bytes, "-363,\"Input buffer overrun\"\n");
    ASSERT_TRUE(stream.write("*IDN?", true)); // END means nothing on a wire
    EXPECT_EQ(stream.read(4096).status, Status::Silent);
}

TEST_F(SimDeviceTest, GpibMessagesEndWithEndTheNextInterruptsSlowAndCloseFaultsAttachRefusesBadArguments)
{
    ASSERT_TRUE(gpib.write("*IDN?", true));
    DeviceRead r = gpib.read(10);
    EXPECT_EQ(std::pair(r.bytes, r.end), std::pair(kIdn.substr(0, 10), false));
    r = gpib.read(4096);
    EXPECT_EQ(std::pair(r.bytes, r.end), std::pair(kIdn.substr(10), true));
    ASSERT_TRUE(gpib.write("*IDN?\r\n", true)); // the probe's form
    EXPECT_EQ(gpib.read(4096).bytes, kIdn);
    // A query whose answer was not read is interrupted by the next message.
    ASSERT_TRUE(gpib.write("*IDN?", true));
    ASSERT_TRUE(gpib.write("LIM:CURR?", true));
    EXPECT_EQ(gpib.read(4096).bytes, "9.2\n");
    ASSERT_TRUE(gpib.write("SYST:ERR?", true));
    EXPECT_EQ(gpib.read(4096).bytes, "-410,\"Query INTERRUPTED\"\n");

    // A slow answer waits on the clock.
    ASSERT_TRUE(sim->setFaults(Faults{.slowSeconds = 2.0}));
    ASSERT_TRUE(stream.write("*IDN?\n", false));
    EXPECT_TRUE(timeline.events().empty());
    EXPECT_EQ(stream.read(4096).bytes, kIdn);
    EXPECT_EQ(timeline.events(), std::vector<std::string>{"wait 2"});
    // The line closes after the second message, once its answer was taken.
    ASSERT_TRUE(sim->setFaults(Faults{.closeAfter = 2}));
    ASSERT_TRUE(stream.write("VOLT 1\n*IDN?\nVOLT 3\n", false)); // the third message is never taken
    EXPECT_FALSE(stream.closed());
    EXPECT_EQ(stream.read(4096).bytes, kIdn);
    EXPECT_TRUE(stream.closed());
    EXPECT_EQ(stream.read(4096).status, Status::Closed);
    EXPECT_FALSE(stream.write("*IDN?\n", false));
    EXPECT_EQ(sim->snapshot().settings.phases[0].voltage, 1.0);
    EXPECT_EQ(sim->messagesReceived(), 8u); // five over GPIB, the slow *IDN? and two of the three

    // Attach refuses a null simulator and a name that is no resource (what it makes of good ones,
    // the front panel's tests use throughout).
    EXPECT_EQ(attach(nullptr, "ASRL2::INSTR"), nullptr);
    EXPECT_EQ(attach(std::make_shared<Simulator>(), "not a resource"), nullptr);
}

} // namespace qx::sim::testing
