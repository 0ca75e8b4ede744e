#include "conversation_device.h"

#include "serve/conversation.h"

#include <algorithm>

namespace qx::gate::web {
namespace {

// The longest wait of a write for its turn and the instrument (the driver's own time-out is 5 s).
constexpr std::uint32_t kWriteTimeoutMs = 10000;

} // namespace

ConversationDevice::ConversationDevice(std::shared_ptr<serve::Conversation> conversation, const std::string &who)
    : conversation_(std::move(conversation)), party_(conversation_->join(serve::Access::Full, who))
{
}

ConversationDevice::~ConversationDevice() { conversation_->leave(*party_); }

bool ConversationDevice::write(std::string_view bytes, bool end)
{
    serve::Call call;
    call.data = bytes;
    call.end = end;
    call.ioTimeoutMs = kWriteTimeoutMs;
    if (bytes.find('?') != std::string_view::npos)
        answerDue_ = true;
    // A refusal or time-out is the driver's to see as a failed write; the line itself stays.
    return conversation_->run(*party_, call).error == vxi11::error::kNone;
}

visa::DeviceRead ConversationDevice::read(std::size_t max) { return readWithin(max, 0); }

visa::DeviceRead ConversationDevice::readWithin(std::size_t max, std::uint32_t timeoutMs)
{
    visa::DeviceRead answer;
    if (!answerDue_ || timeoutMs == 0)
        return answer; // Silent: nothing asked, or no time to wait
    serve::Call call;
    call.operation = serve::Operation::Read;
    call.max = std::max<std::size_t>(max, 1);
    call.ioTimeoutMs = timeoutMs;
    const serve::Outcome outcome = conversation_->run(*party_, call);
    if (outcome.error != vxi11::error::kNone) {
        answerDue_ = false; // the conversation has given up the answer
        answer.status = visa::DeviceRead::Status::TimedOut;
        return answer;
    }
    answer.status = visa::DeviceRead::Status::Data;
    answer.bytes = outcome.read.data;
    answer.end = (outcome.read.reason & (vxi11::reason::kEnd | vxi11::reason::kTermChar)) != 0;
    if (answer.end)
        answerDue_ = false;
    return answer;
}

void ConversationDevice::clear()
{
    serve::Call call;
    call.operation = serve::Operation::Clear;
    call.ioTimeoutMs = kWriteTimeoutMs;
    conversation_->run(*party_, call);
    answerDue_ = false;
}

bool ConversationDevice::lock(std::uint32_t timeoutMs)
{
    serve::Call call;
    call.operation = serve::Operation::Lock;
    call.lockTimeoutMs = timeoutMs;
    call.ioTimeoutMs = timeoutMs;
    call.waitLock = true;
    call.brief = true; // the others wait for the poll's few messages rather than being refused
    return conversation_->run(*party_, call).error == vxi11::error::kNone;
}

void ConversationDevice::unlock() { conversation_->unlock(*party_); }

std::string webResourceName(std::size_t index)
{
    return "TCPIP::web.qxgate.invalid::inst" + std::to_string(index) + "::INSTR";
}

} // namespace qx::gate::web
