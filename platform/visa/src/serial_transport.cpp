// ASRL sessions on a real (or pseudo-terminal) serial port.
#include "transport.h"

#include "visa/open_failure.h"

#include <cerrno>
#include <cstring>

namespace qx::visa {
namespace {

class SerialTransport final : public ChunkedTransport {
public:
    explicit SerialTransport(SerialPort port) : port_(std::move(port)) {}

    ViStatus write(std::string_view bytes, bool, ViUInt32 timeoutMs) override
    {
        return port_.write(bytes, timeoutMs);
    }
    ViStatus clear(ViUInt32) override
    {
        discardInput();
        return port_.discard(true, true);
    }
    void close() override { port_.close(); }
    void discardInput() override
    {
        ChunkedTransport::discardInput();
        (void)port_.discard(true, false);
    }
    void discardOutput() override { (void)port_.discard(false, true); }
    ViStatus configureSerial(const SerialSettings &settings) override { return port_.configure(settings); }
    ViStatus sendBreak() override { return port_.sendBreak(); }

protected:
    Chunk fetch(std::size_t max, const Deadline &deadline) override
    {
        Chunk chunk;
        chunk.status = port_.read(max, deadline.remainingMs(), chunk.bytes);
        return chunk;
    }
    ViUInt32 availableBelow() override { return static_cast<ViUInt32>(port_.available()); }

private:
    SerialPort port_;
};

} // namespace

ViStatus openSerialTransport(const ResourceName &name, ViUInt32, std::unique_ptr<Transport> &out)
{
    const std::string path = name.path.empty() ? comPortPath(name.board) : name.path;
    SerialPort port;
    if (const ViStatus status = port.open(path); status < 0) {
        if (path.empty())
            noteOpenFailure("COM port " + std::to_string(name.board) + " names no device");
        else if (port.lastErrno() == ENOTTY)
            noteOpenFailure(path + " is no serial device");
        else
            noteOpenFailure(path + ": " + std::strerror(port.lastErrno()));
        return status;
    }
    out = std::make_unique<SerialTransport>(std::move(port));
    return VI_SUCCESS;
}

} // namespace qx::visa
