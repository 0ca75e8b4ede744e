#include "vxi11_instrument.h"

#include "sim_device.h"

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace qx::sim {
namespace {

namespace error = qx::vxi11::error;
namespace reason = qx::vxi11::reason;
using qx::visa::DeviceRead;

// How often a read looks again at an instrument that has nothing to say yet.
constexpr auto kPoll = std::chrono::milliseconds(1);

class SimInstrument final : public qx::vxi11::Instrument {
public:
    explicit SimInstrument(std::shared_ptr<Simulator> simulator)
        : simulator_(simulator), device_(std::move(simulator), SimDevice::Link::Gpib)
    {
    }

    long write(std::string_view data, bool end, const qx::vxi11::IoWait &) override
    {
        std::lock_guard lock(mutex_);
        pending_.clear(); // a new message discards the rest of an answer
        return device_.write(data, end) ? error::kNone : error::kIoError;
    }

    qx::vxi11::ReadReply read(std::size_t max, int termChar, const qx::vxi11::IoWait &wait) override
    {
        std::lock_guard lock(mutex_);
        qx::vxi11::ReadReply reply;
        while (reply.data.size() < max) {
            if (pending_.empty()) {
                const DeviceRead got = device_.read(max - reply.data.size());
                if (got.status == DeviceRead::Status::Closed) {
                    reply.error = error::kIoError;
                    return reply;
                }
                if (got.status == DeviceRead::Status::Silent || got.bytes.empty()) {
                    if (wait.aborted() || wait.expired()) {
                        reply.error = wait.aborted() ? error::kAbort : error::kIoTimeout;
                        return reply;
                    }
                    std::this_thread::sleep_for(kPoll);
                    continue;
                }
                pending_ = got.bytes;
                pendingEnd_ = got.end;
            }
            std::size_t take = std::min(pending_.size(), max - reply.data.size());
            bool sawTermChar = false;
            if (termChar >= 0)
                if (const auto at = pending_.find(static_cast<char>(termChar)); at != std::string::npos && at < take) {
                    take = at + 1;
                    sawTermChar = true;
                }
            reply.data.append(pending_, 0, take);
            pending_.erase(0, take);
            if (pending_.empty() && pendingEnd_) {
                pendingEnd_ = false;
                reply.reason |= reason::kEnd;
            }
            if (sawTermChar)
                reply.reason |= reason::kTermChar;
            if (reply.reason != 0)
                return reply;
        }
        reply.reason = reason::kRequestCount;
        return reply;
    }

    long readStatusByte(unsigned char &stb, const qx::vxi11::IoWait &) override
    {
        stb = simulator_->snapshot().statusByte;
        return error::kNone;
    }

    long clear(const qx::vxi11::IoWait &) override
    {
        std::lock_guard lock(mutex_);
        pending_.clear();
        pendingEnd_ = false;
        device_.clear();
        return error::kNone;
    }

private:
    const std::shared_ptr<Simulator> simulator_;
    std::mutex mutex_;
    SimDevice device_;
    std::string pending_; // taken from the device, not yet read by the client
    bool pendingEnd_ = false;
};

} // namespace

std::vector<qx::serve::ServedDevice> vxi11Devices(const std::shared_ptr<Simulator> &simulator, int gpibAddress)
{
    auto conversation = std::make_shared<qx::serve::Conversation>(std::make_shared<SimInstrument>(simulator));
    return {{"inst0", conversation}, {"gpib0," + std::to_string(gpibAddress), conversation}};
}

} // namespace qx::sim
