// VXI-11 errors and VISA statuses: the one table, read from a server's error and for a gateway's.
#include <gtest/gtest.h>

#include <algorithm>

#include "visa/vxi11_status.h"
#include "vxi11/instrument.h"

using namespace qx::visa;
namespace error = qx::vxi11::error;

namespace {

struct Pair {
    long error;
    ViStatus status;
};

bool oneToOne(const DeviceErrorStatus &record)
{
    const auto table = deviceErrorStatuses();
    return record.reported && std::ranges::count(table, record.error, &DeviceErrorStatus::error) == 1 &&
           std::ranges::count(table, record.status, &DeviceErrorStatus::status) == 1;
}

} // namespace

TEST(Vxi11Status, OneToOneRecordsReadBackTheSameBothWays)
{
    int checked = 0;
    for (const DeviceErrorStatus &record : deviceErrorStatuses()) {
        if (!oneToOne(record))
            continue;
        ++checked;
        EXPECT_EQ(deviceErrorOfStatus(statusOfDeviceError(record.error)), record.error);
        EXPECT_EQ(statusOfDeviceError(deviceErrorOfStatus(record.status)), record.status);
    }
    EXPECT_EQ(checked, 5); // none, locked, I/O time-out, I/O error, abort
}

TEST(Vxi11Status, SharedAndOneWayRecordsAndUnknownCodes)
{
    constexpr Pair fromServer[] = {
        {error::kNone, VI_SUCCESS}, {error::kSyntax, VI_ERROR_INV_PARAMETER}, {error::kParameter, VI_ERROR_INV_PARAMETER},
        {error::kNotAccessible, VI_ERROR_RSRC_NFOUND}, {error::kInvalidLink, VI_ERROR_CONN_LOST},
        {error::kNotSupported, VI_ERROR_NSUP_OPER}, {error::kOutOfResources, VI_ERROR_RSRC_BUSY},
        {error::kLocked, VI_ERROR_RSRC_LOCKED}, {error::kNoLockHeld, VI_ERROR_SESN_NLOCKED},
        {error::kInvalidAddress, VI_ERROR_INV_RSRC_NAME}, {error::kChannelNotEstablished, VI_ERROR_IO},
        {error::kChannelEstablished, VI_ERROR_IO}, {99, VI_ERROR_IO}, {-1, VI_ERROR_IO},
    };
    for (const auto &[code, status] : fromServer)
        EXPECT_EQ(statusOfDeviceError(code), status) << code;

    // A gateway's own lost line or missing device is an I/O error to its client, not a link of the client's.
    constexpr Pair reported[] = {
        {error::kNone, VI_SUCCESS_TERM_CHAR}, {error::kNone, VI_SUCCESS_MAX_CNT},
        {error::kParameter, VI_ERROR_INV_PARAMETER}, {error::kNotSupported, VI_ERROR_NSUP_OPER},
        {error::kNotSupported, VI_ERROR_INV_MODE}, {error::kIoError, VI_ERROR_CONN_LOST},
        {error::kIoError, VI_ERROR_RSRC_NFOUND}, {error::kIoError, VI_ERROR_RSRC_BUSY},
        {error::kIoError, VI_ERROR_SESN_NLOCKED}, {error::kIoError, VI_ERROR_NLISTENERS},
    };
    for (const auto &[code, status] : reported)
        EXPECT_EQ(deviceErrorOfStatus(status), code) << std::hex << status;
}
