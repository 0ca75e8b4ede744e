// The RS-232 calls of the front panel: open a COM port with given settings, close it, and the
// text of an error code.
//
// Contract
// - COM port n is 1 .. kMaxComPort. Without a device name it is the in-process device
//   "ASRL<n>::INSTR" when one is attached (no hardware is touched), else the device path
//   qx::visa::comPortPath(n): $QX_COM<n> when set, else /dev/ttyS<n-1>. A device name, when
//   given, is the device path itself.
// - The port is opened raw with an exclusive advisory lock, as the VISA layer's serial sessions
//   open it, so a port held by a session (or another program) is reported busy.
// - Opening a port that is open already closes it first. The queue sizes are checked and
//   otherwise left to the operating system, whose line buffers are fixed.
// - Results: 0 on success, a negative RS232_ERR_ code otherwise (table below, kept in step with
//   GetRS232ErrorString). Thread-safe; no call throws.
#pragma once

namespace qx::rs232 {

inline constexpr int kMaxComPort = 256;

enum Rs232Status : int {
    RS232_SUCCESS = 0,
    RS232_ERR_UNKNOWN_SYSTEM = -1,
    RS232_ERR_INVALID_PORT = -2,
    RS232_ERR_PORT_NOT_OPEN = -3,
    RS232_ERR_IO = -4,
    RS232_ERR_INTERNAL = -5,
    RS232_ERR_NO_SUCH_PORT = -6,
    RS232_ERR_PERMISSION_DENIED = -7,
    RS232_ERR_PORT_BUSY = -8,
    RS232_ERR_NOT_A_SERIAL_PORT = -9,
    RS232_ERR_OUT_OF_MEMORY = -11,
    RS232_ERR_INVALID_QUEUE_SIZE = -13,
    RS232_ERR_INVALID_BAUD_RATE = -14,
    RS232_ERR_INVALID_PARITY = -24,
    RS232_ERR_INVALID_DATA_BITS = -34,
    RS232_ERR_INVALID_STOP_BITS = -44,
};

// parity: 0 none, 1 odd, 2 even, 3 mark, 4 space. dataBits 5..8, stopBits 1 or 2.
// Queue sizes: -1 or 0 for the default, else positive. deviceName may be null or "".
int OpenComConfig(int comPort, const char *deviceName, long baudRate, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize) noexcept;
int CloseCom(int comPort) noexcept;

// The text for a code of the table; "Unknown RS-232 error." for any other.
const char *GetRS232ErrorString(int errorCode) noexcept;

} // namespace qx::rs232
