// An in-process VISA device that is a party of an instrument's conversation: a driver session
// opened on its resource name talks to the instrument the way every other client does, in turn,
// never around the conversation. Writes and reads become the party's calls; a read waits for the
// answer within the caller's time-out.
#pragma once

#include "visa/device.h"

#include <memory>
#include <string>

namespace qx::serve {
class Conversation;
class Party;
} // namespace qx::serve

namespace qx::gate::web {

class ConversationDevice final : public visa::Device {
public:
    // Joins the conversation as a full-access party named `who`; leaves it when destroyed.
    ConversationDevice(std::shared_ptr<serve::Conversation> conversation, const std::string &who);
    ~ConversationDevice() override;
    ConversationDevice(const ConversationDevice &) = delete;
    ConversationDevice &operator=(const ConversationDevice &) = delete;

    bool write(std::string_view bytes, bool end) override;
    visa::DeviceRead read(std::size_t max) override;
    visa::DeviceRead readWithin(std::size_t max, std::uint32_t timeoutMs) override;
    void clear() override;

    // The conversation's lock, for a run of messages that must stay together (a phase selected,
    // then measured): other parties wait for it as their lock time-out allows.
    bool lock(std::uint32_t timeoutMs);
    void unlock();

private:
    std::shared_ptr<serve::Conversation> conversation_;
    std::shared_ptr<serve::Party> party_;
    bool answerDue_ = false; // a query went out and its answer has not been read whole
};

// The resource name under which the web face attaches the device of the `index`th instrument:
// a VXI-11 name on a host that cannot exist (.invalid), so it never names a real instrument.
std::string webResourceName(std::size_t index);

} // namespace qx::gate::web
