#include "channel_table.h"

#include "runtime/strings.h"

#include <algorithm>

namespace qx::ivi {

using runtime::trim;

ViStatus ChannelTable::build(std::string_view channelList, bool allowUnknownNames)
{
    std::vector<std::string_view> names;
    if (!trim(channelList).empty()) {
        size_t start = 0;
        while (true) {
            const size_t comma = channelList.find(',', start);
            const std::string_view name = trim(channelList.substr(start, comma - start));
            if (name.empty() || std::find(names.begin(), names.end(), name) != names.end())
                return IVI_ERROR_INVALID_VALUE;
            names.push_back(name);
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
    }
    names_.clear();
    for (std::string_view name : names)
        names_.push_back(intern(name));
    allowUnknownNames_ = allowUnknownNames;
    return VI_SUCCESS;
}

ViStatus ChannelTable::coerce(ViConstString channelName, ViConstString &coercedName)
{
    if (channelName == nullptr || channelName[0] == '\0')
        return IVI_ERROR_CHANNEL_NAME_REQUIRED;
    const std::string_view name(channelName);
    const auto known = std::find_if(names_.begin(), names_.end(), [&](ViConstString n) { return name == n; });
    if (known != names_.end()) {
        coercedName = *known;
        return VI_SUCCESS;
    }
    if (!allowUnknownNames_)
        return IVI_ERROR_UNKNOWN_CHANNEL_NAME;
    coercedName = intern(name);
    return VI_SUCCESS;
}

ViConstString ChannelTable::intern(std::string_view name)
{
    return pool_.emplace(name).first->c_str();
}

} // namespace qx::ivi
