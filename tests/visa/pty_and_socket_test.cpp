// The serial and TCP paths end to end, over a real pseudo-terminal and a loopback socket; the test
// plays the instrument on the other end. Real time, with short time-outs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include "session_fixture.h"
#include "qxsim_process.h" // readLine
#include "visa/serial_port.h"

using namespace qx::visa;

namespace {

// The instrument's end of the line.
class Peer {
public:
    ~Peer() { hangUp(); }
    void hangUp() { ::close(std::exchange(fd_, -1)); }
    void send(const std::string &bytes) const
    {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The next line the instrument heard, "" when none came.
    std::string receive() const { return qx::test::readLine(fd_); }

protected:
    int fd_ = -1;
};

// The master side of a pseudo-terminal; sessions open the slave by its path.
class PseudoTerminal : public Peer {
public:
    PseudoTerminal()
    {
        char name[256] = {};
        if (::openpty(&fd_, &slave_, name, nullptr, nullptr) == 0)
            path = name;
    }
    ~PseudoTerminal() { ::close(slave_); }
    std::string path;

private:
    int slave_ = -1;
};

// A loopback listener; the peer is the connection it accepts.
class Listener : public Peer {
public:
    Listener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto *generic = reinterpret_cast<sockaddr *>(&address);
        if (::bind(listening_, generic, sizeof address) == 0 && ::listen(listening_, 1) == 0 &&
            ::getsockname(listening_, generic, &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(listening_); }
    std::string resource() const { return "TCPIP::127.0.0.1::" + std::to_string(port) + "::SOCKET"; }
    bool accept()
    {
        pollfd p{listening_, POLLIN, 0};
        return ::poll(&p, 1, 2000) == 1 && (fd_ = ::accept(listening_, nullptr, nullptr)) >= 0;
    }
    int port = 0;

private:
    int listening_ = ::socket(AF_INET, SOCK_STREAM, 0);
};

// A read of `io` into a small buffer: its status and the bytes read.
std::pair<ViStatus, std::string> readFrom(ViSession io)
{
    char buffer[64];
    ViUInt32 count = 0;
    const ViStatus status = viRead(io, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count);
    return {status, std::string(buffer, count)};
}

// The read of `io` times out after its time-out of 0.1 s, not before and not much later. Then the
// instrument answers after all; the answer is dropped before the next query, which gets its own.
// Then the instrument hangs up, which the next read reports; closing `rm` closes `io`.
void expectTimeOutLateAnswerDroppedAndHangUpReported(ViSession rm, ViSession io, Peer &peer)
{
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readFrom(io).first, VI_ERROR_TMO);
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited.count(), 0.09);
    EXPECT_LT(waited.count(), 1.0);

    peer.send("50.0\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // until it has surely arrived
    ASSERT_EQ(viPrintf(io, "VOLT?\n"), VI_SUCCESS);
    EXPECT_EQ(peer.receive(), "VOLT?\n");
    peer.send("120.0\n");
    ViReal64 value = 0;
    EXPECT_EQ(viScanf(io, "%lf\n", &value), VI_SUCCESS);
    EXPECT_EQ(value, 120.0);
    peer.hangUp();
    EXPECT_EQ(readFrom(io).first, VI_ERROR_CONN_LOST);
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

} // namespace

TEST(SerialSession, APtyIsOpenedExclusivelyConfiguredAndTalkedToOnTheComPortNamedByTheEnvironment)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path.empty());
    {
        SerialPort port;
        ASSERT_EQ(port.open(pty.path), VI_SUCCESS);
        SerialSettings settings{
            .baud = 19200, .dataBits = 7, .parity = VI_ASRL_PAR_EVEN, .stopBits = VI_ASRL_STOP_TWO};
        EXPECT_EQ(port.configure(settings), VI_SUCCESS);
        EXPECT_EQ(port.settings().dataBits, 7);
        settings.baud = 12345;
        EXPECT_EQ(port.configure(settings), VI_ERROR_NSUP_ATTR_STATE);
        EXPECT_EQ(port.settings().baud, 19200u);
        SerialPort second;
        EXPECT_EQ(second.open(pty.path), VI_ERROR_RSRC_BUSY);
        SerialPort missing;
        EXPECT_EQ(missing.open("/dev/no-such-tty"), VI_ERROR_RSRC_NFOUND);
        EXPECT_EQ(missing.lastErrno(), ENOENT);
    } // closed: the session below may have the port

    ::setenv("QX_COM5", pty.path.c_str(), 1);
    ViSession rm = VI_NULL, io = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "ASRL5::INSTR", VI_NULL, 5000, &io), VI_SUCCESS);
    // The driver's whole set-up runs on a pty in its end-to-end tests. With its read buffer mode
    // a scan drops what it leaves in the buffer, so the second line below must still be on the line.
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "VOLT %lf\n", 120.0), VI_SUCCESS);
    EXPECT_EQ(pty.receive(), "VOLT 120.000000\n");

    // Two lines at once: the scan takes the first (answers in pieces: formatted_io_test.cpp).
    ASSERT_EQ(viPrintf(io, "VOLT?\n"), VI_SUCCESS);
    EXPECT_EQ(pty.receive(), "VOLT?\n");
    pty.send("120.000\n50.0\n");
    ViReal64 value = 0;
    EXPECT_EQ(viScanf(io, "%lf\n", &value), VI_SUCCESS);
    EXPECT_EQ(value, 120.0);
    EXPECT_EQ(viScanf(io, "%lf\n", &value), VI_SUCCESS); // the second line is still there
    EXPECT_EQ(value, 50.0);

    expectTimeOutLateAnswerDroppedAndHangUpReported(rm, io, pty);
    ::unsetenv("QX_COM5");
}

TEST(TcpSocketSession, QueriesEndAtTheLineFeedALostPeerIsReportedNobodyListeningIsAMissingResource)
{
    std::string unused;
    {
        Listener closed; // take a free port, then let it go
        unused = closed.resource();
    }
    ViSession rm = VI_NULL, io = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_EQ(viOpen(rm, unused.c_str(), VI_NULL, 2000, &io), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(io, VI_NULL);

    Listener listener;
    ASSERT_NE(listener.port, 0);
    ASSERT_EQ(viOpen(rm, listener.resource().c_str(), VI_NULL, 2000, &io), VI_SUCCESS);
    ASSERT_TRUE(listener.accept());
    EXPECT_EQ(test::textAttribute(io, VI_ATTR_RSRC_CLASS), "SOCKET");
    EXPECT_EQ(test::attribute<ViUInt16>(io, VI_ATTR_TCPIP_PORT), listener.port);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);

    // A message without its own line feed gets one with its END, and only one.
    ASSERT_EQ(viPrintf(io, "VOLT %lf", 120.0), VI_SUCCESS);
    ASSERT_EQ(viPrintf(io, "*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(listener.receive(), "VOLT 120.000000\n");
    EXPECT_EQ(listener.receive(), "*IDN?\n");
    listener.send("ZE,7101QX,1,1.0\nNEXT\n");
    ViChar identity[257] = {};
    EXPECT_EQ(viScanf(io, "%256[^\n]", identity), VI_SUCCESS);
    EXPECT_STREQ(identity, "ZE,7101QX,1,1.0");
    EXPECT_EQ(readFrom(io), std::pair(ViStatus{VI_SUCCESS_TERM_CHAR}, std::string("NEXT\n")));
    expectTimeOutLateAnswerDroppedAndHangUpReported(rm, io, listener);
}
