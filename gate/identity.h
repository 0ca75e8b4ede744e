// What an instrument says it is (*IDN?), asked once through its conversation, as any client would.
#pragma once

#include <chrono>
#include <string>

namespace qx::serve {
class Conversation;
}

namespace qx::gate {

struct Identity {
    std::string manufacturer, model, serialNumber, firmware; // the four fields of the answer
    std::string answer; // the answer as given, without its terminator; "" when none came
    bool known() const { return !model.empty(); }
};

// Splits an *IDN? answer: four comma-separated fields, each trimmed; fields it lacks are "".
Identity parseIdentity(const std::string &answer);

// Asks *IDN? as a read-only party named `who`; an empty identity when the instrument does not
// answer within `timeout`.
Identity askIdentity(serve::Conversation &conversation, const std::string &who,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

} // namespace qx::gate
