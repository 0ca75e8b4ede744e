// Recording failures in the session's error information.
#pragma once

#include "ivi/ivi.h"
#include "zev_qx70.h"

#include <initializer_list>

// The public header names these codes for callers; they must stay the engine's.
static_assert(ZEV_QX70_ERROR_INSTRUMENT_STATUS == IVI_ERROR_INSTRUMENT_STATUS);
static_assert(ZEV_QX70_ERROR_INVALID_PARAMETER == IVI_ERROR_INVALID_PARAMETER);
static_assert(ZEV_QX70_ERROR_INVALID_VALUE == IVI_ERROR_INVALID_VALUE);
static_assert(ZEV_QX70_ERROR_INVALID_SESSION_HANDLE == IVI_ERROR_INVALID_SESSION_HANDLE);
// The driver's own codes sit in the engine's class range, where its status texts look them up.
static_assert(ZEV_QX70_ERROR_OVER_VOLTAGE == IVI_CLASS_ERROR_BASE + 0x01);
static_assert(ZEV_QX70_ERROR_OVER_CURRENT == IVI_CLASS_ERROR_BASE + 0x02);

namespace zev {

// Warnings count as success.
inline ViStatus fold(ViStatus status) { return status < 0 ? status : VI_SUCCESS; }

// Records an I/O or instrument failure with no secondary code and no elaboration; returns it.
inline ViStatus record(ViSession vi, ViStatus status)
{
    Ivi_SetErrorInfo(vi, VI_FALSE, status, 0, VI_NULL);
    return status;
}

// Records a failure tied to the parameter at `position` (1-based); returns it.
inline ViStatus recordParam(ViSession vi, ViStatus status, ViInt32 position, ViConstString elaboration)
{
    Ivi_SetErrorInfo(vi, VI_FALSE, status, Ivi_ParamPositionError(position), elaboration);
    return status;
}

inline ViStatus nullAddress(ViSession vi, ViInt32 position, ViConstString elaboration)
{
    return recordParam(vi, IVI_ERROR_INVALID_PARAMETER, position, elaboration);
}

// On an error return every text output the caller gave holds an empty string, never leftovers.
inline ViStatus emptyTextsOnError(ViStatus status, std::initializer_list<ViChar *> texts)
{
    if (status < 0)
        for (ViChar *text : texts)
            if (text)
                text[0] = '\0';
    return status;
}

} // namespace zev
