#include "attribute_access.h"

#include "range_table.h"

#include <type_traits>

namespace qx::ivi {
namespace {

enum class Access { Read, Write };

bool directUserCall(ViInt32 optionFlags)
{
    return (optionFlags & IVI_VAL_DIRECT_USER_CALL) != 0;
}

// Callbacks see numbers as they are and strings as C strings.
template <class T>
T callbackArg(const T &value)
{
    return value;
}
ViConstString callbackArg(const std::string &value)
{
    return value.c_str();
}

ViStatus permits(const Attribute &attribute, ViInt32 optionFlags, Access access)
{
    if (attribute.has(IVI_VAL_NOT_SUPPORTED))
        return IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED;
    const bool user = directUserCall(optionFlags);
    if (access == Access::Write &&
        (attribute.has(IVI_VAL_NOT_WRITABLE) || (user && attribute.has(IVI_VAL_NOT_USER_WRITABLE))))
        return IVI_ERROR_ATTR_NOT_WRITABLE;
    if (access == Access::Read &&
        (attribute.has(IVI_VAL_NOT_READABLE) || (user && attribute.has(IVI_VAL_NOT_USER_READABLE))))
        return IVI_ERROR_ATTR_NOT_READABLE;
    return VI_SUCCESS;
}

ViStatus resolveChannel(Session &session, const Attribute &attribute, ViConstString channelName,
                        ViConstString &channel)
{
    if (attribute.has(IVI_VAL_MULTI_CHANNEL))
        return session.channels.coerce(channelName, channel);
    if (channelName != nullptr && channelName[0] != '\0')
        return IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED;
    channel = "";
    return VI_SUCCESS;
}

template <class T>
ViStatus prepare(Session &session, ViAttr id, ViConstString channelName, ViInt32 optionFlags, Access access,
                 Attribute *&attribute, ViConstString &channel)
{
    ViStatus status = session.attributes.findTyped<T>(id, attribute);
    if (status >= 0)
        status = permits(*attribute, optionFlags, access);
    if (status >= 0)
        status = resolveChannel(session, *attribute, channelName, channel);
    return status;
}

bool cachingOn(const Session &session, const Attribute &attribute)
{
    if (attribute.has(IVI_VAL_NEVER_CACHE))
        return false;
    return attribute.has(IVI_VAL_ALWAYS_CACHE) || session.flag(IVI_ATTR_CACHE);
}

bool callbacksRun(const Session &session, const Attribute &attribute)
{
    return !session.flag(IVI_ATTR_SIMULATE) || attribute.has(IVI_VAL_USE_CALLBACKS_FOR_SIMULATION) ||
           isInherent(attribute.id);
}

// A read or write callback may have talked to the instrument: a status check is due.
void noteCallbackRun(Session &session, const Attribute &attribute)
{
    if (!attribute.has(IVI_VAL_DONT_CHECK_STATUS))
        session.needToCheckStatus = true;
}

template <class T>
bool sameValue(const Attribute &attribute, const T &a, const T &b)
{
    if constexpr (std::is_same_v<T, ViReal64>)
        return realEqual(a, b, attribute.comparePrecision);
    else
        return a == b;
}

// Rules of the engine's own attributes, which hold whatever the range-check setting.
template <class T>
ViStatus engineRule(const Session &session, const Attribute &attribute, const T &value)
{
    if constexpr (std::is_same_v<T, ViBoolean>) {
        if (attribute.id == IVI_ATTR_SIMULATE && value == VI_FALSE && session.flag(IVI_ATTR_SIMULATE))
            return IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE;
    }
    return VI_SUCCESS;
}

template <class T>
ViStatus defaultCheck(const Attribute &attribute, const T &value)
{
    if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, ViReal64>) {
        if (attribute.rangeTable != nullptr &&
            findRangeEntry(*attribute.rangeTable, static_cast<ViReal64>(value), attribute.comparePrecision) < 0)
            return IVI_ERROR_INVALID_VALUE;
    } else if constexpr (std::is_same_v<T, ViBoolean>) {
        if (value != VI_TRUE && value != VI_FALSE)
            return IVI_ERROR_INVALID_VALUE;
    }
    return VI_SUCCESS;
}

// The check callback, when installed, replaces the engine's check.
template <class T>
ViStatus runCheck(Session &session, Attribute &attribute, ViConstString channel, const T &value,
                  bool evenWithoutRangeChecking)
{
    const ViStatus status = engineRule(session, attribute, value);
    if (status < 0)
        return status;
    if (!evenWithoutRangeChecking && !session.flag(IVI_ATTR_RANGE_CHECK))
        return VI_SUCCESS;
    if (const auto check = attribute.callbacksOf<T>().check)
        return check(session.handle, channel, attribute.id, callbackArg(value));
    return defaultCheck(attribute, value);
}

template <class Read, class T>
ViStatus invokeRead(Session &session, Read read, ViConstString channel, ViAttr id, T &value)
{
    return read(session.handle, session.sessionValue(IVI_ATTR_IO_SESSION), channel, id, &value);
}

// Pops the string read context on every way out of the callback.
class StringReadScope {
public:
    StringReadScope(Session &session, ViAttr id) : session_(session) { session_.stringReads.push_back({id, {}}); }
    ~StringReadScope() { session_.stringReads.pop_back(); }
    StringReadScope(const StringReadScope &) = delete;
    StringReadScope &operator=(const StringReadScope &) = delete;
    std::optional<std::string> &result() { return session_.stringReads.back().result; }

private:
    Session &session_;
};

ViStatus invokeRead(Session &session, ReadAttrViString_CallbackPtr read, ViConstString channel, ViAttr id,
                    std::string &value)
{
    const std::string cached = value; // a copy: the callback may set this very attribute again
    StringReadScope scope(session, id);
    const ViStatus status = read(session.handle, session.sessionValue(IVI_ATTR_IO_SESSION), channel, id,
                                 cached.c_str());
    if (scope.result()) // a failed get drops it anyway
        value = std::move(*scope.result());
    return status;
}

// After a direct user access the engine runs the session's check-status callback when a check
// is due; its error becomes the access's result and leaves the check due.
ViStatus afterUserAccess(Session &session, const Attribute &attribute, ViInt32 optionFlags, ViStatus status)
{
    if (status < 0 || !directUserCall(optionFlags) || attribute.has(IVI_VAL_DONT_CHECK_STATUS))
        return status;
    if (!session.flag(IVI_ATTR_QUERY_INSTRUMENT_STATUS) || session.flag(IVI_ATTR_SIMULATE) ||
        !session.needToCheckStatus)
        return status;
    const auto checkStatus =
        reinterpret_cast<IviCheckStatus_CallbackPtr>(session.addrValue(IVI_ATTR_CHECK_STATUS_CALLBACK));
    if (checkStatus == nullptr)
        return status;
    const ViStatus checked = checkStatus(session.handle, session.sessionValue(IVI_ATTR_IO_SESSION));
    if (checked < 0)
        return checked;
    session.needToCheckStatus = false;
    return status;
}

ViStatus firstNonZero(ViStatus a, ViStatus b)
{
    return a != VI_SUCCESS ? a : b;
}

} // namespace

template <class T>
ViStatus addAttribute(Session &session, ViAttr id, ViConstString name, T defaultValue, IviAttrFlags flags,
                      Callbacks<T> callbacks, IviRangeTablePtr rangeTable, ViInt32 comparePrecision)
{
    if (name == nullptr)
        return IVI_ERROR_NULL_POINTER;
    if (comparePrecision < 0)
        return IVI_ERROR_INVALID_VALUE;
    Attribute attribute;
    attribute.id = id;
    attribute.name = name;
    attribute.flags = flags;
    attribute.defaultValue = std::move(defaultValue);
    attribute.callbacks = callbacks;
    attribute.rangeTable = rangeTable;
    attribute.comparePrecision = comparePrecision;
    return session.attributes.add(std::move(attribute));
}

template <class T>
ViStatus setValue(Session &session, ViConstString channelName, ViAttr id, ViInt32 optionFlags, const T &value)
{
    Attribute *attribute = nullptr;
    ViConstString channel = "";
    const ViStatus prepared = prepare<T>(session, id, channelName, optionFlags, Access::Write, attribute, channel);
    if (prepared < 0)
        return prepared;
    Slot &slot = attribute->slot(channel);
    const bool caching = cachingOn(session, *attribute);
    if ((optionFlags & IVI_VAL_SET_CACHE_ONLY) != 0) {
        slot.value = value;
        slot.valid = caching;
        return VI_SUCCESS;
    }
    const ViStatus checked = runCheck(session, *attribute, channel, value, false);
    if (checked < 0)
        return checked;
    ViStatus written = VI_SUCCESS;
    const auto write = attribute->callbacksOf<T>().write;
    if (write != nullptr && callbacksRun(session, *attribute)) {
        if (caching && slot.valid && sameValue(*attribute, std::get<T>(slot.value), value))
            return afterUserAccess(session, *attribute, optionFlags, checked);
        slot.valid = false; // a failed write leaves the instrument's state unknown
        noteCallbackRun(session, *attribute);
        written = write(session.handle, session.sessionValue(IVI_ATTR_IO_SESSION), channel, id, callbackArg(value));
        if (written < 0)
            return written;
    }
    slot.value = value;
    slot.valid = caching;
    return afterUserAccess(session, *attribute, optionFlags, firstNonZero(written, checked));
}

template <class T>
ViStatus getValue(Session &session, ViConstString channelName, ViAttr id, ViInt32 optionFlags, T &value)
{
    Attribute *attribute = nullptr;
    ViConstString channel = "";
    const ViStatus prepared = prepare<T>(session, id, channelName, optionFlags, Access::Read, attribute, channel);
    if (prepared < 0)
        return prepared;
    Slot &slot = attribute->slot(channel);
    const bool caching = cachingOn(session, *attribute);
    ViStatus status = VI_SUCCESS;
    const auto read = attribute->callbacksOf<T>().read;
    if (!(caching && slot.valid) && read != nullptr && callbacksRun(session, *attribute)) {
        T fresh = std::get<T>(slot.value); // what a callback that supplies nothing leaves
        noteCallbackRun(session, *attribute);
        status = invokeRead(session, read, channel, id, fresh);
        if (status < 0)
            return status;
        slot.value = std::move(fresh);
        slot.valid = caching;
    }
    value = std::get<T>(slot.value);
    return afterUserAccess(session, *attribute, optionFlags, status);
}

template <class T>
ViStatus checkValue(Session &session, ViConstString channelName, ViAttr id, ViInt32 optionFlags, const T &value)
{
    Attribute *attribute = nullptr;
    ViConstString channel = "";
    const ViStatus prepared = prepare<T>(session, id, channelName, optionFlags, Access::Write, attribute, channel);
    if (prepared < 0)
        return prepared;
    return runCheck(session, *attribute, channel, value, true);
}

ViStatus invalidateValue(Session &session, ViConstString channelName, ViAttr id)
{
    Attribute *attribute = nullptr;
    ViConstString channel = "";
    ViStatus status = session.attributes.find(id, attribute);
    if (status >= 0)
        status = resolveChannel(session, *attribute, channelName, channel);
    if (status >= 0)
        attribute->slot(channel).valid = false;
    return status;
}

ViStatus setStringReadResult(Session &session, ViAttr id, ViConstString value)
{
    if (value == nullptr)
        return IVI_ERROR_NULL_POINTER;
    for (auto it = session.stringReads.rbegin(); it != session.stringReads.rend(); ++it) {
        if (it->id == id) {
            it->result = value;
            return VI_SUCCESS;
        }
    }
    return IVI_ERROR_NOT_IN_READ_CALLBACK;
}

#define QX_IVI_INSTANTIATE(T)                                                                                  \
    template ViStatus addAttribute<T>(Session &, ViAttr, ViConstString, T, IviAttrFlags, Callbacks<T>,        \
                                      IviRangeTablePtr, ViInt32);                                              \
    template ViStatus setValue<T>(Session &, ViConstString, ViAttr, ViInt32, const T &);                       \
    template ViStatus getValue<T>(Session &, ViConstString, ViAttr, ViInt32, T &);                             \
    template ViStatus checkValue<T>(Session &, ViConstString, ViAttr, ViInt32, const T &);

QX_IVI_INSTANTIATE(ViInt32)
QX_IVI_INSTANTIATE(ViReal64)
QX_IVI_INSTANTIATE(ViBoolean)
QX_IVI_INSTANTIATE(std::string)
QX_IVI_INSTANTIATE(ViSession)
QX_IVI_INSTANTIATE(ViAddr)

} // namespace qx::ivi
