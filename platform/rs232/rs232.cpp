// Open COM ports by number: each is an in-process device or a termios port of the VISA layer.
#include "rs232/rs232.h"

#include "visa/device.h"
#include "visa/serial_port.h"

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace qx::rs232 {
namespace {

struct OpenPort {
    std::shared_ptr<visa::Device> device; // nothing to release: the registry keeps it
    visa::SerialPort serial;
};

struct PortTable {
    std::mutex mutex;
    std::map<int, OpenPort> ports;
};

PortTable &table()
{
    static PortTable instance;
    return instance;
}

struct StatusMapping {
    ViStatus visa;
    int rs232;
};

constexpr StatusMapping kOpenFailures[] = {
    {VI_ERROR_RSRC_NFOUND, RS232_ERR_NO_SUCH_PORT},
    {VI_ERROR_NPERMISSION, RS232_ERR_PERMISSION_DENIED},
    {VI_ERROR_RSRC_BUSY, RS232_ERR_PORT_BUSY},
};

int openFailure(ViStatus status, int err)
{
    // The port layer reports "exists but is no terminal" as not found; tell the operator which.
    if (status == VI_ERROR_RSRC_NFOUND && (err == ENOTTY || err == EINVAL))
        return RS232_ERR_NOT_A_SERIAL_PORT;
    for (const StatusMapping &m : kOpenFailures)
        if (m.visa == status)
            return m.rs232;
    return RS232_ERR_IO;
}

bool validQueueSize(int size) { return size >= -1; }

int checkSettings(long baudRate, int parity, int dataBits, int stopBits, int inputQueueSize, int outputQueueSize)
{
    if (baudRate <= 0 || baudRate > 4000000)
        return RS232_ERR_INVALID_BAUD_RATE;
    if (parity < VI_ASRL_PAR_NONE || parity > VI_ASRL_PAR_SPACE)
        return RS232_ERR_INVALID_PARITY;
    if (dataBits < 5 || dataBits > 8)
        return RS232_ERR_INVALID_DATA_BITS;
    if (stopBits != 1 && stopBits != 2)
        return RS232_ERR_INVALID_STOP_BITS;
    if (!validQueueSize(inputQueueSize) || !validQueueSize(outputQueueSize))
        return RS232_ERR_INVALID_QUEUE_SIZE;
    return RS232_SUCCESS;
}

bool validPort(int comPort) { return comPort >= 1 && comPort <= kMaxComPort; }

int open(int comPort, const char *deviceName, long baudRate, int parity, int dataBits, int stopBits,
         int inputQueueSize, int outputQueueSize)
{
    if (!validPort(comPort))
        return RS232_ERR_INVALID_PORT;
    if (const int status = checkSettings(baudRate, parity, dataBits, stopBits, inputQueueSize, outputQueueSize);
        status < 0)
        return status;

    PortTable &t = table();
    std::lock_guard lock(t.mutex);
    t.ports.erase(comPort);

    const bool byNumber = deviceName == nullptr || *deviceName == '\0';
    OpenPort port;
    if (byNumber)
        port.device = visa::findDevice("ASRL" + std::to_string(comPort) + "::INSTR");
    if (!port.device) {
        const std::string path = byNumber ? visa::comPortPath(comPort) : std::string(deviceName);
        if (const ViStatus status = port.serial.open(path); status < 0)
            return openFailure(status, port.serial.lastErrno());
        visa::SerialSettings settings;
        settings.baud = static_cast<ViUInt32>(baudRate);
        settings.parity = static_cast<ViUInt16>(parity);
        settings.dataBits = static_cast<ViUInt16>(dataBits);
        settings.stopBits = stopBits == 2 ? VI_ASRL_STOP_TWO : VI_ASRL_STOP_ONE;
        // Everything else was checked above: a refusal here is a rate the port cannot take.
        if (const ViStatus status = port.serial.configure(settings); status < 0)
            return status == VI_ERROR_NSUP_ATTR_STATE ? RS232_ERR_INVALID_BAUD_RATE : RS232_ERR_IO;
    }
    t.ports.emplace(comPort, std::move(port));
    return RS232_SUCCESS;
}

int close(int comPort)
{
    if (!validPort(comPort))
        return RS232_ERR_INVALID_PORT;
    PortTable &t = table();
    std::lock_guard lock(t.mutex);
    return t.ports.erase(comPort) == 0 ? RS232_ERR_PORT_NOT_OPEN : RS232_SUCCESS;
}

template <class Call> int guarded(Call &&call) noexcept
{
    try {
        return call();
    } catch (const std::bad_alloc &) {
        return RS232_ERR_OUT_OF_MEMORY;
    } catch (...) {
        return RS232_ERR_INTERNAL;
    }
}

} // namespace

int OpenComConfig(int comPort, const char *deviceName, long baudRate, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize) noexcept
{
    return guarded([&] {
        return open(comPort, deviceName, baudRate, parity, dataBits, stopBits, inputQueueSize, outputQueueSize);
    });
}

int CloseCom(int comPort) noexcept
{
    return guarded([&] { return close(comPort); });
}

} // namespace qx::rs232
