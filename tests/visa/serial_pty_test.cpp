// The serial path end to end over a real pseudo-terminal; the test plays the instrument on the
// master side. Real time, with short time-outs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "visa/serial_port.h"
#include "visa/visa.h"

using namespace qx::visa;

namespace {

class PseudoTerminal {
public:
    PseudoTerminal()
    {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0)
            path_ = name;
    }
    ~PseudoTerminal()
    {
        closeMaster();
        if (slave_ >= 0)
            ::close(slave_);
    }
    const std::string &path() const { return path_; }
    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    // The instrument speaks.
    void send(const std::string &bytes) const { ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    // What the instrument heard, up to `count` bytes or until quiet for the time-out.
    std::string receive(std::size_t count, int timeoutMs = 1000) const
    {
        std::string got;
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(SerialPort, OpensAndConfiguresAPtyExclusively)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().empty());
    SerialPort port;
    ASSERT_EQ(port.open(pty.path()), VI_SUCCESS);
    SerialSettings settings;
    settings.baud = 19200;
    settings.flowControl = VI_ASRL_FLOW_RTS_CTS;
    EXPECT_EQ(port.configure(settings), VI_SUCCESS);
    settings.stopBits = VI_ASRL_STOP_TWO;
    settings.parity = VI_ASRL_PAR_EVEN;
    settings.dataBits = 7;
    EXPECT_EQ(port.configure(settings), VI_SUCCESS);
    EXPECT_EQ(port.settings().dataBits, 7);
    settings.baud = 12345;
    EXPECT_EQ(port.configure(settings), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(port.settings().baud, 19200u);

    SerialPort second;
    EXPECT_EQ(second.open(pty.path()), VI_ERROR_RSRC_BUSY);
    port.close();
    EXPECT_EQ(second.open(pty.path()), VI_SUCCESS);

    SerialPort missing;
    EXPECT_EQ(missing.open("/dev/no-such-tty"), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(missing.lastErrno(), ENOENT);
    EXPECT_EQ(missing.open("/dev/null"), VI_ERROR_RSRC_NFOUND);
}

TEST(SerialSession, TalksToTheInstrumentOnComPortNamedByTheEnvironment)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().empty());
    ::setenv("QX_COM5", pty.path().c_str(), 1);
    ViSession rm = VI_NULL;
    ViSession io = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "ASRL5::INSTR", VI_NULL, 5000, &io), VI_SUCCESS);
    // The driver's set-up, all of which a pty must take.
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 1000), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_ASRL_BAUD, 9600), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_ASRL_DATA_BITS, 8), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_NONE), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_RTS_CTS), VI_SUCCESS);
    EXPECT_EQ(viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, 4000), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);

    EXPECT_EQ(viPrintf(io, "VOLT %lf\n", 120.0), VI_SUCCESS);
    EXPECT_EQ(pty.receive(16), "VOLT 120.000000\n");

    // The answer comes in two pieces; the read waits for the line feed.
    ASSERT_EQ(viPrintf(io, "VOLT?\n"), VI_SUCCESS);
    std::thread instrument([&] {
        if (pty.receive(6) == "VOLT?\n") {
            pty.send("120.0");
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            pty.send("00\n50.0\n");
        }
    });
    ViReal64 value = 0;
    EXPECT_EQ(viScanf(io, "%lf\n", &value), VI_SUCCESS);
    instrument.join();
    EXPECT_EQ(value, 120.0);
    EXPECT_EQ(viScanf(io, "%lf\n", &value), VI_SUCCESS); // the second line is still there
    EXPECT_EQ(value, 50.0);

    // Nothing comes: the read gives up after the time-out, not before and not much later.
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    const auto start = std::chrono::steady_clock::now();
    char buffer[32];
    ViUInt32 count = 0;
    EXPECT_EQ(viRead(io, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count), VI_ERROR_TMO);
    EXPECT_GE(secondsSince(start), 0.09);
    EXPECT_LT(secondsSince(start), 1.0);

    // The other end goes away.
    pty.closeMaster();
    EXPECT_EQ(viRead(io, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count), VI_ERROR_CONN_LOST);
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
    ::unsetenv("QX_COM5");
}
