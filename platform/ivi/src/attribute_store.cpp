#include "attribute_store.h"

namespace qx::ivi {

Slot &Attribute::slot(std::string_view channel)
{
    auto it = slots.find(channel);
    if (it == slots.end())
        it = slots.emplace(std::string(channel), Slot{defaultValue, false}).first;
    return it->second;
}

const Value &Attribute::current(std::string_view channel) const
{
    const auto it = slots.find(channel);
    return it == slots.end() ? defaultValue : it->second.value;
}

ViStatus AttributeStore::add(Attribute attribute)
{
    const ViAttr id = attribute.id;
    return attributes_.try_emplace(id, std::move(attribute)).second ? VI_SUCCESS : IVI_ERROR_ATTRIBUTE_EXISTS;
}

ViStatus AttributeStore::find(ViAttr id, Attribute *&attribute)
{
    const auto it = attributes_.find(id);
    attribute = it == attributes_.end() ? nullptr : &it->second;
    return attribute ? VI_SUCCESS : IVI_ERROR_INVALID_ATTRIBUTE;
}

const Attribute *AttributeStore::find(ViAttr id) const
{
    const auto it = attributes_.find(id);
    return it == attributes_.end() ? nullptr : &it->second;
}

void AttributeStore::invalidateAll()
{
    for (auto &[id, attribute] : attributes_) {
        if (attribute.has(IVI_VAL_ALWAYS_CACHE))
            continue;
        for (auto &[channel, slot] : attribute.slots)
            slot.valid = false;
    }
}

} // namespace qx::ivi
