// The channel names of a session. Coerced names point into a pool that only grows, so a name
// handed out stays valid for the life of the session even when the table is rebuilt.
#pragma once

#include "ivi/ivi.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qx::ivi {

class ChannelTable {
public:
    // Comma-separated names, white space around each ignored. An empty or repeated name gives
    // IVI_ERROR_INVALID_VALUE and leaves the table as it was. "" makes an empty table.
    ViStatus build(std::string_view channelList, bool allowUnknownNames);
    // Null or "": IVI_ERROR_CHANNEL_NAME_REQUIRED; a name not in the table:
    // IVI_ERROR_UNKNOWN_CHANNEL_NAME unless unknown names are allowed.
    ViStatus coerce(ViConstString channelName, ViConstString &coercedName);
    ViInt32 count() const { return static_cast<ViInt32>(names_.size()); }

private:
    ViConstString intern(std::string_view name);

    std::set<std::string, std::less<>> pool_;
    std::vector<ViConstString> names_;
    bool allowUnknownNames_ = false;
};

} // namespace qx::ivi
