#include "password_store.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

namespace qx::gate::web {
namespace {

constexpr std::size_t kLongestPassword = 1024;

// The terminal's echo, off while it lives.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd)
    {
        if (::tcgetattr(fd_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (active_)
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

// A secret that is wiped when it goes.
struct Secret {
    std::string text;
    Secret() = default;
    Secret(const Secret &) = delete;
    Secret &operator=(const Secret &) = delete;
    ~Secret() { sodium_memzero(text.data(), text.size()); }
};

// One line without its line end; false at end of input or when it is too long.
bool readLine(std::FILE *in, Secret &line)
{
    line.text.reserve(kLongestPassword + 2);
    for (int c; (c = std::fgetc(in)) != EOF;) {
        if (c == '\n')
            break;
        if (line.text.size() > kLongestPassword)
            return false;
        line.text.push_back(static_cast<char>(c));
    }
    if (!line.text.empty() && line.text.back() == '\r')
        line.text.pop_back();
    return !std::ferror(in) && line.text.size() <= kLongestPassword && (!line.text.empty() || !std::feof(in));
}

bool prompted(std::FILE *in, std::FILE *out, const char *prompt, Secret &line)
{
    std::fputs(prompt, out);
    std::fflush(out);
    bool got = false;
    {
        const EchoOff quiet(::fileno(in));
        got = readLine(in, line);
    }
    std::fputs("\n", out);
    return got;
}

bool blank(const std::string &text) { return text.find_first_not_of(" \t") == std::string::npos; }

// Makes the missing folders of `path` with mode 0700.
bool makeParents(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// Writes `text` to `path` through a temporary file beside it, so that the store is never seen half-written.
bool replaceFile(const std::string &path, const std::string &text)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data()); // mode 0600
    if (fd < 0)
        return false;
    bool good = ::fchmod(fd, 0600) == 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                ::fsync(fd) == 0;
    good = ::close(fd) == 0 && good;
    if (good && ::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

std::optional<std::string> readHash(const std::string &store)
{
    const int fd = ::open(store.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buffer[crypto_pwhash_STRBYTES + 2] = {};
    const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    std::string hash(buffer, static_cast<std::size_t>(got));
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r'))
        hash.pop_back();
    if (hash.size() >= crypto_pwhash_STRBYTES || !hash.starts_with(crypto_pwhash_STRPREFIX))
        return std::nullopt;
    return hash;
}

} // namespace

int setPassword(const std::string &store, std::FILE *in, std::FILE *out)
{
    if (sodium_init() < 0) {
        std::fputs("qxgate: libsodium did not start\n", out);
        return 1;
    }
    Secret password;
    if (::isatty(::fileno(in)) != 0) {
        Secret again;
        if (!prompted(in, out, "New password for the web face: ", password) ||
            !prompted(in, out, "The same again: ", again)) {
            std::fputs("qxgate: no password read (at most 1024 characters)\n", out);
            return 1;
        }
        if (password.text != again.text) {
            std::fputs("qxgate: the two passwords differ; nothing changed\n", out);
            return 1;
        }
    } else if (!readLine(in, password)) {
        std::fputs("qxgate: no password read (one line of at most 1024 characters)\n", out);
        return 1;
    }
    if (blank(password.text)) {
        std::fputs("qxgate: a blank password is refused; nothing changed\n", out);
        return 1;
    }
    char hash[crypto_pwhash_STRBYTES] = {};
    if (crypto_pwhash_str(hash, password.text.data(), password.text.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        std::fputs("qxgate: not enough memory to hash the password\n", out);
        return 1;
    }
    if (!makeParents(store) || !replaceFile(store, std::string(hash) + "\n")) {
        std::fprintf(out, "qxgate: cannot write %s: %s\n", store.c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(out, "qxgate: the web face's password hash is in %s\n", store.c_str());
    return 0;
}

PasswordCheck checkPassword(const std::string &store, std::string_view password)
{
    static std::mutex oneAtATime; // each check takes its own tens of megabytes
    try {
        if (sodium_init() < 0 || password.size() > kLongestPassword)
            return password.size() > kLongestPassword ? PasswordCheck::Mismatch : PasswordCheck::NoStore;
        const std::optional<std::string> hash = readHash(store);
        if (!hash)
            return PasswordCheck::NoStore;
        const std::lock_guard lock(oneAtATime);
        return crypto_pwhash_str_verify(hash->c_str(), password.data(), password.size()) == 0 ? PasswordCheck::Match
                                                                                              : PasswordCheck::Mismatch;
    } catch (...) {
        return PasswordCheck::NoStore;
    }
}

bool storeUsable(const std::string &store, std::string &problem)
{
    if (sodium_init() < 0) {
        problem = "libsodium did not start";
        return false;
    }
    struct stat info {};
    if (::stat(store.c_str(), &info) != 0) {
        problem = "no password store " + store + " (make one with qxgate set-password)";
        return false;
    }
    if (!readHash(store)) {
        problem = store + " holds no password hash (make one with qxgate set-password)";
        return false;
    }
    if ((info.st_mode & 0077) != 0) {
        problem = store + " may be read by others (chmod 600 it)";
        return false;
    }
    return true;
}

} // namespace qx::gate::web
