// The typed attribute services of ivi.h: each one takes the session's lock and hands over to
// the type-generic services of attribute_access.
#include "attribute_access.h"
#include "session_registry.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace qx::ivi;

namespace {

template <class T>
ViStatus add(ViSession vi, ViAttr id, ViConstString name, T defaultValue, IviAttrFlags flags,
             Callbacks<T> callbacks, IviRangeTablePtr rangeTable = nullptr, ViInt32 comparePrecision = 0)
{
    return withSession(vi, [&](Session &session) {
        return addAttribute<T>(session, id, name, std::move(defaultValue), flags, callbacks, rangeTable,
                               comparePrecision);
    });
}

template <class T, class Callback>
ViStatus install(ViSession vi, ViAttr id, Callback Callbacks<T>::*which, Callback callback)
{
    return withSession(vi, [&](Session &session) { return setCallback<T>(session, id, which, callback); });
}

template <class T>
ViStatus set(ViSession vi, ViConstString channelName, ViAttr id, ViInt32 optionFlags, const T &value)
{
    return withSession(vi, [&](Session &session) { return setValue<T>(session, channelName, id, optionFlags, value); });
}

template <class T>
ViStatus get(ViSession vi, ViConstString channelName, ViAttr id, ViInt32 optionFlags, T *value)
{
    return withSession(vi, [&](Session &session) {
        if (value == nullptr)
            return IVI_ERROR_NULL_POINTER;
        return getValue<T>(session, channelName, id, optionFlags, *value);
    });
}

template <class T>
ViStatus check(ViSession vi, ViConstString channelName, ViAttr id, ViInt32 optionFlags, const T &value)
{
    return withSession(vi,
                       [&](Session &session) { return checkValue<T>(session, channelName, id, optionFlags, value); });
}

// Null strings are refused inside the session frame, so a bad handle is reported first.
template <class F>
ViStatus withText(ViSession vi, ViConstString text, F &&body)
{
    return withSession(vi, [&](Session &session) {
        if (text == nullptr)
            return IVI_ERROR_NULL_POINTER;
        return body(session, std::string(text));
    });
}

// IVI buffer rules; `status` is the get's own (success or warning).
ViStatus copyString(const std::string &text, ViInt32 bufferSize, ViChar value[], ViStatus status)
{
    const auto needed = static_cast<ViInt32>(
        std::min<size_t>(text.size() + 1, static_cast<size_t>(std::numeric_limits<ViInt32>::max())));
    if (bufferSize == 0)
        return needed;
    if (bufferSize < 0 || bufferSize >= needed) {
        std::memcpy(value, text.c_str(), static_cast<size_t>(needed));
        return status;
    }
    std::memcpy(value, text.data(), static_cast<size_t>(bufferSize - 1));
    value[bufferSize - 1] = '\0';
    return needed;
}

} // namespace

ViStatus Ivi_AddAttributeViInt32(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                 ViInt32 defaultValue, IviAttrFlags flags, ReadAttrViInt32_CallbackPtr readCallback,
                                 WriteAttrViInt32_CallbackPtr writeCallback, IviRangeTablePtr rangeTable)
{
    return add<ViInt32>(vi, attributeId, attributeName, defaultValue, flags, {readCallback, writeCallback, nullptr},
                        rangeTable);
}

ViStatus Ivi_AddAttributeViReal64(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViReal64 defaultValue, IviAttrFlags flags,
                                  ReadAttrViReal64_CallbackPtr readCallback,
                                  WriteAttrViReal64_CallbackPtr writeCallback, IviRangeTablePtr rangeTable,
                                  ViInt32 comparePrecision)
{
    return add<ViReal64>(vi, attributeId, attributeName, defaultValue, flags,
                         {readCallback, writeCallback, nullptr}, rangeTable, comparePrecision);
}

ViStatus Ivi_AddAttributeViBoolean(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                   ViBoolean defaultValue, IviAttrFlags flags,
                                   ReadAttrViBoolean_CallbackPtr readCallback,
                                   WriteAttrViBoolean_CallbackPtr writeCallback)
{
    return add<ViBoolean>(vi, attributeId, attributeName, defaultValue, flags,
                          {readCallback, writeCallback, nullptr});
}

ViStatus Ivi_AddAttributeViString(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViConstString defaultValue, IviAttrFlags flags,
                                  ReadAttrViString_CallbackPtr readCallback,
                                  WriteAttrViString_CallbackPtr writeCallback)
{
    return add<std::string>(vi, attributeId, attributeName, defaultValue ? defaultValue : "", flags,
                            {readCallback, writeCallback, nullptr});
}

ViStatus Ivi_AddAttributeViSession(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                   ViSession defaultValue, IviAttrFlags flags,
                                   ReadAttrViSession_CallbackPtr readCallback,
                                   WriteAttrViSession_CallbackPtr writeCallback)
{
    return add<ViSession>(vi, attributeId, attributeName, defaultValue, flags,
                          {readCallback, writeCallback, nullptr});
}

ViStatus Ivi_AddAttributeViAddr(ViSession vi, ViAttr attributeId, ViConstString attributeName, ViAddr defaultValue,
                                IviAttrFlags flags, ReadAttrViAddr_CallbackPtr readCallback,
                                WriteAttrViAddr_CallbackPtr writeCallback)
{
    return add<ViAddr>(vi, attributeId, attributeName, defaultValue, flags, {readCallback, writeCallback, nullptr});
}

#define QX_IVI_CALLBACK_INSTALLERS(Suffix, T)                                                                  \
    ViStatus Ivi_SetAttrReadCallback##Suffix(ViSession vi, ViAttr attributeId,                                 \
                                             ReadAttr##Suffix##_CallbackPtr readCallback)                      \
    {                                                                                                          \
        return install<T>(vi, attributeId, &Callbacks<T>::read, readCallback);                                 \
    }                                                                                                          \
    ViStatus Ivi_SetAttrWriteCallback##Suffix(ViSession vi, ViAttr attributeId,                                \
                                              WriteAttr##Suffix##_CallbackPtr writeCallback)                   \
    {                                                                                                          \
        return install<T>(vi, attributeId, &Callbacks<T>::write, writeCallback);                               \
    }                                                                                                          \
    ViStatus Ivi_SetAttrCheckCallback##Suffix(ViSession vi, ViAttr attributeId,                                \
                                              CheckAttr##Suffix##_CallbackPtr checkCallback)                   \
    {                                                                                                          \
        return install<T>(vi, attributeId, &Callbacks<T>::check, checkCallback);                               \
    }

QX_IVI_CALLBACK_INSTALLERS(ViInt32, ViInt32)
QX_IVI_CALLBACK_INSTALLERS(ViReal64, ViReal64)
QX_IVI_CALLBACK_INSTALLERS(ViBoolean, ViBoolean)
QX_IVI_CALLBACK_INSTALLERS(ViString, std::string)
QX_IVI_CALLBACK_INSTALLERS(ViSession, ViSession)
QX_IVI_CALLBACK_INSTALLERS(ViAddr, ViAddr)

ViStatus Ivi_SetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                 ViInt32 value)
{
    return set<ViInt32>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViReal64 value)
{
    return set<ViReal64>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean value)
{
    return set<ViBoolean>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViConstString value)
{
    return withText(vi, value, [&](Session &session, const std::string &text) {
        return setValue<std::string>(session, channelName, attributeId, optionFlags, text);
    });
}

ViStatus Ivi_SetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession value)
{
    return set<ViSession>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_SetAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                ViAddr value)
{
    return set<ViAddr>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                 ViInt32 *value)
{
    return get<ViInt32>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViReal64 *value)
{
    return get<ViReal64>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean *value)
{
    return get<ViBoolean>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession *value)
{
    return get<ViSession>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                ViAddr *value)
{
    return get<ViAddr>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_GetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViInt32 bufferSize, ViChar value[])
{
    std::string text;
    const ViStatus status = withSession(vi, [&](Session &session) {
        if (value == nullptr && bufferSize != 0)
            return IVI_ERROR_NULL_POINTER;
        return getValue<std::string>(session, channelName, attributeId, optionFlags, text);
    });
    if (status < 0)
        return status;
    return copyString(text, bufferSize, value, status);
}

ViStatus Ivi_CheckAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViInt32 value)
{
    return check<ViInt32>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViReal64 value)
{
    return check<ViReal64>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViBoolean value)
{
    return check<ViBoolean>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViConstString value)
{
    return withText(vi, value, [&](Session &session, const std::string &text) {
        return checkValue<std::string>(session, channelName, attributeId, optionFlags, text);
    });
}

ViStatus Ivi_CheckAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViSession value)
{
    return check<ViSession>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_CheckAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViAddr value)
{
    return check<ViAddr>(vi, channelName, attributeId, optionFlags, value);
}

ViStatus Ivi_InvalidateAllAttributes(ViSession vi)
{
    return withSession(vi, [](Session &session) {
        session.attributes.invalidateAll();
        return VI_SUCCESS;
    });
}

ViStatus Ivi_InvalidateAttribute(ViSession vi, ViConstString channelName, ViAttr attributeId)
{
    return withSession(vi, [&](Session &session) { return invalidateValue(session, channelName, attributeId); });
}

ViStatus Ivi_SetValInStringCallback(ViSession vi, ViAttr attributeId, ViConstString value)
{
    return withSession(vi, [&](Session &session) { return setStringReadResult(session, attributeId, value); });
}
