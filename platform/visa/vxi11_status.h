// VXI-11 Device_ErrorCode values and VISA statuses: one table, read both ways. The VXI-11 client
// session turns a server's error into a status; qxgate turns a status into the error it answers.
#pragma once

#include <span>

#include "visa/visadef.h"

namespace qx::visa {

struct DeviceErrorStatus {
    long error; // Device_ErrorCode
    ViStatus status;
    // false: the status stands for this error only when a server sends it; a gateway that meets
    // the status on its own line (a lost serial line, a missing device) reports an I/O error.
    bool reported;
};

// In lookup order: the first record with an error (or with a reported status) wins.
std::span<const DeviceErrorStatus> deviceErrorStatuses();

// VI_SUCCESS for no error; VI_ERROR_IO for an error the table does not hold.
ViStatus statusOfDeviceError(long error);
// No error for a success or warning; 17 (I/O error) for a status the table does not report.
long deviceErrorOfStatus(ViStatus status);

} // namespace qx::visa
