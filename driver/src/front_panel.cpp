// Remote or local operation, display mode, setting registers, initial configuration and identity.
#include "errors.h"
#include "exchange.h"
#include "identification.h"
#include "runtime/clock.h"
#include "session_lock.h"
#include "status.h"
#include "zev_qx70.h"

#include <cstring>
#include <optional>
#include <string_view>

using qx::runtime::Delay;
using zev::fold;
using zev::nullAddress;
using zev::recordParam;
using zev::Scpi;

namespace {

// The register that LoadInitialConfiguration fills and makes the power-on state.
constexpr ViInt32 kInitialConfigurationRegister = 7;
// Room the instrument gives a serial number; longer text is refused rather than cut.
constexpr size_t kMaxSerialNumberLength = 64;

// Sends a register command and paces the instrument; the status check follows, and asks: the
// instrument refuses a register it does not have, and that refusal must not pass for success.
ViStatus registerCommand(ViSession vi, Scpi command, ViInt32 registerNumber)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!Ivi_Simulating(vi)) {
            ViStatus status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
            if (status >= 0)
                status = zev::send(vi, Ivi_IOSession(vi), qx::visa::RuntimeFormat{zev::scpi(command)}, registerNumber);
            if (status < 0)
                return status;
        }
        Delay(zev::kSettle);
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

ViStatus readIdentity(ViSession vi, zev::Identity &identity)
{
    return zev::readIdentity(vi, Ivi_IOSession(vi), 0.0, identity);
}

// A serial number goes out between single quotes: a quote inside is doubled, and text that could
// end the command early or not fit is refused.
ViStatus quoteSerialNumber(ViSession vi, ViConstString serialNumber, char (&quoted)[2 * kMaxSerialNumberLength + 1])
{
    const size_t length = std::strlen(serialNumber);
    if (length > kMaxSerialNumberLength)
        return recordParam(vi, IVI_ERROR_INVALID_VALUE, 3, "Serial Number longer than 64 characters");
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(serialNumber[i]);
        if (c < 0x20 || c == 0x7F)
            return recordParam(vi, IVI_ERROR_INVALID_VALUE, 3, "Serial Number holds a control character");
        if (c == '\'')
            quoted[out++] = '\'';
        quoted[out++] = static_cast<char>(c);
    }
    quoted[out] = '\0';
    return VI_SUCCESS;
}

} // namespace

ViStatus ZEV_QX70_RemoteOnOff(ViSession vi, ViConstString channelName, ViInt32 state)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        ViStatus status = Ivi_SetAttributeViInt32(vi, channelName, ZEV_QX70_ATTR_REMOTE_ON_OFF, 0, state);
        if (status < 0)
            return recordParam(vi, status, 3, "Remote On or Off");
        Delay(zev::kSettle);
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

ViStatus ZEV_QX70_DisplayMode(ViSession vi, ViConstString channelName, ViInt32 mode)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (mode > ZEV_QX70_VAL_DISPLAY_MODE_MAX)
            return ZEV_QX70_ERROR_NOT_SUPPORTED;
        const ViStatus status = Ivi_SetAttributeViInt32(vi, channelName, ZEV_QX70_ATTR_DISPLAY_MODE, 0, mode);
        if (status < 0)
            return recordParam(vi, status, 3, "Display On or Off");
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

ViStatus ZEV_QX70_DisplayModeQuery(ViSession vi, ViConstString, ViInt32 *mode)
{
    return zev::queryStateThenClear(vi, Scpi::DisplayModeQuery, mode, "Null address for Display Mode");
}

ViStatus ZEV_QX70_SaveRegister(ViSession vi, ViConstString, ViInt32 registerNumber)
{
    return registerCommand(vi, Scpi::SaveRegister, registerNumber);
}

ViStatus ZEV_QX70_RecallRegister(ViSession vi, ViConstString, ViInt32 registerNumber)
{
    return registerCommand(vi, Scpi::RecallRegister, registerNumber);
}

ViStatus ZEV_QX70_PowerOnRegister(ViSession vi, ViConstString, ViInt32 registerNumber)
{
    return registerCommand(vi, Scpi::SetPowerOnRegister, registerNumber);
}

ViStatus ZEV_QX70_PowerOnQuery(ViSession vi, ViConstString, ViInt32 *registerNumber)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!registerNumber)
            return nullAddress(vi, 3, "Null address for Register");
        if (!Ivi_Simulating(vi)) {
            ViInt32 answer = 0;
            const ViStatus status = zev::ask(vi, Ivi_IOSession(vi), Scpi::PowerOnRegisterQuery, "%ld", &answer);
            if (status < 0)
                return status;
            *registerNumber = answer;
        }
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

ViStatus ZEV_QX70_LoadInitialConfiguration(ViSession vi, ViReal64 voltageRange, ViReal64 frequency, ViReal64 voltage,
                                           ViInt32 outputState)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!Ivi_Simulating(vi)) {
            ViStatus status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
            if (status < 0)
                return status;
            // The configuration becomes the power-on state only when every setting took: the first
            // refused or failing step ends the sequence, and nothing is saved.
            status = ZEV_QX70_GenerateACVoltageRange(vi, "1", voltageRange);
            if (status >= 0)
                status = ZEV_QX70_GenerateACVoltage(vi, "1", voltage);
            if (status >= 0)
                status = ZEV_QX70_GenerateACFrequency(vi, "1", frequency);
            if (status >= 0)
                status = outputState == 1 ? ZEV_QX70_ConnectOutput(vi, "1") : ZEV_QX70_DisconnectOutput(vi, "1");
            if (status >= 0)
                status = ZEV_QX70_SaveRegister(vi, "1", kInitialConfigurationRegister);
            if (status >= 0)
                status = ZEV_QX70_PowerOnRegister(vi, "1", kInitialConfigurationRegister);
            if (status < 0)
                return status;
        }
        return zev::checkStatusThenPause(vi, zev::kStatusPause);
    });
}

ViStatus ZEV_QX70_LoadSerialNumber(ViSession vi, ViConstString, ViConstString serialNumber)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!serialNumber)
            return nullAddress(vi, 3, "Null address for Serial Number");
        char quoted[2 * kMaxSerialNumberLength + 1];
        ViStatus status = quoteSerialNumber(vi, serialNumber, quoted);
        if (status < 0)
            return status;
        if (!Ivi_Simulating(vi)) {
            // The text is an argument, never part of the format: a percent sign in it goes out as is.
            status = zev::sendWithCheckDue(vi, Ivi_IOSession(vi), zev::scpi(Scpi::SetSerialNumber),
                                           static_cast<const char *>(quoted));
            if (status < 0)
                return status;
        }
        Delay(zev::kSettle);
        return zev::checkStatusThenClear(vi, zev::kStatusPause);
    });
}

ViStatus ZEV_QX70_Serial_ID(ViSession vi, ViInt32 *number)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!number)
            return nullAddress(vi, 2, "Null address for Serial ID");
        if (!Ivi_Simulating(vi)) {
            zev::Identity identity;
            const ViStatus status = readIdentity(vi, identity);
            if (status < 0)
                return status;
            // No number there is no error: the output just keeps its value.
            if (const std::optional<ViInt32> id = zev::serialId(identity.text()))
                *number = *id;
        }
        return zev::checkStatusThenPause(vi, zev::kSettle);
    });
}

namespace {

ViStatus readModelNumber(ViSession vi, ViChar model[])
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!model)
            return nullAddress(vi, 2, "Null address for Model");
        if (!Ivi_Simulating(vi)) {
            zev::Identity identity;
            const ViStatus status = readIdentity(vi, identity);
            if (status < 0)
                return status;
            const std::optional<std::string_view> field = zev::modelField(identity.text());
            if (!field)
                return zev::record(vi, VI_ERROR_FAIL_ID_QUERY);
            // At most 511 characters: the caller's 512 always hold the field and its NUL.
            model[field->copy(model, field->size())] = '\0';
        }
        return zev::checkStatusThenPause(vi, zev::kSettle);
    });
}

ViStatus readSerialNumber(ViSession vi, ViChar serialNumber[])
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!serialNumber)
            return nullAddress(vi, 2, "Null address for Serial Number");
        if (!Ivi_Simulating(vi)) {
            const ViSession io = Ivi_IOSession(vi);
            ViStatus status = zev::send(vi, io, zev::scpi(Scpi::IdentityQuery));
            if (status < 0)
                return status;
            zev::serialDelay(vi, zev::kStatusPause);
            ViChar field[257] = {};
            status = zev::receiveAsIs(vi, io, "%*[^,],%*[^,],%256[^,],%*[^\n]\n", field);
            if (status < 0)
                return status;
            std::memcpy(serialNumber, field, std::strlen(field) + 1);
        }
        return zev::checkStatusThenPause(vi, zev::kSettle);
    });
}

} // namespace

ViStatus ZEV_QX70_Model_Number(ViSession vi, ViChar model[])
{
    return zev::emptyTextsOnError(readModelNumber(vi, model), {model});
}

ViStatus ZEV_QX70_Serial_Number(ViSession vi, ViChar serialNumber[])
{
    return zev::emptyTextsOnError(readSerialNumber(vi, serialNumber), {serialNumber});
}
