// The public attribute, lock, error-information and raw I/O functions: each passes its
// arguments to one engine service unchanged, as a direct user call where the service takes flags.
#include "ivi/ivi.h"
#include "zev_qx70.h"

ViStatus ZEV_QX70_GetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 *value)
{
    return Ivi_GetAttributeViInt32(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_GetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId, ViReal64 *value)
{
    return Ivi_GetAttributeViReal64(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_GetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                       ViInt32 bufferSize, ViChar value[])
{
    return Ivi_GetAttributeViString(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, bufferSize, value);
}

ViStatus ZEV_QX70_GetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                        ViBoolean *value)
{
    return Ivi_GetAttributeViBoolean(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_GetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                        ViSession *value)
{
    return Ivi_GetAttributeViSession(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_SetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 value)
{
    return Ivi_SetAttributeViInt32(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_SetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId, ViReal64 value)
{
    return Ivi_SetAttributeViReal64(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_SetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                       ViConstString value)
{
    return Ivi_SetAttributeViString(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_SetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                        ViBoolean value)
{
    return Ivi_SetAttributeViBoolean(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_SetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                        ViSession value)
{
    return Ivi_SetAttributeViSession(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_CheckAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 value)
{
    return Ivi_CheckAttributeViInt32(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_CheckAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                         ViReal64 value)
{
    return Ivi_CheckAttributeViReal64(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_CheckAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                         ViConstString value)
{
    return Ivi_CheckAttributeViString(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_CheckAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                          ViBoolean value)
{
    return Ivi_CheckAttributeViBoolean(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_CheckAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                          ViSession value)
{
    return Ivi_CheckAttributeViSession(vi, channelName, attributeId, IVI_VAL_DIRECT_USER_CALL, value);
}

ViStatus ZEV_QX70_LockSession(ViSession vi, ViBoolean *callerHasLock) { return Ivi_LockSession(vi, callerHasLock); }

ViStatus ZEV_QX70_UnlockSession(ViSession vi, ViBoolean *callerHasLock)
{
    return Ivi_UnlockSession(vi, callerHasLock);
}

ViStatus ZEV_QX70_GetErrorInfo(ViSession vi, ViStatus *primaryError, ViStatus *secondaryError,
                               ViChar errorElaboration[256])
{
    return Ivi_GetErrorInfo(vi, primaryError, secondaryError, errorElaboration);
}

ViStatus ZEV_QX70_ClearErrorInfo(ViSession vi) { return Ivi_ClearErrorInfo(vi); }

ViStatus ZEV_QX70_WriteInstrData(ViSession vi, ViConstString writeBuffer)
{
    return Ivi_WriteInstrData(vi, writeBuffer);
}

ViStatus ZEV_QX70_ReadInstrData(ViSession vi, ViInt32 numberBytesToRead, ViChar readBuffer[], ViInt32 *numBytesRead)
{
    return Ivi_ReadInstrData(vi, numberBytesToRead, readBuffer, numBytesRead);
}
