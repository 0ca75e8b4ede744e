#include "pty_server.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace qx::sim {
namespace {

std::string failure(const char *what) { return std::string(what) + ": " + std::strerror(errno); }

std::string readLink(const std::string &path)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

bool PtyServer::open(const std::string &link, std::string &error)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = failure("posix_openpt");
        return false;
    }
    master_.attach(master);
    char name[PATH_MAX];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        error = failure("pseudo-terminal set-up");
        return false;
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error = failure(name);
        return false;
    }
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) {
        error = failure("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) {
        error = failure("tcsetattr");
        return false;
    }
    if (::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        error = failure("fcntl");
        return false;
    }
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(name, link.c_str()) != 0) {
        error = failure(link.c_str());
        return false;
    }
    link_ = link;
    return true;
}

void PtyServer::hangUp()
{
    // The client gets what was already answered before the line goes: wait (a little) until it
    // has read the bytes still queued towards it. The pty moves written bytes to the other side
    // asynchronously, so an empty queue counts only after a first short pause.
    constexpr int kPollMicros = 10000;
    constexpr int kMinPolls = 5;
    constexpr int kMaxPolls = 200;
    for (int poll = 0; poll < kMaxPolls && slave_ >= 0; ++poll) {
        int queued = 0;
        if (::ioctl(slave_, FIONREAD, &queued) != 0 || (queued == 0 && poll >= kMinPolls))
            break;
        ::usleep(kPollMicros);
    }
    master_.close();
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

PtyServer::~PtyServer()
{
    hangUp();
    if (!link_.empty() && readLink(link_) == slavePath_)
        ::unlink(link_.c_str());
}

} // namespace qx::sim
