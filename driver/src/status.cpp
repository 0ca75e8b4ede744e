#include "status.h"

#include "errors.h"
#include "exchange.h"
#include "runtime/clock.h"
#include "session_lock.h"
#include "zev_qx70.h"

#include <charconv>
#include <cstring>
#include <optional>

using qx::runtime::Delay;
using zev::fold;
using zev::nullAddress;
using zev::record;
using zev::Scpi;
using zev::SessionLock;

const IviStringValueTableEntry statusDescriptions[] = {
    {ZEV_QX70_WARN_VOLTAGE_DECREASED, "Voltage decreased to satisfy current requirements."},
    {ZEV_QX70_WARN_CURRENT_DECREASED, "Current decreased to satisfy voltage requirements."},
    {ZEV_QX70_ERROR_OVER_VOLTAGE, "Over-voltage detected."},
    {ZEV_QX70_ERROR_OVER_CURRENT, "Over-current detected."},
    {IVI_CLASS_ERROR_BASE + 0x03, "Over-temperature detected."},
    {IVI_CLASS_ERROR_BASE + 0x0B, "Invalid waveform."},
    {IVI_CLASS_ERROR_BASE + 0x0C, "Invalid waveform length."},
    {IVI_CLASS_ERROR_BASE + 0x0D, "No waveforms available."},
    {IVI_CLASS_ERROR_BASE + 0x0E, "Waveform sample not in range [-1,+1]."},
    {IVI_CLASS_ERROR_BASE + 0x0F, "Waveform in use."},
    {IVI_CLASS_ERROR_BASE + 0x10, "Waveform exceeds power supply capabilities."},
    {IVI_CLASS_ERROR_BASE + 0x15, "Invalid transient."},
    {IVI_CLASS_ERROR_BASE + 0x16, "Invalid transient length."},
    {IVI_CLASS_ERROR_BASE + 0x17, "No transients available."},
    {IVI_CLASS_ERROR_BASE + 0x18, "Transient in use."},
    {IVI_CLASS_ERROR_BASE + 0x19, "Transient exceeds power supply capabilities."},
    {IVI_CLASS_ERROR_BASE + 0x1A, "Max Time exceeded before the operation completed."},
    {VI_SUCCESS, VI_NULL},
};

namespace {

// Messages and revisions fit the 256-byte buffers that IVI callers pass: 255 characters and the NUL.
constexpr size_t kTextSize = 256;

void copyText(ViChar *destination, const ViChar *source)
{
    const size_t length = strnlen(source, kTextSize - 1);
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

// The decimal integer an answer starts with (white space and a sign allowed before it).
std::optional<long> leadingNumber(const ViChar *answer)
{
    const char *start = answer;
    while (*start == ' ' || *start == '\t')
        ++start;
    if (*start == '+')
        ++start;
    long value = 0;
    const char *end = start + std::strlen(start);
    const auto [next, error] = std::from_chars(start, end, value);
    if (error != std::errc{} || next == start)
        return std::nullopt;
    return value;
}

} // namespace

ViStatus ZEV_QX70_CheckStatusCallback(ViSession vi, ViSession io)
{
    ViStatus status = zev::sendAndWait(vi, io, zev::kStatusPause, zev::scpi(Scpi::ErrorQuery));
    if (status < 0)
        return status;
    // The whole answer ("-222,\"Data out of range\""): its number decides, and the instrument's
    // own words go into the error information, since the query took the error out of the queue.
    ViChar answer[kTextSize] = {};
    status = zev::receive(vi, io, "%255[^\n]", answer);
    if (status < 0)
        return status;
    const std::optional<long> errorNumber = leadingNumber(answer);
    if (!errorNumber)
        return record(vi, VI_ERROR_INV_RESPONSE);
    Delay(zev::kStatusPause);
    // Any error number but 0 is an instrument error: negative SCPI errors and positive device errors.
    if (*errorNumber != 0) {
        Ivi_SetErrorInfo(vi, VI_FALSE, IVI_ERROR_INSTRUMENT_STATUS, VI_SUCCESS, answer);
        return IVI_ERROR_INSTRUMENT_STATUS;
    }
    return VI_SUCCESS;
}

ViStatus ZEV_QX70_CheckStatus(ViSession vi)
{
    if (!Ivi_QueryInstrStatus(vi) || !Ivi_NeedToCheckStatus(vi) || Ivi_Simulating(vi))
        return VI_SUCCESS;
    ViStatus status = ZEV_QX70_CheckStatusCallback(vi, Ivi_IOSession(vi));
    if (status < 0)
        return status;
    return fold(Ivi_SetNeedToCheckStatus(vi, VI_FALSE));
}

ViStatus zev::checkStatusThenPause(ViSession vi, double pause)
{
    const ViStatus status = ZEV_QX70_CheckStatus(vi);
    if (status < 0)
        return status;
    Delay(pause);
    return VI_SUCCESS;
}

ViStatus zev::checkStatusThenClear(ViSession vi, double pause)
{
    // The commands went out past the engine (some after checks of their own): a check is due.
    ViStatus status = Ivi_Simulating(vi) ? VI_SUCCESS : Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
    if (status >= 0)
        status = ZEV_QX70_CheckStatus(vi);
    if (status < 0) {
        // The error information holds the instrument's error; the cache goes in any case, since
        // the function changed the instrument behind it.
        Ivi_InvalidateAllAttributes(vi);
        return status;
    }
    const ViBoolean due = Ivi_NeedToCheckStatus(vi);
    status = ZEV_QX70_DefaultInstrSetup(vi);
    if (status >= 0)
        status = fold(Ivi_SetNeedToCheckStatus(vi, due));
    if (status < 0)
        return status;
    Delay(pause);
    return VI_SUCCESS;
}

ViStatus ZEV_QX70_reset(ViSession vi)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!Ivi_Simulating(vi)) {
            ViSession io = Ivi_IOSession(vi);
            ViStatus status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
            if (status < 0)
                return status;
            for (Scpi command : {Scpi::Remote, Scpi::Clear, Scpi::Remote, Scpi::Reset}) {
                status = zev::sendSettled(vi, io, command);
                if (status < 0)
                    return status;
            }
        }
        return zev::checkStatusThenClear(vi, zev::kSettle);
    });
}

namespace {

ViStatus queryError(ViSession vi, ViInt32 *errorCode, ViChar errorMessage[])
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!errorCode)
            return nullAddress(vi, 2, "Null address for Error Code");
        if (!errorMessage)
            return nullAddress(vi, 3, "Null address for Error Message");
        if (Ivi_Simulating(vi)) {
            if (Ivi_UseSpecificSimulation(vi)) {
                *errorCode = 0;
                copyText(errorMessage, "No error.");
            }
            return VI_SUCCESS;
        }
        ViSession io = Ivi_IOSession(vi);
        ViStatus status = zev::sendWithCheckDue(vi, io, zev::scpi(Scpi::RootedErrorQuery));
        if (status < 0)
            return status;
        ViInt32 code = 0;
        ViChar message[kTextSize] = {};
        status = zev::receive(vi, io, "%ld,\"%255[^\"]", &code, message);
        if (status < 0)
            return status;
        *errorCode = code;
        copyText(errorMessage, message);
        return VI_SUCCESS;
    });
}

} // namespace

ViStatus ZEV_QX70_error_query(ViSession vi, ViInt32 *errorCode, ViChar errorMessage[])
{
    return zev::emptyTextsOnError(queryError(vi, errorCode, errorMessage), {errorMessage});
}

// The message holds a text on every return: the caller is usually reporting an error already.
ViStatus ZEV_QX70_error_message(ViSession vi, ViStatus statusCode, ViChar message[])
{
    std::optional<SessionLock> lock;
    if (vi != VI_NULL)
        lock.emplace(vi);
    if (!message)
        return nullAddress(vi, 3, "Null address for Error Message");
    ViStatus status = Ivi_GetSpecificDriverStatusDesc(vi, statusCode, message, statusDescriptions);
    if (status < 0)
        return status; // the engine gives the text also for a handle that is not open
    if (lock && lock->status() == IVI_ERROR_INVALID_SESSION_HANDLE)
        return lock->status();
    return VI_SUCCESS;
}

ViStatus ZEV_QX70_StatusRegister(ViSession vi, ViInt32 *statusByte)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!statusByte)
            return nullAddress(vi, 2, "Null address for Error Code");
        if (Ivi_Simulating(vi)) {
            if (Ivi_UseSpecificSimulation(vi))
                *statusByte = 0;
            return VI_SUCCESS;
        }
        ViSession io = Ivi_IOSession(vi);
        ViStatus status = zev::sendWithCheckDue(vi, io, zev::scpi(Scpi::StatusByteQuery));
        if (status < 0)
            return status;
        ViInt32 value = 0;
        status = zev::receiveAsIs(vi, io, "%ld", &value);
        if (status < 0)
            return status;
        *statusByte = value;
        return VI_SUCCESS;
    });
}

namespace {

ViStatus queryRevisions(ViSession vi, ViChar driverRev[], ViChar instrRev[])
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!driverRev)
            return nullAddress(vi, 2, "Null address for Driver Revision");
        if (!instrRev)
            return nullAddress(vi, 3, "Null address for Instrument Revision");
        ViStatus status = Ivi_GetAttributeViString(vi, VI_NULL, IVI_ATTR_SPECIFIC_DRIVER_REVISION, 0,
                                                   IVI_MAX_MESSAGE_BUF_SIZE, driverRev);
        if (status < 0)
            return status;
        if (!Ivi_Simulating(vi)) {
            ViSession io = Ivi_IOSession(vi);
            status = zev::sendWithCheckDue(vi, io, zev::scpi(Scpi::IdentityQuery));
            if (status < 0)
                return status;
            ViChar firmware[kTextSize] = {};
            status = zev::receive(vi, io, "%*[^,],%*[^,],%*[^,],%255[^\n]", firmware);
            if (status < 0)
                return status;
            copyText(instrRev, firmware);
        } else if (Ivi_UseSpecificSimulation(vi)) {
            copyText(instrRev, "No revision information available while simulating.");
        }
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

} // namespace

ViStatus ZEV_QX70_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[])
{
    return zev::emptyTextsOnError(queryRevisions(vi, driverRev, instrRev), {driverRev, instrRev});
}
