#include "simulator_process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace qx::ctl {
namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;

std::string simulatorProgram()
{
    if (const char *named = std::getenv("QXSIM"); named && *named)
        return named;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    // Installed, they stand side by side; in a build tree, qxctl/qxctl and sim/qxsim.
    if (!error)
        for (const auto &candidate : {self.parent_path() / "qxsim", self.parent_path().parent_path() / "sim" / "qxsim"})
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate.string();
    return "qxsim";
}

// The first line the simulator prints, or "" when none comes in time.
std::string readyLine(int fd)
{
    std::string line;
    pollfd p{fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, kReadyTimeoutMs) > 0) {
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return line;
}

} // namespace

SimulatorProcess::~SimulatorProcess() { stop(); }

std::string SimulatorProcess::start(const std::string &model)
{
    char pattern[] = "/tmp/qxctl-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return std::string("cannot make a folder for the simulator: ") + std::strerror(errno);
    folder_ = pattern;
    link_ = folder_ + "/tty";
    const std::string program = simulatorProgram();
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return std::string("cannot start the simulator: ") + std::strerror(errno);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args = {program, "--model", model, "--pty", link_};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(out[0]);
        return "cannot start the simulator " + program + ": " + std::strerror(spawned);
    }
    const std::string ready = readyLine(out[0]);
    ::close(out[0]);
    if (ready.rfind("qxsim: ", 0) != 0)
        return "the simulator " + program + " did not start" + (ready.empty() ? "" : ": " + ready);
    return {};
}

void SimulatorProcess::stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int waited = 0; ::waitpid(pid_, &status, WNOHANG) == 0; waited += 10) {
            if (waited >= kStopTimeoutMs) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(10 * 1000);
        }
        pid_ = -1;
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        folder_.clear();
    }
}

} // namespace qx::ctl
