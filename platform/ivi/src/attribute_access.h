// The attribute services on a session the caller has locked: add, check, set (check, compare
// with the cache, write callback, cache), get (cache, read callback, stored value), invalidate.
#pragma once

#include "session.h"

namespace qx::ivi {

template <class T>
ViStatus addAttribute(Session &session, ViAttr id, ViConstString name, T defaultValue, IviAttrFlags flags,
                      Callbacks<T> callbacks, IviRangeTablePtr rangeTable = nullptr, ViInt32 comparePrecision = 0);

template <class T, class Callback>
ViStatus setCallback(Session &session, ViAttr id, Callback Callbacks<T>::*which, Callback callback)
{
    Attribute *attribute = nullptr;
    const ViStatus status = session.attributes.findTyped<T>(id, attribute);
    if (status < 0)
        return status;
    attribute->callbacksOf<T>().*which = callback;
    return VI_SUCCESS;
}

template <class T>
ViStatus setValue(Session &session, ViConstString channelName, ViAttr id, ViInt32 optionFlags, const T &value);
template <class T>
ViStatus getValue(Session &session, ViConstString channelName, ViAttr id, ViInt32 optionFlags, T &value);
// Validates whatever the range-check setting: the caller asked for exactly this.
template <class T>
ViStatus checkValue(Session &session, ViConstString channelName, ViAttr id, ViInt32 optionFlags, const T &value);

ViStatus invalidateValue(Session &session, ViConstString channelName, ViAttr id);
// The result of the innermost running string read callback of the attribute.
ViStatus setStringReadResult(Session &session, ViAttr id, ViConstString value);

} // namespace qx::ivi
