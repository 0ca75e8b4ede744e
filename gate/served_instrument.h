// One instrument the gateway serves, as every door and face sees it.
#pragma once

#include "identity.h"
#include "options.h"

#include <memory>

namespace qx::serve {
class Conversation;
}

namespace qx::gate {

struct ServedInstrument {
    Served served;
    std::shared_ptr<serve::Conversation> conversation; // shared by the names of one resource
    Identity identity; // asked once at the start
};

} // namespace qx::gate
