// Instrument control beyond reads and writes: viReadSTB, viAssertTrigger, viGpibControlREN,
// viLock and viUnlock. The link decides what it offers (see Transport).
#include "session.h"
#include "visa/visa.h"

using namespace qx::visa;

ViStatus viReadSTB(ViSession vi, ViUInt16 *status)
{
    if (!status)
        return VI_ERROR_USER_BUF;
    return withSession(vi, [&](Session &s) { return s.transport().readStatusByte(*status, s.attrs.timeoutMs); });
}

ViStatus viAssertTrigger(ViSession vi, ViUInt16 protocol)
{
    return withSession(vi, [&](Session &s) {
        if (protocol != VI_TRIG_PROT_DEFAULT)
            return VI_ERROR_INV_PARAMETER;
        return s.transport().trigger(s.attrs.timeoutMs);
    });
}

ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode)
{
    return withSession(vi, [&](Session &s) {
        if (mode > VI_GPIB_REN_ADDRESS_GTL)
            return VI_ERROR_INV_MODE;
        return s.transport().remoteLocal(mode, s.attrs.timeoutMs);
    });
}

ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstString, ViString accessKey)
{
    if (accessKey)
        accessKey[0] = '\0'; // exclusive locks have no key
    return withSession(vi, [&](Session &s) {
        if (lockType != VI_EXCLUSIVE_LOCK)
            return lockType == VI_SHARED_LOCK ? VI_ERROR_NSUP_OPER : VI_ERROR_INV_LOCK_TYPE;
        return s.transport().lock(timeout);
    });
}

ViStatus viUnlock(ViSession vi)
{
    return withSession(vi, [](Session &s) { return s.transport().unlock(); });
}
