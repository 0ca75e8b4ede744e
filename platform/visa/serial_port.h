// A serial port through POSIX termios, usable on its own (the RS-232 test open uses it) and under
// ASRL sessions. Works on real ports and on pseudo-terminals (socat, ser2net, the simulator): the
// modem-line ioctls, which a pty refuses, are best effort.
//
// Contract: every call returns a ViStatus and never throws; a port is used by one thread at a time.
// open() takes an exclusive advisory lock (flock), so a second opener, in this process or another,
// gets VI_ERROR_RSRC_BUSY until the first closes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "visa/visadef.h"

namespace qx::visa {

struct SerialSettings {
    ViUInt32 baud = 9600;                      // a standard rate, 50 .. 4000000
    ViUInt16 dataBits = 8;                     // 5 .. 8
    ViUInt16 parity = VI_ASRL_PAR_NONE;        // VI_ASRL_PAR_*
    ViUInt16 stopBits = VI_ASRL_STOP_ONE;      // VI_ASRL_STOP_ONE or VI_ASRL_STOP_TWO
    ViUInt16 flowControl = VI_ASRL_FLOW_NONE;  // VI_ASRL_FLOW_NONE, XON_XOFF, RTS_CTS, or both of these
};

// The device path of COM port n (resource ASRL<n>::INSTR): the environment variable QX_COM<n> when
// it is set and not empty, else /dev/ttyS<n-1>. "" for n < 1 without an override.
std::string comPortPath(int n);

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(SerialPort &&other) noexcept;
    SerialPort &operator=(SerialPort &&other) noexcept;
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // Opens the device raw and non-blocking at 9600-8-N-1 without flow control, and asserts DTR and
    // RTS where the line has them. Errors: VI_ERROR_RSRC_NFOUND (no such device, or not a terminal),
    // VI_ERROR_NPERMISSION, VI_ERROR_RSRC_BUSY (opened and locked elsewhere), VI_ERROR_IO.
    ViStatus open(const std::string &path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string &path() const { return path_; }
    // errno of the last failed system call, for messages.
    int lastErrno() const { return lastErrno_; }

    // Applies all settings at once. VI_ERROR_NSUP_ATTR_STATE for a value the port cannot take; the
    // port then keeps its previous settings.
    ViStatus configure(const SerialSettings &settings);
    const SerialSettings &settings() const { return settings_; }

    // Sends all bytes within the time-out (VI_TMO_INFINITE: no limit). VI_ERROR_TMO when the line
    // does not take them in time (for example held by RTS/CTS); *written tells how many went.
    ViStatus write(std::string_view bytes, ViUInt32 timeoutMs, std::size_t *written = nullptr);
    // Waits up to timeoutMs for input, then appends what has arrived, at most `max` bytes, to `out`.
    // VI_ERROR_TMO when nothing came; VI_ERROR_CONN_LOST when the line hung up (pty master closed).
    ViStatus read(std::size_t max, int timeoutMs, std::string &out);
    // Drops received and/or unsent bytes in the driver.
    ViStatus discard(bool input, bool output);
    ViStatus sendBreak();
    // Bytes received and not yet read.
    std::size_t available() const;

private:
    ViStatus fail(int err, ViStatus status);
    int fd_ = -1;
    std::string path_;
    SerialSettings settings_;
    int lastErrno_ = 0;
};

} // namespace qx::visa
