// The two reachability probes' platform calls: the GPIB layer (in-process devices, bad
// arguments, no driver) and the RS-232 test open (registry, pseudo-terminals, failures).
#include "gpib/gpib.h"
#include "rs232/rs232.h"
#include "visa/device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

namespace {

using namespace qx;
using Codes = std::vector<int>;

class RecordingDevice final : public visa::Device {
public:
    bool write(std::string_view bytes, bool end) override
    {
        writes.push_back(std::string(bytes) + (end ? "<END>" : ""));
        return true;
    }
    visa::DeviceRead read(std::size_t) override { return {}; }
    std::vector<std::string> writes;
};

// A recording device under a resource name for the life of the test.
struct Attached {
    explicit Attached(std::string n) : name(std::move(n)) { visa::attachDevice(name, device); }
    ~Attached() { visa::detachDevice(name); }
    std::string name;
    std::shared_ptr<RecordingDevice> device = std::make_shared<RecordingDevice>();
};

// ERR in the status of the last call, and its error code.
int gpibError() { return gpib::ibsta() & gpib::ERR ? gpib::iberr() : -1; }

TEST(GpibProbe, WritesWithEndToAnAttachedDeviceAndRefusesBadArgumentsAndMissingDevices)
{
    setenv("QX_GPIB_LIBRARY", "/nonexistent/libgpib.so.0", 0); // no GPIB driver here
    const Attached at("GPIB0::12::INSTR");
    const int ud = gpib::ibdev(0, 12, 0, gpib::T10s, 1, 0);
    ASSERT_GE(ud, 0);
    EXPECT_EQ(gpib::ibsta(), gpib::CMPL);
    EXPECT_EQ(gpib::ibwrt(ud, "*IDN?\r\n", 7), gpib::CMPL);
    EXPECT_EQ(gpib::ibcntl(), 7);
    EXPECT_EQ(at.device->writes, std::vector<std::string>{"*IDN?\r\n<END>"});
    std::thread([] { gpib::ibdev(0, 31, 0, 13, 1, 0); }).join();
    EXPECT_EQ(gpib::ibsta(), gpib::CMPL); // the status belongs to the calling thread

    for (const std::vector<int> &args : {std::vector<int>{-1, 12, 0, 13}, {0, 31, 0, 13}, {0, 12, 5, 13},
                                         {0, 12, 0x7F, 13}, {0, 12, 0, 18}, {0, 12, 0, -1}}) {
        EXPECT_EQ(gpib::ibdev(args[0], args[1], args[2], args[3], 1, 0), -1);
        EXPECT_EQ(gpibError(), gpib::EARG);
    }
    const auto errorOf = [](auto call) { return call(), gpibError(); };
    EXPECT_EQ((Codes{errorOf([&] { gpib::ibwrt(ud, nullptr, 3); }), errorOf([&] { gpib::ibwrt(ud, "abc", -1); }),
                     errorOf([] { gpib::ibonl(123456, 0); }), gpib::ibonl(ud, 0),
                     errorOf([&] { gpib::ibwrt(ud, "X", 1); }) /* released */,
                     errorOf([] { gpib::ibdev(0, 29, 0, gpib::T10s, 1, 0); }) /* no device, no driver */}),
              (Codes{gpib::EARG, gpib::EARG, gpib::EDVR, gpib::CMPL, gpib::EDVR, gpib::EDVR}));
    EXPECT_EQ(at.device->writes.size(), 1u);
    for (int code : {-1, 9, 13, 17, 18, 19, 21, 1000}) // codes outside the table
        EXPECT_STREQ(gpib::gpibErrorText(code), "No error.") << code;
}

// A pseudo-terminal whose slave side stands in for a serial port.
struct Pty {
    Pty() : master(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            path = ptsname(master);
    }
    ~Pty() { ::close(master); }
    int master;
    std::string path;
};

int openPort(int port, const std::string &device = "", long baud = 9600)
{
    return rs232::OpenComConfig(port, device.c_str(), baud, 0, 8, 1, 512, 512);
}

TEST(Rs232, OpensAttachedDevicesAndPseudoTerminalsAndRefusesBadPortsAndSettings)
{
    const Attached at("ASRL4::INSTR");
    EXPECT_EQ((Codes{openPort(4), openPort(4) /* opened afresh */, rs232::CloseCom(4), rs232::CloseCom(4)}),
              (Codes{0, 0, 0, rs232::RS232_ERR_PORT_NOT_OPEN}));

    const Pty pty;
    ASSERT_FALSE(pty.path.empty());
    EXPECT_EQ((Codes{openPort(5, pty.path, 19200), openPort(6, pty.path), rs232::CloseCom(5), openPort(6, pty.path),
                     rs232::CloseCom(6)}),
              (Codes{0, rs232::RS232_ERR_PORT_BUSY, 0, 0, 0}));
    EXPECT_STREQ(rs232::GetRS232ErrorString(rs232::RS232_ERR_PORT_BUSY),
                 "Cannot open port: it is busy, another program or session is using it.");
    EXPECT_EQ((Codes{openPort(8, "/nonexistent/ttyQX"), openPort(8, "/dev/null"), rs232::CloseCom(8),
                     openPort(8, pty.path, 12345), rs232::CloseCom(8)}),
              (Codes{rs232::RS232_ERR_NO_SUCH_PORT, rs232::RS232_ERR_NOT_A_SERIAL_PORT, rs232::RS232_ERR_PORT_NOT_OPEN,
                     rs232::RS232_ERR_INVALID_BAUD_RATE, rs232::RS232_ERR_PORT_NOT_OPEN}));

    const Attached at9("ASRL9::INSTR");
    using namespace rs232;
    EXPECT_EQ((Codes{openPort(0), openPort(kMaxComPort + 1), CloseCom(-3), OpenComConfig(9, "", 0, 0, 8, 1, 512, 512),
                     OpenComConfig(9, "", 9600, 5, 8, 1, 512, 512), OpenComConfig(9, "", 9600, 0, 9, 1, 512, 512),
                     OpenComConfig(9, "", 9600, 0, 8, 3, 512, 512), OpenComConfig(9, "", 9600, 0, 8, 1, -2, 512),
                     CloseCom(9), OpenComConfig(9, nullptr, 9600, 0, 8, 1, -1, 0) /* defaults; null is no name */,
                     CloseCom(9)}),
              (Codes{RS232_ERR_INVALID_PORT, RS232_ERR_INVALID_PORT, RS232_ERR_INVALID_PORT, RS232_ERR_INVALID_BAUD_RATE,
                     RS232_ERR_INVALID_PARITY, RS232_ERR_INVALID_DATA_BITS, RS232_ERR_INVALID_STOP_BITS,
                     RS232_ERR_INVALID_QUEUE_SIZE, RS232_ERR_PORT_NOT_OPEN, 0, 0}));
    EXPECT_STREQ(rs232::GetRS232ErrorString(-12345), "Unknown RS-232 error.");
}

} // namespace
