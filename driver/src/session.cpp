#include "attributes.h"
#include "driver_state.h"
#include "errors.h"
#include "exchange.h"
#include "identification.h"
#include "runtime/clock.h"
#include "runtime/strings.h"
#include "session_lock.h"
#include "status.h"
#include "visa/open_failure.h"
#include "zev_qx70.h"

#include <string>

using qx::runtime::Delay;
using zev::fold;
using zev::record;
using zev::recordParam;

namespace {

constexpr ViUInt32 kOpenTimeoutMs = 5000;
constexpr ViUInt32 kGpibTimeoutMs = 5000;
constexpr ViUInt32 kSerialTimeoutMs = 10000;
constexpr ViUInt32 kBufferSize = 4000;

struct AttributeSetting {
    ViAttr attribute;
    ViAttrState value;
};

// The serial line's settings, in the order they are applied; the baud rate goes second.
constexpr AttributeSetting serialSettings[] = {
    {VI_ATTR_ASRL_DATA_BITS, 8},
    {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_NONE},
    {VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE},
    {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_RTS_CTS},
};

constexpr AttributeSetting bufferModes[] = {
    {VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS},
    {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS},
};

struct LimitRead {
    ViAttr attribute;
    ViReal64 zev::SessionState::*target;
    ViInt32 position;
    ViConstString name;
};

const LimitRead limitReads[] = {
    {ZEV_QX70_ATTR_VOLTAGE_LIMIT, &zev::SessionState::voltageLimit, 3, "Voltage Limit"},
    {ZEV_QX70_ATTR_CURRENT_LIMIT, &zev::SessionState::currentLimit, 4, "Current Limit"},
    {ZEV_QX70_ATTR_FREQUENCY_LOW_LIMIT, &zev::SessionState::frequencyLowLimit, 4, "Frequency Low Limit"},
    {ZEV_QX70_ATTR_FREQUENCY_HIGH_LIMIT, &zev::SessionState::frequencyHighLimit, 4, "Frequency High Limit"},
};

ViStatus setIoAttribute(ViSession vi, ViSession io, ViAttr attribute, ViAttrState value)
{
    ViStatus status = viSetAttribute(io, attribute, value);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

ViStatus configureSerial(ViSession vi, ViSession io, ViInt32 baudRate)
{
    ViStatus status = setIoAttribute(vi, io, VI_ATTR_TMO_VALUE, kSerialTimeoutMs);
    if (status >= 0)
        status = setIoAttribute(vi, io, VI_ATTR_ASRL_BAUD, static_cast<ViUInt32>(baudRate));
    for (const AttributeSetting &setting : serialSettings)
        if (status >= 0)
            status = setIoAttribute(vi, io, setting.attribute, setting.value);
    return status;
}

ViStatus configureBuffers(ViSession vi, ViSession io)
{
    ViStatus status = viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, kBufferSize);
    if (status < 0)
        return record(vi, status);
    for (const AttributeSetting &setting : bufferModes) {
        status = setIoAttribute(vi, io, setting.attribute, setting.value);
        if (status < 0)
            return status;
    }
    return VI_SUCCESS;
}

ViStatus identify(ViSession vi, zev::SessionState &learnt)
{
    ViChar identification[512] = {};
    ViStatus status =
        Ivi_GetAttributeViString(vi, VI_NULL, ZEV_QX70_ATTR_ID_QUERY_RESPONSE, 0, sizeof identification, identification);
    if (status < 0)
        return status;
    learnt.modelNumber = zev::modelNumber(identification);
    zev::storeSessionState(vi, learnt);
    if (!zev::fromOurMaker(identification))
        return record(vi, VI_ERROR_FAIL_ID_QUERY);
    return VI_SUCCESS;
}

ViStatus readLimits(ViSession vi, zev::SessionState &learnt)
{
    for (const LimitRead &limit : limitReads) {
        ViReal64 value = 0.0;
        ViStatus status = Ivi_GetAttributeViReal64(vi, "1", limit.attribute, 0, &value);
        if (status < 0) {
            // The read callback has recorded the I/O failure; say which limit it was.
            Ivi_SetErrorInfo(vi, VI_TRUE, status, Ivi_ParamPositionError(limit.position), limit.name);
            return status;
        }
        learnt.*limit.target = value;
        zev::storeSessionState(vi, learnt);
    }
    return VI_SUCCESS;
}

// Steps of an open that talk to the instrument; `io` receives the I/O session once opened. What
// is learnt about the instrument is stored for the session as soon as it is known, since the
// later steps already depend on it (the link's framing, the model).
ViStatus openInstrument(ViConstString resourceName, ViBoolean idQuery, ViBoolean resetDevice, ViSession vi,
                        ViInt32 baudRate, ViSession &io)
{
    ViSession rm = VI_NULL;
    ViStatus status = Ivi_GetAttributeViSession(vi, VI_NULL, IVI_ATTR_VISA_RM_SESSION, 0, &rm);
    if (status < 0)
        return status;
    status = viOpen(rm, resourceName, VI_NULL, kOpenTimeoutMs, &io);
    if (status < 0) {
        io = VI_NULL;
        // The resource name hides the device (ASRL9::INSTR is /dev/ttyS8): the I/O layer names it.
        const std::string device = qx::visa::lastOpenFailure();
        Ivi_SetErrorInfo(vi, VI_FALSE, status, VI_SUCCESS, device.empty() ? VI_NULL : device.c_str());
        return status;
    }
    status = Ivi_SetAttributeViSession(vi, VI_NULL, IVI_ATTR_IO_SESSION, 0, io);
    if (status < 0)
        return status;

    zev::SessionState learnt;
    const bool serial = qx::runtime::startsWithNoCase(resourceName ? resourceName : "", "ASRL");
    learnt.serialInterface = serial;
    zev::storeSessionState(vi, learnt);
    status = serial ? configureSerial(vi, io, baudRate) : setIoAttribute(vi, io, VI_ATTR_TMO_VALUE, kGpibTimeoutMs);
    if (status < 0)
        return status;
    status = configureBuffers(vi, io);
    if (status < 0)
        return status;

    // Toggling to local and back makes the instrument show remote operation; failures here do no harm.
    ZEV_QX70_RemoteOnOff(vi, "1", 0);
    ZEV_QX70_RemoteOnOff(vi, "1", 1);

    status = fold(resetDevice ? ZEV_QX70_reset(vi) : ZEV_QX70_DefaultInstrSetup(vi));
    if (status < 0)
        return status;
    if (idQuery) {
        status = identify(vi, learnt);
        if (status < 0)
            return status;
    }
    return readLimits(vi, learnt);
}

// A session about to be disposed takes its error information with it; keep it for the caller
// on VI_NULL, with at least the failing code.
void keepErrorInfo(ViSession vi, ViStatus status)
{
    ViStatus primary = VI_SUCCESS;
    ViStatus secondary = VI_SUCCESS;
    ViChar elaboration[IVI_MAX_MESSAGE_BUF_SIZE] = {};
    Ivi_GetErrorInfo(vi, &primary, &secondary, elaboration);
    if (primary == VI_SUCCESS)
        Ivi_SetErrorInfo(VI_NULL, VI_FALSE, status, VI_SUCCESS, VI_NULL);
    else
        Ivi_SetErrorInfo(VI_NULL, VI_FALSE, primary, secondary, elaboration[0] ? elaboration : VI_NULL);
}

} // namespace

ViStatus ZEV_QX70_init(ViRsrc resourceName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *newVi,
                       ViInt32 baudRate)
{
    if (!newVi) {
        Ivi_SetErrorInfo(VI_NULL, VI_FALSE, IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER4,
                         "Null address for Instrument Handle");
        return IVI_ERROR_INVALID_PARAMETER;
    }
    return fold(ZEV_QX70_InitWithOptions(resourceName, idQuery, resetDevice, "", newVi, baudRate));
}

ViStatus ZEV_QX70_InitWithOptions(ViRsrc resourceName, ViBoolean idQuery, ViBoolean resetDevice,
                                  ViConstString optionString, ViSession *newVi, ViInt32 baudRate)
{
    if (!newVi) {
        Ivi_SetErrorInfo(VI_NULL, VI_FALSE, IVI_ERROR_INVALID_PARAMETER, VI_ERROR_PARAMETER5,
                         "Null address for Instrument Handle");
        return IVI_ERROR_INVALID_PARAMETER;
    }
    *newVi = VI_NULL;
    ViSession vi = VI_NULL;
    ViStatus status = fold(Ivi_SpecificDriverNew("ZEV_QX70", optionString, &vi));
    if (status >= 0)
        status = fold(ZEV_QX70_IviInit(resourceName, idQuery, resetDevice, vi, baudRate));
    if (status < 0) {
        if (vi != VI_NULL)
            keepErrorInfo(vi, status);
        Ivi_Dispose(vi);
        zev::forgetSessionState(vi);
        return status;
    }
    *newVi = vi;
    return VI_SUCCESS;
}

ViStatus ZEV_QX70_IviInit(ViRsrc resourceName, ViBoolean idQuery, ViBoolean resetDevice, ViSession vi,
                          ViInt32 baudRate)
{
    ViStatus status = fold(Ivi_BuildChannelTable(vi, "1", VI_FALSE, VI_NULL));
    if (status >= 0)
        status = fold(ZEV_QX70_InitAttributes(vi));
    if (status < 0)
        return status;

    const bool simulated = Ivi_Simulating(vi);
    ViSession io = VI_NULL;
    if (!simulated)
        status = fold(openInstrument(resourceName, idQuery, resetDevice, vi, baudRate, io));
    if (status >= 0)
        status = fold(ZEV_QX70_CheckStatus(vi));
    if (status < 0 && !simulated && io != VI_NULL) {
        viClose(io);
        Ivi_SetAttributeViSession(vi, VI_NULL, IVI_ATTR_IO_SESSION, 0, VI_NULL);
    }
    return status;
}

ViStatus ZEV_QX70_DefaultInstrSetup(ViSession vi)
{
    ViStatus status = Ivi_InvalidateAllAttributes(vi);
    if (status < 0)
        return status;
    if (!Ivi_Simulating(vi)) {
        status = zev::sendWithCheckDue(vi, Ivi_IOSession(vi), zev::scpi(zev::Scpi::Clear));
        if (status < 0)
            return status;
    }
    Delay(zev::kSettle);
    return VI_SUCCESS;
}

// The session is disposed while close still holds its lock: calls already waiting for the lock
// then fail at once with an invalid handle instead of running on a closed I/O session, and calls
// in flight have finished, since close had to wait for the lock.
ViStatus ZEV_QX70_close(ViSession vi)
{
    zev::SessionLock lock(vi);
    ViStatus status = fold(lock.status());
    if (status >= 0 && !Ivi_Simulating(vi)) {
        status = zev::sendWithCheckDue(vi, Ivi_IOSession(vi), zev::scpi(zev::Scpi::Local));
    }
    if (status >= 0) {
        Delay(zev::kSettle);
        status = fold(ZEV_QX70_IviClose(vi));
    }
    if (status < 0 && vi != VI_NULL && status != IVI_ERROR_INVALID_SESSION_HANDLE)
        keepErrorInfo(vi, status);
    Ivi_Dispose(vi);
    zev::forgetSessionState(vi);
    return status;
}

ViStatus ZEV_QX70_IviClose(ViSession vi)
{
    ViSession io = VI_NULL;
    ViStatus status = Ivi_GetAttributeViSession(vi, VI_NULL, IVI_ATTR_IO_SESSION, 0, &io);
    Ivi_SetAttributeViSession(vi, VI_NULL, IVI_ATTR_IO_SESSION, 0, VI_NULL);
    if (io != VI_NULL)
        viClose(io);
    return fold(status);
}
