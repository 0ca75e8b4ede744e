#include "qxsim_process.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qx::test {

std::string readLine(int fd, int timeoutMs)
{
    std::string line;
    for (char c = 0; c != '\n';) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || ::read(fd, &c, 1) != 1)
            return {};
        line += c;
    }
    return line;
}

QxSimProcess::QxSimProcess(const std::string &program, std::vector<std::string> args)
{
    // Built before the fork: the child only calls what is safe there.
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(out[0]);
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    stdout_ = out[0];
    ready = pid_ > 0 ? readLine(stdout_, 10000) : "";
}

QxSimProcess::~QxSimProcess()
{
    stop();
    if (stdout_ >= 0)
        ::close(stdout_);
}

int QxSimProcess::stop()
{
    if (pid_ <= 0)
        return status_;
    ::kill(pid_, SIGTERM);
    for (int i = 0, status = 0; i < 500 && status_ == -1; ++i, ::usleep(10000))
        if (::waitpid(pid_, &status, WNOHANG) == pid_)
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    if (status_ == -1)
        ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return status_;
}

int QxSimProcess::port() const
{
    const auto at = ready.find("127.0.0.1:");
    return at == std::string::npos ? -1 : std::stoi(ready.substr(at + 10));
}

} // namespace qx::test
