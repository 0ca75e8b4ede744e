// TCPIP SOCKET sessions against a loopback listener that plays the instrument.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "visa/visa.h"

namespace {

class LoopbackListener {
public:
    LoopbackListener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(fd_, 1) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener()
    {
        if (peer_ >= 0)
            ::close(peer_);
        ::close(fd_);
    }
    std::string resource() const { return "TCPIP::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }
    bool accept(int timeoutMs = 2000)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return false;
        peer_ = ::accept(fd_, nullptr, nullptr);
        return peer_ >= 0;
    }
    std::string receive(std::size_t count)
    {
        std::string got;
        while (got.size() < count) {
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, 2000) != 1)
                break;
            char buffer[256];
            const ssize_t n = ::recv(peer_, buffer, std::min(sizeof buffer, count - got.size()), 0);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    void send(const std::string &bytes) { ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size())); }
    void hangUp()
    {
        ::close(peer_);
        peer_ = -1;
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int peer_ = -1;
    int port_ = 0;
};

} // namespace

TEST(TcpSocketSession, QueriesEndAtTheLineFeedAndALostPeerIsReported)
{
    LoopbackListener listener;
    ASSERT_NE(listener.port(), 0);
    ViSession rm = VI_NULL;
    ViSession io = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, listener.resource().c_str(), VI_NULL, 2000, &io), VI_SUCCESS);
    ASSERT_TRUE(listener.accept());
    ViChar text[256] = {};
    ASSERT_EQ(viGetAttribute(io, VI_ATTR_RSRC_CLASS, text), VI_SUCCESS);
    EXPECT_STREQ(text, "SOCKET");
    ViUInt16 port = 0;
    ASSERT_EQ(viGetAttribute(io, VI_ATTR_TCPIP_PORT, &port), VI_SUCCESS);
    EXPECT_EQ(port, listener.port());
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);

    // A message without its own line feed gets one with its END, and only one.
    ASSERT_EQ(viPrintf(io, "VOLT %lf", 120.0), VI_SUCCESS);
    ASSERT_EQ(viPrintf(io, "*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(listener.receive(22), "VOLT 120.000000\n*IDN?\n");
    listener.send("ZE,7101QX,1,1.0\nNEXT\n");
    ViChar identity[257] = {};
    EXPECT_EQ(viScanf(io, "%256[^\n]", identity), VI_SUCCESS);
    EXPECT_STREQ(identity, "ZE,7101QX,1,1.0");
    char buffer[64] = {};
    ViUInt32 count = 0;
    EXPECT_EQ(viRead(io, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(buffer, count), "NEXT\n");

    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    EXPECT_EQ(viRead(io, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count), VI_ERROR_TMO);

    listener.hangUp();
    EXPECT_EQ(viRead(io, reinterpret_cast<ViBuf>(buffer), sizeof buffer, &count), VI_ERROR_CONN_LOST);
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

TEST(TcpSocketSession, NobodyListeningIsAMissingResource)
{
    int port = 0;
    {
        LoopbackListener closed; // take a free port, then let it go
        port = closed.port();
    }
    ViSession rm = VI_NULL;
    ViSession io = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    const std::string resource = "TCPIP::127.0.0.1::" + std::to_string(port) + "::SOCKET";
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_NULL, 2000, &io), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(io, VI_NULL);
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
}
