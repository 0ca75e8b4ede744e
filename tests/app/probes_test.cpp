// The two reachability probes' platform calls: the GPIB layer (in-process devices, bad
// arguments, no driver) and the RS-232 test open (registry, pseudo-terminals, failures).
#include "gpib/gpib.h"
#include "rs232/rs232.h"
#include "visa/device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace qx;

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

void expectGpibFailure(int iberr)
{
    EXPECT_NE(gpib::ibsta() & gpib::ERR, 0);
    EXPECT_EQ(gpib::iberr(), iberr);
}

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
        expectGpibFailure(gpib::EARG);
    }
    gpib::ibwrt(ud, nullptr, 3);
    expectGpibFailure(gpib::EARG);
    gpib::ibwrt(ud, "abc", -1);
    expectGpibFailure(gpib::EARG);
    gpib::ibonl(123456, 0);
    expectGpibFailure(gpib::EDVR);
    EXPECT_EQ(gpib::ibonl(ud, 0), gpib::CMPL);
    gpib::ibwrt(ud, "X", 1); // released
    expectGpibFailure(gpib::EDVR);
    EXPECT_EQ(at.device->writes.size(), 1u);

    EXPECT_EQ(gpib::ibdev(0, 29, 0, gpib::T10s, 1, 0), -1); // no device, no driver
    expectGpibFailure(gpib::EDVR);
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
    EXPECT_EQ(openPort(4), 0);
    EXPECT_EQ(openPort(4), 0); // an open port is opened afresh
    EXPECT_EQ(rs232::CloseCom(4), 0);
    EXPECT_EQ(rs232::CloseCom(4), rs232::RS232_ERR_PORT_NOT_OPEN);

    const Pty pty;
    ASSERT_FALSE(pty.path.empty());
    EXPECT_EQ(openPort(5, pty.path, 19200), 0);
    EXPECT_EQ(openPort(6, pty.path), rs232::RS232_ERR_PORT_BUSY);
    EXPECT_STREQ(rs232::GetRS232ErrorString(rs232::RS232_ERR_PORT_BUSY),
                 "Cannot open port: it is busy, another program or session is using it.");
    EXPECT_EQ(rs232::CloseCom(5), 0);
    EXPECT_EQ(openPort(6, pty.path), 0);
    EXPECT_EQ(rs232::CloseCom(6), 0);

    EXPECT_EQ(openPort(8, "/nonexistent/ttyQX"), rs232::RS232_ERR_NO_SUCH_PORT);
    EXPECT_EQ(openPort(8, "/dev/null"), rs232::RS232_ERR_NOT_A_SERIAL_PORT);
    EXPECT_EQ(rs232::CloseCom(8), rs232::RS232_ERR_PORT_NOT_OPEN);
    EXPECT_EQ(openPort(8, pty.path, 12345), rs232::RS232_ERR_INVALID_BAUD_RATE);
    EXPECT_EQ(rs232::CloseCom(8), rs232::RS232_ERR_PORT_NOT_OPEN);

    const Attached at9("ASRL9::INSTR");
    EXPECT_EQ(openPort(0), rs232::RS232_ERR_INVALID_PORT);
    EXPECT_EQ(openPort(rs232::kMaxComPort + 1), rs232::RS232_ERR_INVALID_PORT);
    EXPECT_EQ(rs232::CloseCom(-3), rs232::RS232_ERR_INVALID_PORT);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 0, 0, 8, 1, 512, 512), rs232::RS232_ERR_INVALID_BAUD_RATE);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 5, 8, 1, 512, 512), rs232::RS232_ERR_INVALID_PARITY);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 0, 9, 1, 512, 512), rs232::RS232_ERR_INVALID_DATA_BITS);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 0, 8, 3, 512, 512), rs232::RS232_ERR_INVALID_STOP_BITS);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 0, 8, 1, -2, 512), rs232::RS232_ERR_INVALID_QUEUE_SIZE);
    EXPECT_EQ(rs232::CloseCom(9), rs232::RS232_ERR_PORT_NOT_OPEN);
    EXPECT_EQ(rs232::OpenComConfig(9, nullptr, 9600, 0, 8, 1, -1, 0), 0); // defaults; null is no name
    EXPECT_EQ(rs232::CloseCom(9), 0);
    EXPECT_STREQ(rs232::GetRS232ErrorString(-12345), "Unknown RS-232 error.");
}

} // namespace
