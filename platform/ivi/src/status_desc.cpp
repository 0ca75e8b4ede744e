// Status texts: the driver's table, the engine's own codes, VISA's texts, or a generic text.
#include "session_registry.h"

#include "runtime/code_text.h"
#include "visa/visa.h"

#include <cstdio>

using namespace qx::ivi;

namespace {

using qx::runtime::CodeText;

const CodeText engineTexts[] = {
    {VI_SUCCESS, "Success."},
    {IVI_ERROR_CANNOT_RECOVER, "Unrecoverable failure."},
    {IVI_ERROR_INSTRUMENT_STATUS, "Instrument error detected.  Use ErrorQuery to determine the error(s)."},
    {IVI_ERROR_CANNOT_OPEN_FILE, "Cannot open file."},
    {IVI_ERROR_READING_FILE, "Error reading from file."},
    {IVI_ERROR_WRITING_FILE, "Error writing to file."},
    {IVI_ERROR_INVALID_PATHNAME, "Invalid path name."},
    {IVI_ERROR_INVALID_ATTRIBUTE, "Attribute ID not recognized."},
    {IVI_ERROR_ATTR_NOT_WRITABLE, "Attribute is read-only."},
    {IVI_ERROR_ATTR_NOT_READABLE, "Attribute is write-only."},
    {IVI_ERROR_INVALID_PARAMETER, "Invalid parameter."},
    {IVI_ERROR_INVALID_VALUE, "Invalid value for parameter or property."},
    {IVI_ERROR_FUNCTION_NOT_SUPPORTED, "Function or method not supported."},
    {IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED, "Attribute or property not supported."},
    {IVI_ERROR_VALUE_NOT_SUPPORTED, "The value is not supported."},
    {IVI_ERROR_INVALID_TYPE, "The type is not valid."},
    {IVI_ERROR_TYPES_DO_NOT_MATCH, "The attribute and function parameter types do not match."},
    {IVI_ERROR_NOT_INITIALIZED, "A connection to the instrument has not been established."},
    {IVI_ERROR_UNKNOWN_CHANNEL_NAME, "Unknown channel name."},
    {IVI_ERROR_TOO_MANY_OPEN_FILES, "Too many files opened."},
    {IVI_ERROR_CHANNEL_NAME_REQUIRED, "A channel name is required."},
    {IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED, "A channel name is not allowed for this attribute."},
    {IVI_ERROR_MISSING_OPTION_NAME, "The option string is missing an option name."},
    {IVI_ERROR_MISSING_OPTION_VALUE, "The option string is missing an option value."},
    {IVI_ERROR_BAD_OPTION_NAME, "The option string contains an unknown option name."},
    {IVI_ERROR_BAD_OPTION_VALUE, "The option string contains an invalid option value."},
    {IVI_ERROR_OUT_OF_MEMORY, "The necessary memory could not be allocated."},
    {IVI_ERROR_OPERATION_PENDING, "Operation in progress."},
    {IVI_ERROR_NULL_POINTER, "NULL pointer passed for parameter or property."},
    {IVI_ERROR_UNEXPECTED_RESPONSE, "Unexpected response from the instrument."},
    {IVI_ERROR_FILE_NOT_FOUND, "File not found."},
    {IVI_ERROR_INVALID_FILE_FORMAT, "The file format is not valid."},
    {IVI_ERROR_STATUS_NOT_AVAILABLE, "The instrument status is not available."},
    {IVI_ERROR_ID_QUERY_FAILED, "Instrument ID query failed."},
    {IVI_ERROR_RESET_FAILED, "Instrument reset failed."},
    {IVI_ERROR_RESOURCE_UNKNOWN, "Insufficient location information or resource not present in the system."},
    {IVI_ERROR_ALREADY_INITIALIZED, "The driver is already initialized."},
    {IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE, "The simulation state cannot be changed."},
    {IVI_ERROR_INVALID_SESSION_HANDLE, "The session handle is not valid."},
    {IVI_ERROR_ATTRIBUTE_EXISTS, "An attribute with this ID already exists."},
    {IVI_ERROR_SESSION_NOT_LOCKED, "The calling thread does not hold the session lock."},
    {IVI_ERROR_NOT_IN_READ_CALLBACK, "Only a string read callback of the attribute may set its value."},
    // The engine hands these out (Ivi_ParamPositionError); the driver reports the last two.
    {VI_ERROR_PARAMETER1, "Parameter 1 out of range, or error trying to set it."},
    {VI_ERROR_PARAMETER2, "Parameter 2 out of range, or error trying to set it."},
    {VI_ERROR_PARAMETER3, "Parameter 3 out of range, or error trying to set it."},
    {VI_ERROR_PARAMETER4, "Parameter 4 out of range, or error trying to set it."},
    {VI_ERROR_PARAMETER5, "Parameter 5 out of range, or error trying to set it."},
    {VI_ERROR_PARAMETER6, "Parameter 6 out of range, or error trying to set it."},
    {VI_ERROR_PARAMETER7, "Parameter 7 out of range, or error trying to set it."},
    {VI_ERROR_PARAMETER8, "Parameter 8 out of range, or error trying to set it."},
    {VI_ERROR_FAIL_ID_QUERY, "Instrument identification query failed."},
    {VI_ERROR_INV_RESPONSE, "Error interpreting instrument response."},
};

bool isVisaCode(ViStatus code)
{
    const ViUInt32 base = static_cast<ViUInt32>(code) & 0xFFFF0000u;
    return base == 0xBFFF0000u || base == 0x3FFF0000u;
}

const char *driverText(ViStatus code, IviStringValueTable table)
{
    if (table == nullptr)
        return nullptr;
    for (const IviStringValueTableEntry *entry = table; entry->string != nullptr; ++entry)
        if (entry->value == code)
            return entry->string;
    return nullptr;
}

const char *engineText(ViStatus code) { return qx::runtime::textOf(engineTexts, code); }

bool visaText(ViSession rm, ViStatus code, ViChar message[])
{
    if (!isVisaCode(code))
        return false;
    ViChar text[IVI_MAX_MESSAGE_BUF_SIZE] = {};
    // Anything but success (an unknown-status warning included) leaves the generic text to us.
    if (viStatusDesc(rm, code, text) != VI_SUCCESS || text[0] == '\0')
        return false;
    text[IVI_MAX_MESSAGE_LEN] = '\0';
    copyMessage(text, message);
    return true;
}

void describe(ViSession rm, ViStatus code, IviStringValueTable driverTable, ViChar message[])
{
    if (const char *text = driverText(code, driverTable))
        return copyMessage(text, message);
    if (const char *text = engineText(code))
        return copyMessage(text, message);
    if (visaText(rm, code, message))
        return;
    std::snprintf(message, IVI_MAX_MESSAGE_BUF_SIZE, "Unknown status code 0x%08X.", static_cast<unsigned>(code));
}

} // namespace

ViStatus Ivi_GetSpecificDriverStatusDesc(ViSession vi, ViStatus statusCode, ViChar message[IVI_MAX_MESSAGE_BUF_SIZE],
                                         IviStringValueTable driverTable)
{
    return guarded([&] {
        if (message == nullptr)
            return IVI_ERROR_NULL_POINTER;
        ViSession rm = VI_NULL;
        ViStatus status = VI_SUCCESS;
        if (vi != VI_NULL)
            status = withSession(vi, [&](Session &session) {
                rm = session.sessionValue(IVI_ATTR_VISA_RM_SESSION);
                return VI_SUCCESS;
            });
        // The text is filled in even for a stale handle: the caller is usually reporting an error.
        describe(rm, statusCode, driverTable, message);
        return status;
    });
}
