// Session services of ivi.h: creation, disposal, the lock, flags and channels.
#include "inherent_attributes.h"
#include "option_string.h"
#include "session_registry.h"

#include "visa/visa.h"

#include <utility>

using namespace qx::ivi;

namespace {

// Closes the VISA resource manager unless the new session took it over.
class ResourceManagerGuard {
public:
    ~ResourceManagerGuard()
    {
        if (rm != VI_NULL)
            viClose(rm);
    }
    ViSession release() { return std::exchange(rm, VI_NULL); }
    ViSession rm = VI_NULL;
};

// A flag of a live session, VI_FALSE for a bad handle.
template <class F>
ViBoolean sessionFlag(ViSession vi, F &&read)
{
    bool value = false;
    withSession(vi, [&](Session &session) {
        value = read(session);
        return VI_SUCCESS;
    });
    return value ? VI_TRUE : VI_FALSE;
}

} // namespace

ViStatus Ivi_SpecificDriverNew(ViConstString prefix, ViConstString optionString, ViSession *newVi)
{
    return guarded([&]() -> ViStatus {
        if (newVi == nullptr)
            return IVI_ERROR_NULL_POINTER;
        *newVi = VI_NULL;
        if (prefix == nullptr)
            return IVI_ERROR_NULL_POINTER;
        DriverOptions options;
        std::string elaboration;
        ViStatus status = parseOptionString(optionString ? optionString : "", options, elaboration);
        if (status < 0) {
            threadErrorInfo().record(false, status, VI_SUCCESS, elaboration);
            return status;
        }
        ResourceManagerGuard rm;
        if (!options.simulate) {
            status = viOpenDefaultRM(&rm.rm);
            if (status < 0) {
                rm.rm = VI_NULL;
                threadErrorInfo().record(false, status, VI_SUCCESS, "Cannot open the VISA resource manager");
                return status;
            }
        }
        auto session = std::make_shared<Session>();
        status = addInherentAttributes(*session, {options, prefix, rm.rm});
        if (status < 0)
            return status;
        *newVi = SessionRegistry::instance().add(std::move(session));
        rm.release();
        return VI_SUCCESS;
    });
}

ViStatus Ivi_Dispose(ViSession vi)
{
    if (vi == VI_NULL)
        return VI_SUCCESS;
    return withSession(vi, [&](Session &session) {
        SessionRegistry::instance().remove(vi);
        session.lock.close(); // threads still waiting for the session give up
        const ViSession rm = session.sessionValue(IVI_ATTR_VISA_RM_SESSION);
        const ViStatus closed = rm != VI_NULL ? viClose(rm) : VI_SUCCESS;
        return closed < 0 ? closed : VI_SUCCESS;
    });
}

ViStatus Ivi_LockSession(ViSession vi, ViBoolean *callerHasLock)
{
    return guarded([&] {
        const auto session = SessionRegistry::instance().find(vi);
        if (!session)
            return IVI_ERROR_INVALID_SESSION_HANDLE;
        if (callerHasLock != nullptr && *callerHasLock != VI_FALSE)
            return VI_SUCCESS;
        if (!session->lock.acquire())
            return IVI_ERROR_INVALID_SESSION_HANDLE;
        if (callerHasLock != nullptr)
            *callerHasLock = VI_TRUE;
        return VI_SUCCESS;
    });
}

ViStatus Ivi_UnlockSession(ViSession vi, ViBoolean *callerHasLock)
{
    return guarded([&] {
        const auto session = SessionRegistry::instance().find(vi);
        if (!session)
            return IVI_ERROR_INVALID_SESSION_HANDLE;
        if (callerHasLock != nullptr && *callerHasLock == VI_FALSE)
            return VI_SUCCESS;
        if (!session->lock.release())
            return IVI_ERROR_SESSION_NOT_LOCKED;
        if (callerHasLock != nullptr)
            *callerHasLock = VI_FALSE;
        return VI_SUCCESS;
    });
}

ViBoolean Ivi_Simulating(ViSession vi)
{
    return sessionFlag(vi, [](const Session &session) { return session.flag(IVI_ATTR_SIMULATE); });
}

ViBoolean Ivi_UseSpecificSimulation(ViSession vi)
{
    return sessionFlag(vi, [](const Session &session) { return session.flag(IVI_ATTR_USE_SPECIFIC_SIMULATION); });
}

ViBoolean Ivi_QueryInstrStatus(ViSession vi)
{
    return sessionFlag(vi, [](const Session &session) { return session.flag(IVI_ATTR_QUERY_INSTRUMENT_STATUS); });
}

ViBoolean Ivi_RangeChecking(ViSession vi)
{
    return sessionFlag(vi, [](const Session &session) { return session.flag(IVI_ATTR_RANGE_CHECK); });
}

ViBoolean Ivi_NeedToCheckStatus(ViSession vi)
{
    return sessionFlag(vi, [](const Session &session) { return session.needToCheckStatus; });
}

ViStatus Ivi_SetNeedToCheckStatus(ViSession vi, ViBoolean needToCheckStatus)
{
    return withSession(vi, [&](Session &session) {
        session.needToCheckStatus = needToCheckStatus != VI_FALSE;
        return VI_SUCCESS;
    });
}

ViSession Ivi_IOSession(ViSession vi)
{
    ViSession io = VI_NULL;
    withSession(vi, [&](Session &session) {
        io = session.sessionValue(IVI_ATTR_IO_SESSION);
        return VI_SUCCESS;
    });
    return io;
}

ViStatus Ivi_BuildChannelTable(ViSession vi, ViConstString channelList, ViBoolean allowUnknownChannelNames,
                               ViConstString /*reserved*/)
{
    return withSession(vi, [&](Session &session) {
        if (channelList == nullptr)
            return IVI_ERROR_NULL_POINTER;
        const ViStatus status = session.channels.build(channelList, allowUnknownChannelNames != VI_FALSE);
        if (status < 0)
            return status;
        Attribute *count = nullptr;
        if (session.attributes.find(IVI_ATTR_CHANNEL_COUNT, count) >= 0)
            count->slot("") = Slot{session.channels.count(), true};
        return VI_SUCCESS;
    });
}

ViStatus Ivi_CoerceChannelName(ViSession vi, ViConstString channelName, ViConstString *coercedChannelName)
{
    return withSession(vi, [&](Session &session) {
        if (coercedChannelName == nullptr)
            return IVI_ERROR_NULL_POINTER;
        return session.channels.coerce(channelName, *coercedChannelName);
    });
}
