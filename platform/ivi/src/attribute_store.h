// The typed attributes of one session: records with flags, default, range table, callbacks and
// one cache slot per channel ("" for attributes that are not per channel).
#pragma once

#include "ivi/ivi.h"

#include <map>
#include <string>
#include <string_view>
#include <variant>

namespace qx::ivi {

// The order of the alternatives is the order of Callbacks in AnyCallbacks.
using Value = std::variant<ViInt32, ViReal64, ViBoolean, std::string, ViSession, ViAddr>;

template <class T>
struct Callbacks;

template <>
struct Callbacks<ViInt32> {
    ReadAttrViInt32_CallbackPtr read = nullptr;
    WriteAttrViInt32_CallbackPtr write = nullptr;
    CheckAttrViInt32_CallbackPtr check = nullptr;
};
template <>
struct Callbacks<ViReal64> {
    ReadAttrViReal64_CallbackPtr read = nullptr;
    WriteAttrViReal64_CallbackPtr write = nullptr;
    CheckAttrViReal64_CallbackPtr check = nullptr;
};
template <>
struct Callbacks<ViBoolean> {
    ReadAttrViBoolean_CallbackPtr read = nullptr;
    WriteAttrViBoolean_CallbackPtr write = nullptr;
    CheckAttrViBoolean_CallbackPtr check = nullptr;
};
template <>
struct Callbacks<std::string> {
    ReadAttrViString_CallbackPtr read = nullptr;
    WriteAttrViString_CallbackPtr write = nullptr;
    CheckAttrViString_CallbackPtr check = nullptr;
};
template <>
struct Callbacks<ViSession> {
    ReadAttrViSession_CallbackPtr read = nullptr;
    WriteAttrViSession_CallbackPtr write = nullptr;
    CheckAttrViSession_CallbackPtr check = nullptr;
};
template <>
struct Callbacks<ViAddr> {
    ReadAttrViAddr_CallbackPtr read = nullptr;
    WriteAttrViAddr_CallbackPtr write = nullptr;
    CheckAttrViAddr_CallbackPtr check = nullptr;
};

using AnyCallbacks = std::variant<Callbacks<ViInt32>, Callbacks<ViReal64>, Callbacks<ViBoolean>,
                                  Callbacks<std::string>, Callbacks<ViSession>, Callbacks<ViAddr>>;

struct Slot {
    Value value;        // last value set or read, the default until then
    bool valid = false; // the cache may answer a get
};

struct Attribute {
    ViAttr id = 0;
    std::string name;
    IviAttrFlags flags = 0;
    Value defaultValue;
    AnyCallbacks callbacks;
    IviRangeTablePtr rangeTable = nullptr;
    ViInt32 comparePrecision = 0;
    std::map<std::string, Slot, std::less<>> slots;

    bool has(IviAttrFlags flag) const { return (flags & flag) != 0; }
    template <class T>
    bool holds() const
    {
        return std::holds_alternative<T>(defaultValue);
    }
    template <class T>
    Callbacks<T> &callbacksOf()
    {
        return std::get<Callbacks<T>>(callbacks);
    }
    // The slot of a channel, made from the default on first use. References stay valid.
    Slot &slot(std::string_view channel);
    const Value &current(std::string_view channel) const;
};

// Inherent attributes (the engine's own) run their callbacks also when simulating.
constexpr bool isInherent(ViAttr id)
{
    return id >= IVI_INHERENT_ATTR_BASE && id < IVI_SPECIFIC_PUBLIC_ATTR_BASE;
}

class AttributeStore {
public:
    // IVI_ERROR_ATTRIBUTE_EXISTS when the ID is taken.
    ViStatus add(Attribute attribute);
    // IVI_ERROR_INVALID_ATTRIBUTE for an unknown ID.
    ViStatus find(ViAttr id, Attribute *&attribute);
    // Also IVI_ERROR_TYPES_DO_NOT_MATCH for another type.
    template <class T>
    ViStatus findTyped(ViAttr id, Attribute *&attribute)
    {
        const ViStatus status = find(id, attribute);
        if (status < 0)
            return status;
        return attribute->holds<T>() ? VI_SUCCESS : IVI_ERROR_TYPES_DO_NOT_MATCH;
    }
    const Attribute *find(ViAttr id) const;
    // Every slot of every attribute, except those flagged IVI_VAL_ALWAYS_CACHE.
    void invalidateAll();

private:
    std::map<ViAttr, Attribute> attributes_;
};

} // namespace qx::ivi
