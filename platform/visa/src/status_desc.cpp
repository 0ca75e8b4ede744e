// viStatusDesc: the standard texts of the completion codes this system uses.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/code_text.h"
#include "visa/visa.h"

namespace {

using qx::runtime::CodeText;

constexpr CodeText statusTexts[] = {
    {VI_SUCCESS, "Operation completed successfully."},
    {VI_SUCCESS_EVENT_EN, "Specified event is already enabled for at least one of the specified mechanisms."},
    {VI_SUCCESS_TERM_CHAR, "The specified termination character was read."},
    {VI_SUCCESS_MAX_CNT, "The number of bytes transferred is equal to the requested input count. More data may be available."},
    {VI_SUCCESS_DEV_NPRESENT, "Session opened successfully, but the device at the specified address is not responding."},
    {VI_WARN_CONFIG_NLOADED, "The specified configuration either does not exist or could not be loaded. VISA-specified defaults will be used."},
    {VI_WARN_NULL_OBJECT, "The specified object reference is uninitialized."},
    {VI_WARN_NSUP_ATTR_STATE, "Although the specified state of the attribute is valid, it is not supported by this implementation."},
    {VI_WARN_UNKNOWN_STATUS, "The status code passed to the operation could not be interpreted."},
    {VI_WARN_NSUP_BUF, "The specified I/O buffer type is not supported."},
    {VI_ERROR_SYSTEM_ERROR, "Unknown system error (miscellaneous error)."},
    {VI_ERROR_INV_OBJECT, "The given session or object reference is invalid."},
    {VI_ERROR_RSRC_LOCKED, "Specified type of lock cannot be obtained, or specified operation cannot be performed, because the resource is locked."},
    {VI_ERROR_INV_LOCK_TYPE, "The specified type of lock is not supported by this resource."},
    {VI_ERROR_INV_EXPR, "Invalid expression specified for search."},
    {VI_ERROR_RSRC_NFOUND, "Insufficient location information or the requested device or resource is not present in the system."},
    {VI_ERROR_INV_RSRC_NAME, "Invalid resource reference specified. Parsing error."},
    {VI_ERROR_INV_ACC_MODE, "Invalid access mode."},
    {VI_ERROR_TMO, "Timeout expired before operation completed."},
    {VI_ERROR_SESN_NLOCKED, "The current session did not have any lock on the resource."},
    {VI_ERROR_CLOSING_FAILED, "The VISA driver failed to properly close the session or object reference. This might be due to an error freeing internal or OS resources, a failed network connection, or a lower-level driver or OS error."},
    {VI_ERROR_NSUP_ATTR, "The specified attribute is not defined or supported by the referenced object."},
    {VI_ERROR_NSUP_ATTR_STATE, "The specified state of the attribute is not valid, or is not supported as defined by the object."},
    {VI_ERROR_ATTR_READONLY, "The specified attribute is read-only."},
    {VI_ERROR_ABORT, "User abort occurred during transfer."},
    {VI_ERROR_ALLOC, "Insufficient system resources to perform necessary memory allocation."},
    {VI_ERROR_INV_MASK, "Invalid buffer mask specified."},
    {VI_ERROR_IO, "Could not perform operation because of I/O error."},
    {VI_ERROR_INV_FMT, "A format specifier in the format string is invalid."},
    {VI_ERROR_NSUP_FMT, "A format specifier in the format string is not supported."},
    {VI_ERROR_NLISTENERS, "No listeners condition is detected (both NRFD and NDAC are deasserted)."},
    {VI_ERROR_NSUP_OPER, "The given session or object reference does not support this operation."},
    {VI_ERROR_ASRL_PARITY, "A parity error occurred during transfer."},
    {VI_ERROR_ASRL_FRAMING, "A framing error occurred during transfer."},
    {VI_ERROR_ASRL_OVERRUN, "An overrun error occurred during transfer. A character was not read from the hardware before the next character arrived."},
    {VI_ERROR_USER_BUF, "A specified user buffer is not valid or cannot be accessed for the required size."},
    {VI_ERROR_RSRC_BUSY, "The resource is valid, but VISA cannot currently access it."},
    {VI_ERROR_INV_PARAMETER, "The value of some parameter (which parameter is not known) is invalid."},
    {VI_ERROR_INV_LENGTH, "Invalid length specified."},
    {VI_ERROR_INV_MODE, "Invalid mode specified."},
    {VI_ERROR_LIBRARY_NFOUND, "A code library required by VISA could not be located or loaded."},
    {VI_ERROR_FILE_ACCESS, "An error occurred while trying to open the specified file. Possible reasons include an invalid path or lack of access rights."},
    {VI_ERROR_FILE_IO, "An error occurred while performing I/O on the specified file."},
    {VI_ERROR_INTF_NUM_NCONFIG, "The interface type is valid but the specified interface number is not configured."},
    {VI_ERROR_CONN_LOST, "The connection for the given session has been lost."},
    {VI_ERROR_NPERMISSION, "Access to the resource or remote machine is denied. This is due to lack of sufficient privileges for the current user or machine"},
    {VI_ERROR_PARAMETER1, "ERROR: Parameter 1 out of range"},
    {VI_ERROR_PARAMETER2, "ERROR: Parameter 2 out of range"},
    {VI_ERROR_PARAMETER3, "ERROR: Parameter 3 out of range"},
    {VI_ERROR_PARAMETER4, "ERROR: Parameter 4 out of range"},
    {VI_ERROR_PARAMETER5, "ERROR: Parameter 5 out of range"},
    {VI_ERROR_PARAMETER6, "ERROR: Parameter 6 out of range"},
    {VI_ERROR_PARAMETER7, "ERROR: Parameter 7 out of range"},
    {VI_ERROR_PARAMETER8, "ERROR: Parameter 8 out of range"},
    {VI_ERROR_FAIL_ID_QUERY, "ERROR: Identification query failed"},
    {VI_ERROR_INV_RESPONSE, "ERROR: Interpreting instrument response"},
};

} // namespace

// Any session handle is accepted, VI_NULL included: a description needs no session.
ViStatus viStatusDesc(ViSession, ViStatus status, ViChar desc[])
{
    if (!desc)
        return VI_ERROR_USER_BUF;
    const char *text = qx::runtime::textOf(statusTexts, status);
    if (!text) {
        std::snprintf(desc, 256, "Unknown status value 0x%08X", static_cast<unsigned>(status));
        return VI_WARN_UNKNOWN_STATUS;
    }
    const std::size_t n = std::min<std::size_t>(std::strlen(text), 255);
    std::memcpy(desc, text, n);
    desc[n] = 0;
    return VI_SUCCESS;
}
