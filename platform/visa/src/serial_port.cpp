// All termios and serial ioctl code lives here.
#include "visa/serial_port.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace qx::visa {
namespace {

struct BaudRate {
    ViUInt32 rate;
    speed_t code;
};

constexpr BaudRate baudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool findBaud(ViUInt32 rate, speed_t &code)
{
    for (const BaudRate &b : baudRates) {
        if (b.rate == rate) {
            code = b.code;
            return true;
        }
    }
    return false;
}

constexpr tcflag_t dataBitsFlag(ViUInt16 bits)
{
    switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

ViStatus openErrorStatus(int err)
{
    switch (err) {
    case ENOENT: case ENODEV: case ENXIO: case ENOTDIR: case EISDIR: case ENOTTY:
        return VI_ERROR_RSRC_NFOUND;
    case EACCES: case EPERM: case EROFS:
        return VI_ERROR_NPERMISSION;
    case EBUSY: case EWOULDBLOCK:
        return VI_ERROR_RSRC_BUSY;
    default:
        return VI_ERROR_IO;
    }
}

class PollDeadline {
public:
    explicit PollDeadline(int timeoutMs)
        : infinite_(timeoutMs < 0), end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs))
    {
    }
    int remaining() const
    {
        if (infinite_)
            return -1;
        using namespace std::chrono;
        const auto left = duration_cast<milliseconds>(end_ - steady_clock::now()).count();
        return left <= 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
    }

private:
    bool infinite_;
    std::chrono::steady_clock::time_point end_;
};

int pollTimeout(ViUInt32 timeoutMs)
{
    if (timeoutMs == VI_TMO_INFINITE)
        return -1;
    return timeoutMs > static_cast<ViUInt32>(INT_MAX) ? INT_MAX : static_cast<int>(timeoutMs);
}

} // namespace

std::string comPortPath(int n)
{
    try {
        const std::string variable = "QX_COM" + std::to_string(n);
        if (const char *override = std::getenv(variable.c_str()); override && *override)
            return override;
        if (n < 1)
            return {};
        return "/dev/ttyS" + std::to_string(n - 1);
    } catch (...) {
        return {};
    }
}

SerialPort::~SerialPort() { close(); }

SerialPort::SerialPort(SerialPort &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), settings_(other.settings_),
      lastErrno_(other.lastErrno_)
{
}

SerialPort &SerialPort::operator=(SerialPort &&other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        settings_ = other.settings_;
        lastErrno_ = other.lastErrno_;
    }
    return *this;
}

ViStatus SerialPort::fail(int err, ViStatus status)
{
    lastErrno_ = err;
    return status;
}

ViStatus SerialPort::open(const std::string &path)
{
    close();
    if (path.empty())
        return fail(ENOENT, VI_ERROR_RSRC_NFOUND);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno, openErrorStatus(errno));
    termios probe{};
    if (::tcgetattr(fd, &probe) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(err, VI_ERROR_RSRC_NFOUND); // not a terminal
    }
    // Advisory, so it also works on ptys and for root, unlike TIOCEXCL.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(err, err == EWOULDBLOCK ? VI_ERROR_RSRC_BUSY : VI_ERROR_IO);
    }
    fd_ = fd;
    path_ = path;
    if (const ViStatus status = configure(SerialSettings{}); status < 0) {
        const int err = lastErrno_;
        close();
        return fail(err, VI_ERROR_IO);
    }
    // Real ports want DTR and RTS up; a pty has no modem lines and refuses (ENOTTY/EINVAL).
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd_, TIOCMBIS, &lines);
    (void)::tcflush(fd_, TCIOFLUSH);
    return VI_SUCCESS;
}

void SerialPort::close()
{
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

ViStatus SerialPort::configure(const SerialSettings &s)
{
    speed_t speed = B9600;
    if (!findBaud(s.baud, speed) || s.dataBits < 5 || s.dataBits > 8 || s.parity > VI_ASRL_PAR_SPACE ||
        (s.stopBits != VI_ASRL_STOP_ONE && s.stopBits != VI_ASRL_STOP_TWO) ||
        (s.flowControl & ~(VI_ASRL_FLOW_XON_XOFF | VI_ASRL_FLOW_RTS_CTS)) != 0)
        return fail(EINVAL, VI_ERROR_NSUP_ATTR_STATE);
    if (fd_ < 0)
        return fail(EBADF, VI_ERROR_INV_OBJECT);
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return fail(errno, VI_ERROR_IO);
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | dataBitsFlag(s.dataBits);
    switch (s.parity) {
    case VI_ASRL_PAR_ODD: t.c_cflag |= PARENB | PARODD; break;
    case VI_ASRL_PAR_EVEN: t.c_cflag |= PARENB; break;
    case VI_ASRL_PAR_MARK: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case VI_ASRL_PAR_SPACE: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (s.stopBits == VI_ASRL_STOP_TWO)
        t.c_cflag |= CSTOPB;
    if (s.flowControl & VI_ASRL_FLOW_RTS_CTS)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (s.flowControl & VI_ASRL_FLOW_XON_XOFF)
        t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0)
        return fail(errno, VI_ERROR_NSUP_ATTR_STATE);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0)
        return fail(errno, errno == EINVAL ? VI_ERROR_NSUP_ATTR_STATE : VI_ERROR_IO);
    settings_ = s;
    return VI_SUCCESS;
}

ViStatus SerialPort::write(std::string_view bytes, ViUInt32 timeoutMs, std::size_t *written)
{
    std::size_t done = 0;
    const auto report = [&](ViStatus status) {
        if (written)
            *written = done;
        return status;
    };
    if (fd_ < 0)
        return report(fail(EBADF, VI_ERROR_INV_OBJECT));
    const PollDeadline deadline(pollTimeout(timeoutMs));
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return report(fail(errno, errno == EIO ? VI_ERROR_CONN_LOST : VI_ERROR_IO));
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, deadline.remaining());
        if (r == 0)
            return report(fail(ETIMEDOUT, VI_ERROR_TMO));
        if (r < 0 && errno != EINTR)
            return report(fail(errno, VI_ERROR_IO));
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT))
            return report(fail(EIO, VI_ERROR_CONN_LOST));
    }
    return report(VI_SUCCESS);
}

ViStatus SerialPort::read(std::size_t max, int timeoutMs, std::string &out)
{
    if (fd_ < 0)
        return fail(EBADF, VI_ERROR_INV_OBJECT);
    if (max == 0)
        return VI_SUCCESS;
    const PollDeadline deadline(timeoutMs);
    char buffer[4096];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, deadline.remaining());
        if (r == 0)
            return fail(ETIMEDOUT, VI_ERROR_TMO);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno, VI_ERROR_IO);
        }
        if (!(p.revents & POLLIN))
            return fail(EIO, VI_ERROR_CONN_LOST); // hang-up or error without data
        const ssize_t n = ::read(fd_, buffer, max < sizeof buffer ? max : sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            return VI_SUCCESS;
        }
        if (n == 0)
            return fail(EIO, VI_ERROR_CONN_LOST);
        if (errno == EINTR || errno == EAGAIN)
            continue;
        return fail(errno, errno == EIO ? VI_ERROR_CONN_LOST : VI_ERROR_IO);
    }
}

ViStatus SerialPort::discard(bool input, bool output)
{
    if (fd_ < 0)
        return fail(EBADF, VI_ERROR_INV_OBJECT);
    if (!input && !output)
        return VI_SUCCESS;
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (::tcflush(fd_, which) != 0)
        return fail(errno, VI_ERROR_IO);
    return VI_SUCCESS;
}

ViStatus SerialPort::sendBreak()
{
    if (fd_ < 0)
        return fail(EBADF, VI_ERROR_INV_OBJECT);
    // A pty has no line to break; that is not worth failing the write for.
    if (::tcsendbreak(fd_, 0) != 0 && errno != ENOTTY && errno != EINVAL)
        return fail(errno, VI_ERROR_IO);
    return VI_SUCCESS;
}

std::size_t SerialPort::available() const
{
    int count = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &count) != 0 || count < 0)
        return 0;
    return static_cast<std::size_t>(count);
}

} // namespace qx::visa
