#include "rs232/rs232.h"
#include "runtime/code_text.h"

namespace qx::rs232 {
namespace {

constexpr qx::runtime::CodeText kErrorTexts[] = {
    {RS232_SUCCESS, "No error."},
    {RS232_ERR_UNKNOWN_SYSTEM, "Unknown system error."},
    {RS232_ERR_INVALID_PORT, "Invalid port number."},
    {RS232_ERR_PORT_NOT_OPEN, "Port is not open."},
    {RS232_ERR_IO, "Input/output error on the port."},
    {RS232_ERR_INTERNAL, "Unexpected internal error."},
    {RS232_ERR_NO_SUCH_PORT, "Cannot open port: no such serial device (QX_COM<n> can name its device path)."},
    {RS232_ERR_PERMISSION_DENIED, "Cannot open port: permission denied (is the user in the dialout group?)."},
    {RS232_ERR_PORT_BUSY, "Cannot open port: it is busy, another program or session is using it."},
    {RS232_ERR_NOT_A_SERIAL_PORT, "Cannot open port: the device is not a serial port."},
    {RS232_ERR_OUT_OF_MEMORY, "Out of memory."},
    {RS232_ERR_INVALID_QUEUE_SIZE, "Invalid queue size."},
    {RS232_ERR_INVALID_BAUD_RATE, "Invalid baud rate."},
    {RS232_ERR_INVALID_PARITY, "Invalid parity."},
    {RS232_ERR_INVALID_DATA_BITS, "Invalid number of data bits."},
    {RS232_ERR_INVALID_STOP_BITS, "Invalid number of stop bits."},
};

} // namespace

const char *GetRS232ErrorString(int errorCode) noexcept
{
    const char *text = qx::runtime::textOf(kErrorTexts, errorCode);
    return text ? text : "Unknown RS-232 error.";
}

} // namespace qx::rs232
