// Sessions on a Device attached in this process (tests, the simulator served in-process).
// A silent device makes the read time out on the current clock, so tests see the time-out in
// their timeline without waiting for it.
#include "runtime/clock.h"
#include "transport.h"
#include "visa/device.h"

namespace qx::visa {
namespace {

class InProcessTransport final : public ChunkedTransport {
public:
    explicit InProcessTransport(std::shared_ptr<Device> device) : device_(std::move(device)) {}

    ViStatus write(std::string_view bytes, bool end, ViUInt32) override
    {
        if (!device_)
            return VI_ERROR_CONN_LOST;
        try {
            return device_->write(bytes, end) ? VI_SUCCESS : VI_ERROR_CONN_LOST;
        } catch (...) {
            return VI_ERROR_IO;
        }
    }

    ViStatus clear(ViUInt32) override
    {
        ChunkedTransport::discardInput();
        if (!device_)
            return VI_ERROR_CONN_LOST;
        try {
            device_->clear();
            return VI_SUCCESS;
        } catch (...) {
            return VI_ERROR_IO;
        }
    }

    void close() override { device_.reset(); }

protected:
    Chunk fetch(std::size_t max, const Deadline &deadline) override
    {
        Chunk chunk;
        if (!device_) {
            chunk.status = VI_ERROR_CONN_LOST;
            return chunk;
        }
        DeviceRead answer;
        try {
            const auto waitMs = deadline.infinite() ? UINT32_MAX : static_cast<std::uint32_t>(deadline.remainingMs());
            answer = device_->readWithin(max, waitMs);
        } catch (...) {
            chunk.status = VI_ERROR_IO;
            return chunk;
        }
        switch (answer.status) {
        case DeviceRead::Status::Closed:
            chunk.status = VI_ERROR_CONN_LOST;
            return chunk;
        case DeviceRead::Status::TimedOut:
            chunk.status = VI_ERROR_TMO;
            return chunk;
        case DeviceRead::Status::Data:
            if (!answer.bytes.empty() || answer.end) {
                chunk.bytes = std::move(answer.bytes);
                chunk.end = answer.end;
                return chunk;
            }
            break; // nothing yet and nothing coming: as silent
        case DeviceRead::Status::Silent:
            break;
        }
        // An infinite wait on a device that will never speak would hang: give up at once.
        if (!deadline.infinite() && deadline.totalMs() > 0)
            qx::runtime::currentClock().sleep(deadline.totalMs() / 1000.0, qx::runtime::WaitKind::Timeout);
        chunk.status = VI_ERROR_TMO;
        return chunk;
    }

private:
    std::shared_ptr<Device> device_;
};

} // namespace

std::unique_ptr<Transport> openInProcessTransport(const ResourceName &name)
{
    std::shared_ptr<Device> device = findDevice(name.canonical());
    if (!device)
        return nullptr;
    return std::make_unique<InProcessTransport>(std::move(device));
}

} // namespace qx::visa
