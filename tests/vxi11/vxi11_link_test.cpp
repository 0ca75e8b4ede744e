// TCPIP INSTR sessions against an in-process VXI-11 server, found through the real rpcbind of a
// private network namespace (with_rpcbind.sh). Real sockets and real time: each wait is bounded.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "scripted_instrument.h"
#include "visa/visa.h"
#include "serve/vxi11_server.h"
#include "vxi11/portmapper.h"
#include "vxi11/rpc_client.h"
#include "vxi11/vxi11.h"

namespace {

using namespace std::chrono_literals;
using qx::test::ScriptedInstrument;
using Write = ScriptedInstrument::Write;
namespace vxi11 = qx::vxi11;

constexpr const char *kInst0 = "TCPIP::127.0.0.1::inst0::INSTR";

template <class Call> double secondsFor(Call &&call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class Vxi11Link : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS); }
    void TearDown() override
    {
        viClose(rm);
        server.reset();
    }

    void serve(std::uint32_t maxRecvSize = 64 * 1024)
    {
        qx::serve::ServerOptions options;
        options.maxRecvSize = maxRecvSize;
        const auto conversation = std::make_shared<qx::serve::Conversation>(instrument);
        server = std::make_unique<qx::serve::DeviceServer>(
            std::vector<qx::serve::ServedDevice>{{"inst0", conversation}, {"GPIB0,5", conversation}}, options);
        std::string problem;
        ASSERT_TRUE(server->start(problem)) << problem;
        ASSERT_TRUE(vxi11::registerTcpService(DEVICE_CORE, DEVICE_CORE_VERSION, server->corePort()));
    }

    ViSession open(const char *name = kInst0)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(viOpen(rm, name, VI_NULL, 0, &vi), VI_SUCCESS) << name;
        return vi;
    }

    static ViStatus write(ViSession vi, std::string_view text)
    {
        ViUInt32 count = 0;
        return viWrite(vi, reinterpret_cast<ViConstBuf>(text.data()), static_cast<ViUInt32>(text.size()), &count);
    }

    static ViStatus read(ViSession vi, std::string &text, ViUInt32 max = 256)
    {
        text.assign(max, '\0');
        ViUInt32 count = 0;
        const ViStatus status = viRead(vi, reinterpret_cast<ViBuf>(text.data()), max, &count);
        text.resize(count);
        return status;
    }

    // A raw client on the core channel with a link to inst0.
    long rawLink(vxi11::RpcClient &client, bool lockDevice)
    {
        EXPECT_EQ(client.connect("127.0.0.1", server->corePort(), 1000), vxi11::CallResult::Ok);
        std::string device = "inst0";
        Create_LinkParms p{};
        p.lockDevice = lockDevice;
        p.device = device.data();
        Create_LinkResp r{};
        EXPECT_EQ(client.call(DEVICE_CORE, DEVICE_CORE_VERSION, create_link, vxi11::xdrProc(xdr_Create_LinkParms), &p,
                              vxi11::xdrProc(xdr_Create_LinkResp), &r, 1000),
                  vxi11::CallResult::Ok);
        EXPECT_EQ(r.error, vxi11::error::kNone);
        return r.lid;
    }

    ViSession rm = VI_NULL;
    std::shared_ptr<ScriptedInstrument> instrument = std::make_shared<ScriptedInstrument>();
    std::unique_ptr<qx::serve::DeviceServer> server;
};

TEST_F(Vxi11Link, WritesGoInPiecesOfTheServersReceiveSizeWithEndOnTheLastOnly)
{
    ASSERT_NO_FATAL_FAILURE(serve(16));
    const ViSession vi = open();
    EXPECT_EQ(write(vi, std::string(20, 'a') + std::string(20, 'b')), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(write(vi, "VOLT 1"), VI_SUCCESS);
    const std::vector<Write> expected{{std::string(16, 'a'), false},
                                      {"aaaa" + std::string(12, 'b'), false},
                                      {std::string(8, 'b'), true},
                                      {"VOLT 1", false}};
    EXPECT_EQ(instrument->writes(), expected);
}

TEST_F(Vxi11Link, ReadsEndAtEndAtTheCountOrAtTheTerminationCharacterTheSessionAsksFor)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    const ViSession vi = open("TCPIP0::127.0.0.1::gpib0,5::INSTR");
    std::string text;
    instrument->answer("ZE,7103QX,SN000123,1.02\n");
    EXPECT_EQ(read(vi, text), VI_SUCCESS);
    EXPECT_EQ(text, "ZE,7103QX,SN000123,1.02\n");
    instrument->answer("0123456789");
    EXPECT_EQ(read(vi, text, 4), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(text, "0123");
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(read(vi, text), VI_SUCCESS);
    EXPECT_EQ(text, "456789");
    EXPECT_EQ(instrument->termChars(), (std::vector<int>{-1, -1, '\n'}));

    ViChar device[VI_FIND_BUFLEN] = {};
    ViUInt16 interfaceType = 0;
    EXPECT_EQ(viGetAttribute(vi, VI_ATTR_TCPIP_DEVICE_NAME, device), VI_SUCCESS);
    EXPECT_STREQ(device, "gpib0,5");
    EXPECT_EQ(viGetAttribute(vi, VI_ATTR_INTF_TYPE, &interfaceType), VI_SUCCESS);
    EXPECT_EQ(interfaceType, VI_INTF_TCPIP);
}

TEST_F(Vxi11Link, StatusByteTriggerClearAndRemoteReachTheInstrumentAndWhatItLacksIsRefused)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    const ViSession vi = open();
    ViUInt16 stb = 0;
    EXPECT_EQ(viReadSTB(vi, &stb), VI_SUCCESS);
    EXPECT_EQ(stb, 0x51);
    EXPECT_EQ(viAssertTrigger(vi, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
    EXPECT_EQ(viClear(vi), VI_SUCCESS);
    EXPECT_EQ(viGpibControlREN(vi, VI_GPIB_REN_ASSERT_ADDRESS), VI_SUCCESS);
    EXPECT_EQ(viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viGpibControlREN(vi, VI_GPIB_REN_ASSERT_LLO), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viReadSTB(vi, nullptr), VI_ERROR_USER_BUF);
    EXPECT_EQ(instrument->controls(), (std::vector<std::string>{"readstb", "trigger", "clear", "remote"}));
}

TEST_F(Vxi11Link, ASilentInstrumentTimesOutAndTheSessionGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    const ViSession vi = open();
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
    std::string text;
    ViStatus status = VI_SUCCESS;
    const double seconds = secondsFor([&] { status = read(vi, text); });
    EXPECT_EQ(status, VI_ERROR_TMO); // not an I/O error: the link is fine, the instrument is not
    EXPECT_GE(seconds, 0.29);
    EXPECT_LT(seconds, 1.5);
    instrument->answer("1\n");
    EXPECT_EQ(read(vi, text), VI_SUCCESS);
    EXPECT_EQ(text, "1\n");
}

// The server is stuck past the reply time-out (io 200 ms + lock 0 + margin 2 s), then sends the
// answer it had: that late reply must not answer the next call.
TEST_F(Vxi11Link, AReplyThatComesAfterItsCallTimedOutNeverAnswersALaterCall)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    const ViSession vi = open();
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, QX_ATTR_VXI11_LOCK_TMO, 0), VI_SUCCESS);
    instrument->answer("stale\n");
    instrument->stallNextRead(2700ms);
    std::string text;
    ViStatus status = VI_SUCCESS;
    const double seconds = secondsFor([&] { status = read(vi, text); });
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_GE(seconds, 2.1);
    EXPECT_LT(seconds, 2.7);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    EXPECT_EQ(write(vi, "*IDN?"), VI_SUCCESS);
    instrument->answer("fresh\n");
    EXPECT_EQ(read(vi, text), VI_SUCCESS);
    EXPECT_EQ(text, "fresh\n");
}

TEST_F(Vxi11Link, LocksKeepOtherControllersOutForAsLongAsTheirLockTimeOutSays)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    const ViSession holder = open(), other = open();
    ViChar key[VI_FIND_BUFLEN] = "x";
    ASSERT_EQ(viLock(holder, VI_EXCLUSIVE_LOCK, 0, nullptr, key), VI_SUCCESS);
    EXPECT_STREQ(key, "");
    EXPECT_EQ(viLock(holder, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS); // held already

    // Lock time-out 0: refused at once, though the I/O time-out is long.
    ASSERT_EQ(viSetAttribute(other, QX_ATTR_VXI11_LOCK_TMO, 0), VI_SUCCESS);
    ViStatus status = VI_SUCCESS;
    EXPECT_LT(secondsFor([&] { status = write(other, "OUTP 1"); }), 0.5);
    EXPECT_EQ(status, VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(viLock(other, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(viUnlock(other), VI_ERROR_SESN_NLOCKED);
    EXPECT_EQ(viLock(other, VI_SHARED_LOCK, 0, nullptr, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viLock(other, 7, 0, nullptr, nullptr), VI_ERROR_INV_LOCK_TYPE);

    // Unset, the lock time-out follows the I/O time-out.
    const ViSession fresh = open();
    ViUInt32 lockTimeout = 0;
    ASSERT_EQ(viSetAttribute(fresh, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(fresh, QX_ATTR_VXI11_LOCK_TMO, &lockTimeout), VI_SUCCESS);
    EXPECT_EQ(lockTimeout, 300u);
    const double seconds = secondsFor([&] { status = write(fresh, "OUTP 1"); });
    EXPECT_EQ(status, VI_ERROR_RSRC_LOCKED);
    EXPECT_GE(seconds, 0.29);
    EXPECT_LT(seconds, 1.5);
    EXPECT_TRUE(instrument->writes().empty());

    // A lock time-out far longer than the I/O time-out: the reply waits for both, and the call
    // gets through once the holder lets go 2.5 s later (longer than I/O time-out + margin).
    ASSERT_EQ(viSetAttribute(other, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(other, QX_ATTR_VXI11_LOCK_TMO, 5000), VI_SUCCESS);
    auto release = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(2500ms);
        return viUnlock(holder);
    });
    EXPECT_EQ(write(other, "OUTP 1"), VI_SUCCESS);
    EXPECT_EQ(release.get(), VI_SUCCESS);
    EXPECT_EQ(instrument->writes(), (std::vector<Write>{{"OUTP 1", true}}));
}

TEST_F(Vxi11Link, AClientThatVanishesReleasesItsLinkAndLock)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    {
        vxi11::RpcClient client;
        rawLink(client, true);
        EXPECT_EQ(server->linkCount(), 1u);
    } // the connection closes without destroy_link
    for (int i = 0; i < 200 && server->linkCount() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server->linkCount(), 0u);
    const ViSession vi = open();
    EXPECT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 0, nullptr, nullptr), VI_SUCCESS);
}

TEST_F(Vxi11Link, TheAbortChannelEndsAPendingRead)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    vxi11::RpcClient core, abort;
    const long lid = rawLink(core, false);
    auto pending = std::async(std::launch::async, [&] {
        Device_ReadParms p{};
        p.lid = lid;
        p.requestSize = 100;
        p.io_timeout = 10000;
        Device_ReadResp r{};
        const auto result = core.call(DEVICE_CORE, DEVICE_CORE_VERSION, device_read, vxi11::xdrProc(xdr_Device_ReadParms),
                                      &p, vxi11::xdrProc(xdr_Device_ReadResp), &r, 12000);
        xdr_free(vxi11::xdrProc(xdr_Device_ReadResp), reinterpret_cast<char *>(&r));
        return result == vxi11::CallResult::Ok ? r.error : -1L;
    });
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(abort.connect("127.0.0.1", server->abortPort(), 1000), vxi11::CallResult::Ok);
    Device_Link target = lid;
    Device_Error r{};
    EXPECT_EQ(abort.call(DEVICE_ASYNC, DEVICE_ASYNC_VERSION, device_abort, vxi11::xdrProc(xdr_Device_Link), &target,
                         vxi11::xdrProc(xdr_Device_Error), &r, 1000),
              vxi11::CallResult::Ok);
    EXPECT_EQ(r.error, vxi11::error::kNone);
    ASSERT_EQ(pending.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(pending.get(), vxi11::error::kAbort);
}

// Raw bytes on the core channel: the offending connection is answered or closed, the server
// keeps serving everyone else.
TEST_F(Vxi11Link, MalformedCallsAreRefusedOrCloseTheirConnectionOnly)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    const ViSession vi = open();
    auto closedAfter = [&](std::string bytes) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(server->corePort());
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&where), sizeof where), 0);
        EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
        timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char c = 0;
        const ssize_t n = ::recv(fd, &c, 1, 0);
        const bool reset = n < 0 && errno == ECONNRESET; // closed with our bytes unread
        ::close(fd);
        return n == 0 || reset;
    };
    EXPECT_TRUE(closedAfter(std::string("\x7f\xff\xff\xff", 4) + "more than the server takes"));
    EXPECT_TRUE(closedAfter(std::string("\x80\x00\x00\x08\x00\x00\x00\x01\x00\x00\x00\x01", 12))); // a reply

    vxi11::RpcClient client;
    ASSERT_EQ(client.connect("127.0.0.1", server->corePort(), 1000), vxi11::CallResult::Ok);
    Device_Error r{};
    Device_Link lid = 1;
    auto call = [&](std::uint32_t program, std::uint32_t version, std::uint32_t procedure) {
        return client.call(program, version, procedure, vxi11::xdrProc(xdr_Device_Link), &lid,
                           vxi11::xdrProc(xdr_Device_Error), &r, 1000);
    };
    EXPECT_EQ(call(0x20000001, 1, 1), vxi11::CallResult::Failed);
    EXPECT_EQ(client.lastReplyStatus(), vxi11::ReplyStatus::Unavailable);
    EXPECT_EQ(call(DEVICE_CORE, 2, destroy_link), vxi11::CallResult::Failed);
    EXPECT_EQ(call(DEVICE_CORE, DEVICE_CORE_VERSION, 99), vxi11::CallResult::Failed);
    EXPECT_EQ(client.lastReplyStatus(), vxi11::ReplyStatus::Unavailable);
    EXPECT_EQ(call(DEVICE_CORE, DEVICE_CORE_VERSION, create_link), vxi11::CallResult::Failed); // arguments cut short
    EXPECT_EQ(client.lastReplyStatus(), vxi11::ReplyStatus::GarbageArgs);
    EXPECT_EQ(call(DEVICE_CORE, DEVICE_CORE_VERSION, destroy_link), vxi11::CallResult::Ok); // not its link
    EXPECT_EQ(r.error, vxi11::error::kInvalidLink);

    instrument->answer("still here\n");
    std::string text;
    EXPECT_EQ(read(vi, text), VI_SUCCESS);
    EXPECT_EQ(text, "still here\n");
}

TEST_F(Vxi11Link, WhatCannotBeReachedGivesTheVisaErrorThatSaysWhy)
{
    ViSession vi = VI_NULL;
    vxi11::withdrawService(DEVICE_CORE, DEVICE_CORE_VERSION);
    EXPECT_EQ(viOpen(rm, kInst0, VI_NULL, 0, &vi), VI_ERROR_RSRC_NFOUND); // nobody registered
    EXPECT_EQ(viOpen(rm, "TCPIP::127.0.0.1::hislip0::INSTR", VI_NULL, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    ASSERT_NO_FATAL_FAILURE(serve());
    EXPECT_EQ(viOpen(rm, "TCPIP::127.0.0.1::gpib0,6::INSTR", VI_NULL, 0, &vi), VI_ERROR_RSRC_NFOUND);
    vi = open();
    server->stop();
    EXPECT_EQ(write(vi, "*IDN?"), VI_ERROR_CONN_LOST);
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
}

} // namespace
