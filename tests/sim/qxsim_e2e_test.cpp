// The real qxsim program over a real pseudo-terminal and a real socket, the way an outside
// client reaches it. Real time, short time-outs.
#include "qxsim_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using qx::test::readLine;
using Strings = std::vector<std::string>;

// Sends each message with its line feed: the answers to those holding a query, in order.
std::vector<std::string> talk(int fd, std::initializer_list<std::string> messages)
{
    std::vector<std::string> answers;
    for (const std::string &message : messages) {
        const std::string line = message + "\n";
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            answers.push_back("write failed");
        else if (message.find('?') != std::string::npos)
            answers.push_back(readLine(fd));
    }
    return answers;
}

// The pseudo-terminal at `path`, left in the raw mode qxsim gave it; -1 on failure.
int openLine(const std::string &path) { return ::open(path.c_str(), O_RDWR | O_NOCTTY); }
// A loopback connection to `port`; -1 on failure.
int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(port)),
                  .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
        return fd;
    ::close(fd);
    return -1;
}

class QxSimE2e : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(::mkdtemp(dir.data()), nullptr); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // This build's qxsim, stopped with SIGTERM.
    static qx::test::QxSimProcess run(std::vector<std::string> args) { return {QXSIM_PATH, std::move(args)}; }
    std::string dir = "/tmp/qxsim_e2e_XXXXXX";
};

// The fourth message closes the line: its answer still arrives.
TEST_F(QxSimE2e, PseudoTerminalSurvivesAClientReopeningTheLineAndAnswersBeforeClosing)
{
    const std::string link = dir + "/qx";
    auto sim = run({"--model", "7101QX", "--pty", link, "--transcript", dir + "/transcript", "--close-after", "4"});
    ASSERT_EQ(sim.ready.rfind("qxsim: 7101QX on /dev/pts/", 0), 0u) << sim.ready;
    EXPECT_NE(sim.ready.find("(" + link + ")"), std::string::npos);

    int fd = openLine(link);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(talk(fd, {"*IDN?", "VOLT 42.000000", "SYST:ERR?"}),
              (Strings{"ZE,7101QX,SN000123,1.02\n", "0,\"No error\"\n"}));
    ::close(fd);
    ASSERT_GE(fd = openLine(link), 0);
    EXPECT_EQ(talk(fd, {"VOLT?"}), Strings{"42\n"});
    ::close(fd);

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link outlived the simulator";
    std::ifstream in(dir + "/transcript");
    Strings lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(line.find(' ') + 1)); // without the time
    EXPECT_EQ(lines, (Strings{"< *IDN?\\n", "> ZE,7101QX,SN000123,1.02\\n", "< VOLT 42.000000\\n", "< SYST:ERR?\\n",
                              "> 0,\"No error\"\\n", "< VOLT?\\n", "> 42\\n"}));
}

// Identity and limits from the command line; the settings outlive a client. The third message
// closes the line and the next client is still taken. (Answers that stop after a count of
// messages are the driver's end-to-end fault tests' business.)
TEST_F(QxSimE2e, TcpServesOneClientAfterAnotherAndOutlivesAClosedLineBadCommandLinesAreRefused)
{
    auto sim = run({"--tcp", "0", "--serial", "QX77", "--voltage-limit", "250", "--close-after", "3"});
    ASSERT_GT(sim.port(), 0) << sim.ready;
    int fd = connectTo(sim.port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(talk(fd, {"*IDN?", "LIM:VOLT?;CURR?;:FREQ 60"}), (Strings{"ZE,7103QX,QX77,1.02\n", "250;9.2\n"}));
    ::close(fd);
    ASSERT_GE(fd = connectTo(sim.port()), 0);
    EXPECT_EQ(talk(fd, {"FREQ?"}), Strings{"60\n"}); // its answer still goes out
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    EXPECT_EQ(::read(fd, &c, 1), 0); // closed
    ::close(fd);
    EXPECT_GE(fd = connectTo(sim.port()), 0);
    ::close(fd);
    EXPECT_EQ(sim.stop(), 0);

    // A bad model and a file in the link's place are refused: no ready line, exit status 2 or 1.
    auto badModel = run({"--model", "7102QX", "--tcp", "0"});
    EXPECT_EQ(badModel.ready + std::to_string(badModel.stop()), "2");

    const std::string file = dir + "/plain";
    std::ofstream(file) << "not a link";
    auto onFile = run({"--pty", file});
    EXPECT_EQ(onFile.ready + std::to_string(onFile.stop()), "1");
    EXPECT_TRUE(std::filesystem::is_regular_file(file)); // never replaced
}

} // namespace
