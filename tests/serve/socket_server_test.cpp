// The raw SCPI socket door over real loopback sockets: an instrument that answers each message
// holding a query with "=<message>", except "HANG?", which it leaves unanswered.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "serve/socket_server.h"

namespace {

using namespace std::chrono_literals;
using namespace qx::serve;
namespace vxi11 = qx::vxi11;

class Echo final : public vxi11::Instrument {
public:
    long write(std::string_view data, bool end, const vxi11::IoWait &) override
    {
        std::lock_guard lock(mutex_);
        received_.push_back(std::string(data) + (end ? "" : "..."));
        if (end && data.find('?') != std::string_view::npos && data != "HANG?")
            output_ += "=" + std::string(data); // ends with END, no line feed
        return vxi11::error::kNone;
    }
    vxi11::ReadReply read(std::size_t max, int, const vxi11::IoWait &wait) override
    {
        for (; !wait.aborted() && !wait.expired(); std::this_thread::sleep_for(1ms)) {
            std::lock_guard lock(mutex_);
            if (!output_.empty() && output_.size() <= max)
                return {vxi11::error::kNone, vxi11::reason::kEnd, std::exchange(output_, {})};
        }
        return {wait.aborted() ? vxi11::error::kAbort : vxi11::error::kIoTimeout, 0, {}};
    }
    std::vector<std::string> writes()
    {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::string output_;
};

class Client {
public:
    explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const sockaddr_in to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        const timeval limit{5, 0}; // a read that waits longer fails the test
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        (void)::connect(fd_, reinterpret_cast<const sockaddr *>(&to), sizeof to); // else send() fails
    }
    ~Client() { ::close(fd_); }
    bool send(std::string_view bytes)
    {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // One line, or what came before the connection ended or the read timed out.
    std::string line()
    {
        std::string got;
        for (char c = 0; c != '\n' && ::recv(fd_, &c, 1, 0) == 1;)
            got += c;
        return got;
    }

private:
    int fd_;
};

class SocketDoor : public ::testing::Test {
protected:
    void serve(AdmissionRules rules = {})
    {
        ConversationOptions c;
        c.maxHeldMessage = 64;
        c.turnHold = 60s; // the tests must see turns released by the door, not by the clock
        SocketServerOptions o;
        static_cast<AdmissionRules &>(o) = rules;
        o.ioTimeout = 60s;
        o.log = [this](const std::string &line) {
            std::lock_guard lock(mutex);
            log += line + "\n";
        };
        server = std::make_unique<SocketServer>(
            std::vector<SocketDevice>{{"inst0", 0, std::make_shared<Conversation>(echo, c)}}, o);
        std::string problem;
        ASSERT_TRUE(server->start(problem)) << problem;
    }
    std::uint16_t port() const { return server->port(0); }
    bool logged(const std::string &line)
    {
        std::lock_guard lock(mutex);
        return log.find(line) != std::string::npos;
    }

    std::shared_ptr<Echo> echo = std::make_shared<Echo>();
    std::mutex mutex;
    std::string log;
    std::unique_ptr<SocketServer> server; // last: stopped before the log its threads write goes
};

TEST_F(SocketDoor, EachClientGetsTheAnswersToItsOwnQueriesOnly)
{
    serve();
    constexpr int kRounds = 50;
    const auto asker = [this](const std::string &me) {
        Client c(port());
        int wrong = 0;
        for (int i = 0; i < kRounds; ++i) {
            const std::string message = (i % 2 ? "VOLT 1;" : "") + me + std::to_string(i) + "?";
            wrong += !c.send(message + (i % 2 ? "\r\n" : "\n")); // CR LF taken as LF
            wrong += c.line() != "=" + message + "\n";
        }
        return wrong;
    };
    auto a = std::async(std::launch::async, asker, "A");
    auto b = std::async(std::launch::async, asker, "B");
    EXPECT_EQ(a.get() + b.get(), 0);
    EXPECT_EQ(echo->writes().size(), 2u * kRounds);
}

TEST_F(SocketDoor, AnOverlongLineIsDroppedWholeAndTheNextOneServed)
{
    serve();
    Client c(port());
    ASSERT_TRUE(c.send(std::string(100, 'X') + "?\n")); // over the cap in one piece
    ASSERT_TRUE(c.send(std::string(40, 'Y')));           // ... and in pieces
    ASSERT_TRUE(c.send(std::string(40, 'Y') + "?\nSET 1\n\n*IDN?\n"));
    EXPECT_EQ(c.line(), "=*IDN?\n");
    EXPECT_EQ(echo->writes(), (std::vector<std::string>{"SET 1", "*IDN?"}));
    EXPECT_TRUE(logged("inst0 (127.0.0.1): a line longer than 64 bytes, dropped"));
}

TEST_F(SocketDoor, AClientThatVanishesMidQueryReleasesItsTurnAtOnce)
{
    serve();
    {
        Client gone(port());
        ASSERT_TRUE(gone.send("HANG?\n"));
        std::this_thread::sleep_for(100ms); // its query holds the turn, waiting for an answer
    }
    Client next(port());
    ASSERT_TRUE(next.send("*IDN?\n"));
    EXPECT_EQ(next.line(), "=*IDN?\n") << "the vanished client's turn was not released";
}

TEST_F(SocketDoor, ConnectionsOverTheCapPerAddressAreClosed)
{
    AdmissionRules rules;
    rules.maxPerAddress = 1;
    serve(rules);
    Client first(port());
    ASSERT_TRUE(first.send("A?\n"));
    EXPECT_EQ(first.line(), "=A?\n");
    Client second(port());
    (void)second.send("B?\n"); // may meet the closed connection already
    EXPECT_EQ(second.line(), "");
    EXPECT_TRUE(logged("refused 127.0.0.1 on the raw socket of inst0: as many connections from it as allowed"));
    EXPECT_EQ(echo->writes(), std::vector<std::string>{"A?"});
}

} // namespace
