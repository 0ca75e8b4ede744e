// One engine session: its lock, attributes, channels, error information and flags. Everything
// but the lock is guarded by the lock.
#pragma once

#include "attribute_store.h"
#include "channel_table.h"
#include "error_info.h"
#include "session_lock.h"

#include <optional>
#include <string>
#include <vector>

namespace qx::ivi {

// A string read callback that is running: Ivi_SetValInStringCallback fills `result`.
struct StringRead {
    ViAttr id;
    std::optional<std::string> result;
};

struct Session {
    ViSession handle = VI_NULL;
    SessionLock lock;
    AttributeStore attributes;
    ChannelTable channels;
    ErrorInfo errorInfo;
    bool needToCheckStatus = false;
    std::vector<StringRead> stringReads; // innermost last

    // Current value of an inherent attribute, read without callbacks.
    bool flag(ViAttr id) const;
    ViSession sessionValue(ViAttr id) const;
    ViAddr addrValue(ViAttr id) const;
};

} // namespace qx::ivi
