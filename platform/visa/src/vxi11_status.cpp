#include "visa/vxi11_status.h"

#include <algorithm>

#include "vxi11/instrument.h"

namespace qx::visa {
namespace {

namespace e = vxi11::error;

// Where two errors share a status (or two statuses an error), the first is the one read back.
constexpr DeviceErrorStatus table[] = {
    {e::kNone, VI_SUCCESS, true},
    {e::kParameter, VI_ERROR_INV_PARAMETER, true},
    {e::kSyntax, VI_ERROR_INV_PARAMETER, true},
    {e::kNotSupported, VI_ERROR_NSUP_OPER, true},
    {e::kNotSupported, VI_ERROR_INV_MODE, true},
    {e::kLocked, VI_ERROR_RSRC_LOCKED, true},
    {e::kIoTimeout, VI_ERROR_TMO, true},
    {e::kIoError, VI_ERROR_IO, true},
    {e::kAbort, VI_ERROR_ABORT, true},
    {e::kNotAccessible, VI_ERROR_RSRC_NFOUND, false},
    {e::kInvalidAddress, VI_ERROR_INV_RSRC_NAME, false},
    {e::kInvalidLink, VI_ERROR_CONN_LOST, false},
    {e::kOutOfResources, VI_ERROR_RSRC_BUSY, false},
    {e::kNoLockHeld, VI_ERROR_SESN_NLOCKED, false},
};

} // namespace

std::span<const DeviceErrorStatus> deviceErrorStatuses() { return table; }

ViStatus statusOfDeviceError(long error)
{
    const auto *found = std::ranges::find(table, error, &DeviceErrorStatus::error);
    return found == std::end(table) ? VI_ERROR_IO : found->status;
}

long deviceErrorOfStatus(ViStatus status)
{
    if (status >= 0)
        return e::kNone;
    const auto *found = std::ranges::find_if(
        table, [status](const DeviceErrorStatus &r) { return r.reported && r.status == status; });
    return found == std::end(table) ? e::kIoError : found->error;
}

} // namespace qx::visa
