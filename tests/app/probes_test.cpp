// The two reachability probes' platform calls: the GPIB layer (in-process devices, bad
// arguments, no driver) and the RS-232 test open (registry, pseudo-terminals, failures).
#include "gpib/gpib.h"
#include "rs232/rs232.h"
#include "visa/device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace qx;

struct Written {
    std::string bytes;
    bool end;
    bool operator==(const Written &) const = default;
};

class RecordingDevice final : public visa::Device {
public:
    bool write(std::string_view bytes, bool end) override
    {
        writes.push_back({std::string(bytes), end});
        return true;
    }
    visa::DeviceRead read(std::size_t) override { return {}; }
    std::vector<Written> writes;
};

// Attached under a name for the life of the test.
class Attached {
public:
    Attached(std::string name, std::shared_ptr<visa::Device> device) : name_(std::move(name))
    {
        visa::attachDevice(name_, std::move(device));
    }
    ~Attached() { visa::detachDevice(name_); }
    Attached(const Attached &) = delete;
    Attached &operator=(const Attached &) = delete;

private:
    std::string name_;
};

class GpibProbe : public ::testing::Test {
protected:
    GpibProbe() { setenv("QX_GPIB_LIBRARY", "/nonexistent/libgpib.so.0", 0); }
    static void expectFailure(int iberr)
    {
        EXPECT_NE(gpib::ibsta() & gpib::ERR, 0);
        EXPECT_EQ(gpib::iberr(), iberr);
    }
};

TEST_F(GpibProbe, WritesToAnAttachedDeviceWithEndThenReleasesTheDescriptor)
{
    auto device = std::make_shared<RecordingDevice>();
    const Attached at("GPIB0::12::INSTR", device);

    const int ud = gpib::ibdev(0, 12, 0, gpib::T10s, 1, 0);
    ASSERT_GE(ud, 0);
    EXPECT_EQ(gpib::ibsta(), gpib::CMPL);
    EXPECT_EQ(gpib::ibwrt(ud, "*IDN?\r\n", 7), gpib::CMPL);
    EXPECT_EQ(gpib::ibcntl(), 7);
    EXPECT_EQ(device->writes, (std::vector<Written>{{"*IDN?\r\n", true}}));

    EXPECT_EQ(gpib::ibonl(ud, 0), gpib::CMPL);
    gpib::ibwrt(ud, "X", 1);
    expectFailure(gpib::EDVR);
    EXPECT_EQ(device->writes.size(), 1u);
}

TEST_F(GpibProbe, NoDeviceAndNoGpibDriverIsAnOperatingSystemError)
{
    EXPECT_EQ(gpib::ibdev(0, 29, 0, gpib::T10s, 1, 0), -1);
    expectFailure(gpib::EDVR);
    gpib::ibwrt(-1, "*IDN?\r\n", 7);
    expectFailure(gpib::EDVR);
}

TEST_F(GpibProbe, BadArgumentsAreRefused)
{
    const Attached at("GPIB0::4::INSTR", std::make_shared<RecordingDevice>());
    for (const std::vector<int> &args : {std::vector<int>{-1, 4, 0, 13}, {0, 31, 0, 13}, {0, 4, 5, 13},
                                         {0, 4, 0x7F, 13}, {0, 4, 0, 18}, {0, 4, 0, -1}}) {
        EXPECT_EQ(gpib::ibdev(args[0], args[1], args[2], args[3], 1, 0), -1);
        expectFailure(gpib::EARG);
    }
    const int ud = gpib::ibdev(0, 4, 0, gpib::T10s, 1, 0);
    ASSERT_GE(ud, 0);
    gpib::ibwrt(ud, nullptr, 3);
    expectFailure(gpib::EARG);
    gpib::ibwrt(ud, "abc", -1);
    expectFailure(gpib::EARG);
    gpib::ibwrt(123456, "abc", 3);
    expectFailure(gpib::EDVR);
    gpib::ibonl(123456, 0);
    expectFailure(gpib::EDVR);
    gpib::ibonl(ud, 0);
}

TEST_F(GpibProbe, StatusBelongsToTheCallingThread)
{
    const Attached at("GPIB0::6::INSTR", std::make_shared<RecordingDevice>());
    const int ud = gpib::ibdev(0, 6, 0, gpib::T10s, 1, 0);
    ASSERT_GE(ud, 0);
    std::thread([] { gpib::ibdev(0, 31, 0, 13, 1, 0); }).join();
    EXPECT_EQ(gpib::ibsta(), gpib::CMPL);
    gpib::ibonl(ud, 0);
}

TEST(GpibErrorText, EveryCodeOfTheTableAndNoErrorForTheRest)
{
    const std::vector<std::pair<int, std::string>> expected = {
        {0, "Operating System error."},
        {1, "Function required GPIB board to be CIC."},
        {2, "No listeners on the GPIB."},
        {3, "GPIB board not addressed correctly."},
        {4, "Invalid argument to function call."},
        {5, "GPIB board not System Controller as required."},
        {6, "I/O operation aborted (timeout)."},
        {7, "Nonexistent GPIB board."},
        {8, "DMA error."},
        {10, "Asynchronous I/O in progress."},
        {11, "No capability for operation."},
        {12, "File system error."},
        {14, "GPIB bus error."},
        {15, "Serial Poll status byte queue overflow."},
        {16, "SRQ stuck in ON position."},
        {20, "Table problem."},
    };
    for (const auto &[code, text] : expected)
        EXPECT_EQ(gpib::gpibErrorText(code), text) << code;
    for (int code : {-1, 9, 13, 17, 18, 19, 21, 1000})
        EXPECT_STREQ(gpib::gpibErrorText(code), "No error.") << code;
}

// A pseudo-terminal whose slave side stands in for a serial port.
class Pty {
public:
    Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
            path_ = ptsname(master_);
    }
    ~Pty()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
    const std::string &path() const { return path_; }

private:
    int master_;
    std::string path_;
};

int openPort(int port, const char *device = "", long baud = 9600)
{
    return rs232::OpenComConfig(port, device, baud, 0, 8, 1, 512, 512);
}

TEST(Rs232, AttachedDeviceOpensWithoutHardwareAndClosesOnce)
{
    const Attached at("ASRL4::INSTR", std::make_shared<RecordingDevice>());
    EXPECT_EQ(openPort(4), 0);
    EXPECT_EQ(openPort(4), 0); // an open port is opened afresh
    EXPECT_EQ(rs232::CloseCom(4), 0);
    EXPECT_EQ(rs232::CloseCom(4), rs232::RS232_ERR_PORT_NOT_OPEN);
}

TEST(Rs232, PseudoTerminalOpensAndASecondOpenerFindsItBusy)
{
    const Pty pty;
    ASSERT_FALSE(pty.path().empty());
    EXPECT_EQ(openPort(5, pty.path().c_str(), 19200), 0);
    EXPECT_EQ(openPort(6, pty.path().c_str()), rs232::RS232_ERR_PORT_BUSY);
    EXPECT_EQ(rs232::CloseCom(5), 0);
    EXPECT_EQ(openPort(6, pty.path().c_str()), 0);
    EXPECT_EQ(rs232::CloseCom(6), 0);
}

TEST(Rs232, ComPortNumberFollowsQxComN)
{
    const Pty pty;
    ASSERT_FALSE(pty.path().empty());
    setenv("QX_COM7", pty.path().c_str(), 1);
    EXPECT_EQ(openPort(7), 0);
    unsetenv("QX_COM7");
    EXPECT_EQ(rs232::CloseCom(7), 0);
}

TEST(Rs232, OpenFailuresSayWhatWentWrong)
{
    EXPECT_EQ(openPort(8, "/nonexistent/ttyQX"), rs232::RS232_ERR_NO_SUCH_PORT);
    EXPECT_EQ(openPort(8, "/dev/null"), rs232::RS232_ERR_NOT_A_SERIAL_PORT);
    EXPECT_EQ(rs232::CloseCom(8), rs232::RS232_ERR_PORT_NOT_OPEN);
}

TEST(Rs232, BadPortNumbersAndSettingsAreRefusedBeforeAnythingOpens)
{
    const Attached at("ASRL9::INSTR", std::make_shared<RecordingDevice>());
    EXPECT_EQ(openPort(0), rs232::RS232_ERR_INVALID_PORT);
    EXPECT_EQ(openPort(rs232::kMaxComPort + 1), rs232::RS232_ERR_INVALID_PORT);
    EXPECT_EQ(rs232::CloseCom(-3), rs232::RS232_ERR_INVALID_PORT);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 0, 0, 8, 1, 512, 512), rs232::RS232_ERR_INVALID_BAUD_RATE);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 5, 8, 1, 512, 512), rs232::RS232_ERR_INVALID_PARITY);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 0, 9, 1, 512, 512), rs232::RS232_ERR_INVALID_DATA_BITS);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 0, 8, 3, 512, 512), rs232::RS232_ERR_INVALID_STOP_BITS);
    EXPECT_EQ(rs232::OpenComConfig(9, "", 9600, 0, 8, 1, -2, 512), rs232::RS232_ERR_INVALID_QUEUE_SIZE);
    EXPECT_EQ(rs232::OpenComConfig(9, nullptr, 9600, 0, 8, 1, -1, 0), 0); // defaults; null is no name
    EXPECT_EQ(rs232::CloseCom(9), 0);

    const Pty pty;
    ASSERT_FALSE(pty.path().empty());
    EXPECT_EQ(openPort(9, pty.path().c_str(), 12345), rs232::RS232_ERR_INVALID_BAUD_RATE);
    EXPECT_EQ(rs232::CloseCom(9), rs232::RS232_ERR_PORT_NOT_OPEN);
}

TEST(Rs232, EveryCodeHasItsOwnText)
{
    const int codes[] = {rs232::RS232_ERR_UNKNOWN_SYSTEM,     rs232::RS232_ERR_INVALID_PORT,
                         rs232::RS232_ERR_PORT_NOT_OPEN,      rs232::RS232_ERR_IO,
                         rs232::RS232_ERR_INTERNAL,           rs232::RS232_ERR_NO_SUCH_PORT,
                         rs232::RS232_ERR_PERMISSION_DENIED,  rs232::RS232_ERR_PORT_BUSY,
                         rs232::RS232_ERR_NOT_A_SERIAL_PORT,  rs232::RS232_ERR_OUT_OF_MEMORY,
                         rs232::RS232_ERR_INVALID_QUEUE_SIZE, rs232::RS232_ERR_INVALID_BAUD_RATE,
                         rs232::RS232_ERR_INVALID_PARITY,     rs232::RS232_ERR_INVALID_DATA_BITS,
                         rs232::RS232_ERR_INVALID_STOP_BITS};
    std::set<std::string> texts;
    for (int code : codes)
        texts.insert(rs232::GetRS232ErrorString(code));
    EXPECT_EQ(texts.size(), std::size(codes));
    EXPECT_EQ(texts.count("Unknown RS-232 error."), 0u);
    EXPECT_STREQ(rs232::GetRS232ErrorString(-12345), "Unknown RS-232 error.");
    EXPECT_STREQ(rs232::GetRS232ErrorString(0), "No error.");
    EXPECT_STREQ(rs232::GetRS232ErrorString(rs232::RS232_ERR_PORT_BUSY),
                 "Cannot open port: it is busy, another program or session is using it.");
}

} // namespace
