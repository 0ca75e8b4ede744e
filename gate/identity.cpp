#include "identity.h"

#include "serve/conversation.h"

#include <sstream>
#include <vector>

namespace qx::gate {
namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n\"");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n\"") - first + 1);
}

constexpr std::size_t kLongestAnswer = 512;

} // namespace

Identity parseIdentity(const std::string &answer)
{
    Identity id;
    id.answer = trimmed(answer);
    std::vector<std::string> fields;
    std::stringstream in(id.answer);
    for (std::string field; fields.size() < 4 && std::getline(in, field, ',');)
        fields.push_back(trimmed(field));
    fields.resize(4);
    id.manufacturer = fields[0];
    id.model = fields[1];
    id.serialNumber = fields[2];
    id.firmware = fields[3];
    return id;
}

Identity askIdentity(serve::Conversation &conversation, const std::string &who, std::chrono::milliseconds timeout)
{
    const auto party = conversation.join(serve::Access::ReadOnly, who);
    const auto ms = static_cast<std::uint32_t>(timeout.count());
    serve::Call write;
    write.data = "*IDN?\n";
    write.end = true;
    write.ioTimeoutMs = ms;
    serve::Call read;
    read.operation = serve::Operation::Read;
    read.max = kLongestAnswer;
    read.termChar = '\n';
    read.ioTimeoutMs = ms;
    Identity id;
    if (conversation.run(*party, write).error == vxi11::error::kNone) {
        const serve::Outcome answer = conversation.run(*party, read);
        if (answer.error == vxi11::error::kNone)
            id = parseIdentity(answer.read.data);
    }
    conversation.leave(*party);
    return id;
}

} // namespace qx::gate
