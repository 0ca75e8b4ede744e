/* The attribute engine: sessions, typed attributes with cache, range tables and callbacks,
   simulation, channels, error information and a recursive per-session lock.

   Contract
   - Every service returns a ViStatus: 0 success, negative error, positive warning. The ViBoolean
     and ViSession queries return VI_FALSE / VI_NULL for an invalid session.
   - Session handles are never reused. VI_NULL, a disposed or a made-up handle gives
     IVI_ERROR_INVALID_SESSION_HANDLE; Ivi_Dispose(VI_NULL) is harmless.
   - Error information on VI_NULL is kept per thread.
   - Services may be called from several threads. Each one holds the session's lock for its run;
     the lock is recursive, and a callback runs inside it (it may call any service again).
   - Null output pointers give IVI_ERROR_NULL_POINTER. Strings handed to the engine are copied;
     strings handed out (channel names) stay valid for the life of the session.
   - No exception leaves the engine. */
#ifndef QX_IVI_H
#define QX_IVI_H

#include "ivi_codes.h"

typedef ViUInt32 IviAttrFlags;

typedef struct {
    ViReal64 discreteOrMinValue;
    ViReal64 maxValue;
    ViReal64 coercedValue;
    ViConstString cmdString;
    ViInt32 cmdValue;
} IviRangeTableEntry;

typedef struct {
    ViInt32 type; /* IVI_VAL_DISCRETE, IVI_VAL_RANGED or IVI_VAL_COERCED (checked as ranged) */
    ViBoolean hasMin;
    ViBoolean hasMax;
    ViConstString customInfo;
    const IviRangeTableEntry *rangeValues;
} IviRangeTable;

typedef const IviRangeTable *IviRangeTablePtr;

#define IVI_RANGE_TABLE_END_STRING ((ViConstString)(-1))
#define IVI_RANGE_TABLE_LAST_ENTRY {0.0, 0.0, 0.0, IVI_RANGE_TABLE_END_STRING, 0}

typedef struct {
    ViInt32 value;
    ViConstString string;
} IviStringValueTableEntry; /* a table ends with {0, VI_NULL} */

typedef const IviStringValueTableEntry *IviStringValueTable;

/* Attribute callbacks. `io` is the session's instrument I/O session (VI_NULL when simulating). */
typedef ViStatus (*ReadAttrViInt32_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                ViAttr attributeId, ViInt32 *value);
typedef ViStatus (*WriteAttrViInt32_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                 ViAttr attributeId, ViInt32 value);
typedef ViStatus (*CheckAttrViInt32_CallbackPtr)(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                 ViInt32 value);
typedef ViStatus (*ReadAttrViReal64_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                 ViAttr attributeId, ViReal64 *value);
typedef ViStatus (*WriteAttrViReal64_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                  ViAttr attributeId, ViReal64 value);
typedef ViStatus (*CheckAttrViReal64_CallbackPtr)(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                  ViReal64 value);
typedef ViStatus (*ReadAttrViBoolean_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                  ViAttr attributeId, ViBoolean *value);
typedef ViStatus (*WriteAttrViBoolean_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                   ViAttr attributeId, ViBoolean value);
typedef ViStatus (*CheckAttrViBoolean_CallbackPtr)(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                   ViBoolean value);
typedef ViStatus (*ReadAttrViSession_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                  ViAttr attributeId, ViSession *value);
typedef ViStatus (*WriteAttrViSession_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                   ViAttr attributeId, ViSession value);
typedef ViStatus (*CheckAttrViSession_CallbackPtr)(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                   ViSession value);
typedef ViStatus (*ReadAttrViAddr_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                               ViAttr attributeId, ViAddr *value);
typedef ViStatus (*WriteAttrViAddr_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                ViAttr attributeId, ViAddr value);
typedef ViStatus (*CheckAttrViAddr_CallbackPtr)(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                ViAddr value);
/* A string read callback gets the cached text and hands its result over with
   Ivi_SetValInStringCallback; when it hands nothing over, the cached text stays the value. */
typedef ViStatus (*ReadAttrViString_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                 ViAttr attributeId, const ViConstString cacheValue);
typedef ViStatus (*WriteAttrViString_CallbackPtr)(ViSession vi, ViSession io, ViConstString channelName,
                                                  ViAttr attributeId, ViConstString value);
typedef ViStatus (*CheckAttrViString_CallbackPtr)(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                  ViConstString value);

/* Session callbacks, stored in the ViAddr attributes IVI_ATTR_CHECK_STATUS_CALLBACK and
   IVI_ATTR_OPC_CALLBACK. */
typedef ViStatus (*IviCheckStatus_CallbackPtr)(ViSession vi, ViSession io);
typedef ViStatus (*IviOPC_CallbackPtr)(ViSession vi, ViSession io);

/* Sessions. The option string takes comma-separated Name=Value pairs (names and values
   case-insensitive): RangeCheck, QueryInstrStatus, Cache, Simulate, RecordCoercions,
   InterchangeCheck (1/0/True/False/VI_TRUE/VI_FALSE) and DriverSetup (the rest of the string).
   Null or "" gives RangeCheck=1, QueryInstrStatus=1, Cache=1, the others 0/"". A bad string
   fails with IVI_ERROR_MISSING_OPTION_NAME/_VALUE or IVI_ERROR_BAD_OPTION_NAME/_VALUE, recorded
   on VI_NULL. A session that does not simulate opens the VISA default resource manager
   (IVI_ATTR_VISA_RM_SESSION); Ivi_Dispose closes it, and with it every VISA session opened
   through it. Ivi_Dispose waits until no other thread holds the session's lock. */
ViStatus Ivi_SpecificDriverNew(ViConstString prefix, ViConstString optionString, ViSession *newVi);
ViStatus Ivi_Dispose(ViSession vi);

/* callerHasLock null: plain lock/unlock. Otherwise lock only when *callerHasLock is false (then
   set it), unlock only when it is true (then clear it). Unlocking a lock the calling thread does
   not hold fails with IVI_ERROR_SESSION_NOT_LOCKED. */
ViStatus Ivi_LockSession(ViSession vi, ViBoolean *callerHasLock);
ViStatus Ivi_UnlockSession(ViSession vi, ViBoolean *callerHasLock);

/* Error information. With overwrite false an existing non-zero primary error stays.
   Ivi_GetErrorInfo hands the information out and clears it; any pointer may be null. */
ViStatus Ivi_SetErrorInfo(ViSession vi, ViBoolean overwrite, ViStatus primaryError, ViStatus secondaryError,
                          ViConstString errorElaboration);
ViStatus Ivi_GetErrorInfo(ViSession vi, ViStatus *primaryError, ViStatus *secondaryError,
                          ViChar errorElaboration[IVI_MAX_MESSAGE_BUF_SIZE]);
ViStatus Ivi_ClearErrorInfo(ViSession vi);
/* 1..8 give VI_ERROR_PARAMETER1..8, anything else IVI_ERROR_INVALID_PARAMETER. */
ViStatus Ivi_ParamPositionError(ViInt32 parameterPosition);
/* Texts: the driver's table first, then the engine's own codes, then VISA codes, then a generic
   text naming the code. vi may be VI_NULL. */
ViStatus Ivi_GetSpecificDriverStatusDesc(ViSession vi, ViStatus statusCode, ViChar message[IVI_MAX_MESSAGE_BUF_SIZE],
                                         IviStringValueTable driverTable);

/* Session flags. */
ViBoolean Ivi_Simulating(ViSession vi);
ViBoolean Ivi_UseSpecificSimulation(ViSession vi);
ViBoolean Ivi_QueryInstrStatus(ViSession vi);
ViBoolean Ivi_RangeChecking(ViSession vi);
ViBoolean Ivi_NeedToCheckStatus(ViSession vi);
ViStatus Ivi_SetNeedToCheckStatus(ViSession vi, ViBoolean needToCheckStatus);
ViSession Ivi_IOSession(ViSession vi);

/* Channels: a comma-separated list of names (white space around names ignored). Building the
   table again replaces it. */
ViStatus Ivi_BuildChannelTable(ViSession vi, ViConstString channelList, ViBoolean allowUnknownChannelNames,
                               ViConstString reserved);
ViStatus Ivi_CoerceChannelName(ViSession vi, ViConstString channelName, ViConstString *coercedChannelName);

/* Adding attributes. Adding an ID that exists fails with IVI_ERROR_ATTRIBUTE_EXISTS.
   comparePrecision: 0 = engine default (relative 1e-14), N > 0 = N significant digits. */
ViStatus Ivi_AddAttributeViInt32(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                 ViInt32 defaultValue, IviAttrFlags flags, ReadAttrViInt32_CallbackPtr readCallback,
                                 WriteAttrViInt32_CallbackPtr writeCallback, IviRangeTablePtr rangeTable);
ViStatus Ivi_AddAttributeViReal64(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViReal64 defaultValue, IviAttrFlags flags,
                                  ReadAttrViReal64_CallbackPtr readCallback,
                                  WriteAttrViReal64_CallbackPtr writeCallback, IviRangeTablePtr rangeTable,
                                  ViInt32 comparePrecision);
ViStatus Ivi_AddAttributeViBoolean(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                   ViBoolean defaultValue, IviAttrFlags flags,
                                   ReadAttrViBoolean_CallbackPtr readCallback,
                                   WriteAttrViBoolean_CallbackPtr writeCallback);
ViStatus Ivi_AddAttributeViString(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                  ViConstString defaultValue, IviAttrFlags flags,
                                  ReadAttrViString_CallbackPtr readCallback,
                                  WriteAttrViString_CallbackPtr writeCallback);
ViStatus Ivi_AddAttributeViSession(ViSession vi, ViAttr attributeId, ViConstString attributeName,
                                   ViSession defaultValue, IviAttrFlags flags,
                                   ReadAttrViSession_CallbackPtr readCallback,
                                   WriteAttrViSession_CallbackPtr writeCallback);
ViStatus Ivi_AddAttributeViAddr(ViSession vi, ViAttr attributeId, ViConstString attributeName, ViAddr defaultValue,
                                IviAttrFlags flags, ReadAttrViAddr_CallbackPtr readCallback,
                                WriteAttrViAddr_CallbackPtr writeCallback);

/* Installing callbacks (null removes one). */
ViStatus Ivi_SetAttrReadCallbackViInt32(ViSession vi, ViAttr attributeId, ReadAttrViInt32_CallbackPtr readCallback);
ViStatus Ivi_SetAttrWriteCallbackViInt32(ViSession vi, ViAttr attributeId,
                                         WriteAttrViInt32_CallbackPtr writeCallback);
ViStatus Ivi_SetAttrCheckCallbackViInt32(ViSession vi, ViAttr attributeId,
                                         CheckAttrViInt32_CallbackPtr checkCallback);
ViStatus Ivi_SetAttrReadCallbackViReal64(ViSession vi, ViAttr attributeId,
                                         ReadAttrViReal64_CallbackPtr readCallback);
ViStatus Ivi_SetAttrWriteCallbackViReal64(ViSession vi, ViAttr attributeId,
                                          WriteAttrViReal64_CallbackPtr writeCallback);
ViStatus Ivi_SetAttrCheckCallbackViReal64(ViSession vi, ViAttr attributeId,
                                          CheckAttrViReal64_CallbackPtr checkCallback);
ViStatus Ivi_SetAttrReadCallbackViBoolean(ViSession vi, ViAttr attributeId,
                                          ReadAttrViBoolean_CallbackPtr readCallback);
ViStatus Ivi_SetAttrWriteCallbackViBoolean(ViSession vi, ViAttr attributeId,
                                           WriteAttrViBoolean_CallbackPtr writeCallback);
ViStatus Ivi_SetAttrCheckCallbackViBoolean(ViSession vi, ViAttr attributeId,
                                           CheckAttrViBoolean_CallbackPtr checkCallback);
ViStatus Ivi_SetAttrReadCallbackViString(ViSession vi, ViAttr attributeId,
                                         ReadAttrViString_CallbackPtr readCallback);
ViStatus Ivi_SetAttrWriteCallbackViString(ViSession vi, ViAttr attributeId,
                                          WriteAttrViString_CallbackPtr writeCallback);
ViStatus Ivi_SetAttrCheckCallbackViString(ViSession vi, ViAttr attributeId,
                                          CheckAttrViString_CallbackPtr checkCallback);
ViStatus Ivi_SetAttrReadCallbackViSession(ViSession vi, ViAttr attributeId,
                                          ReadAttrViSession_CallbackPtr readCallback);
ViStatus Ivi_SetAttrWriteCallbackViSession(ViSession vi, ViAttr attributeId,
                                           WriteAttrViSession_CallbackPtr writeCallback);
ViStatus Ivi_SetAttrCheckCallbackViSession(ViSession vi, ViAttr attributeId,
                                           CheckAttrViSession_CallbackPtr checkCallback);
ViStatus Ivi_SetAttrReadCallbackViAddr(ViSession vi, ViAttr attributeId, ReadAttrViAddr_CallbackPtr readCallback);
ViStatus Ivi_SetAttrWriteCallbackViAddr(ViSession vi, ViAttr attributeId, WriteAttrViAddr_CallbackPtr writeCallback);
ViStatus Ivi_SetAttrCheckCallbackViAddr(ViSession vi, ViAttr attributeId, CheckAttrViAddr_CallbackPtr checkCallback);

/* Set: check (range table or check callback, while range checking is on), then the write callback
   unless the valid cached value is equal, then cache. Get: the valid cached value, else the read
   callback, else the stored value or the default. optionFlags: IVI_VAL_DIRECT_USER_CALL applies the
   user access flags and runs the check-status callback afterwards when a check is due;
   IVI_VAL_SET_CACHE_ONLY only stores the value. Check: validates the value whatever the
   range-check setting. */
ViStatus Ivi_SetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                 ViInt32 value);
ViStatus Ivi_SetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViReal64 value);
ViStatus Ivi_SetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean value);
ViStatus Ivi_SetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViConstString value);
ViStatus Ivi_SetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession value);
ViStatus Ivi_SetAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                ViAddr value);

ViStatus Ivi_GetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                 ViInt32 *value);
ViStatus Ivi_GetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViReal64 *value);
ViStatus Ivi_GetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViBoolean *value);
ViStatus Ivi_GetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViSession *value);
ViStatus Ivi_GetAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                ViAddr *value);
/* bufferSize 0: returns the size needed (length + 1), value may be null. bufferSize < 0: copies
   the whole text. 0 < bufferSize < needed: copies bufferSize - 1 characters and returns the size
   needed. value null with bufferSize != 0: IVI_ERROR_NULL_POINTER. */
ViStatus Ivi_GetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViInt32 bufferSize, ViChar value[]);

ViStatus Ivi_CheckAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 optionFlags, ViInt32 value);
ViStatus Ivi_CheckAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViReal64 value);
ViStatus Ivi_CheckAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViBoolean value);
ViStatus Ivi_CheckAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 optionFlags, ViConstString value);
ViStatus Ivi_CheckAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViInt32 optionFlags, ViSession value);
ViStatus Ivi_CheckAttributeViAddr(ViSession vi, ViConstString channelName, ViAttr attributeId, ViInt32 optionFlags,
                                  ViAddr value);

/* Invalidating all attributes spares those flagged IVI_VAL_ALWAYS_CACHE (the engine's settings). */
ViStatus Ivi_InvalidateAllAttributes(ViSession vi);
ViStatus Ivi_InvalidateAttribute(ViSession vi, ViConstString channelName, ViAttr attributeId);
/* Only inside a string read callback of that attribute: the value the running get returns.
   Elsewhere: IVI_ERROR_NOT_IN_READ_CALLBACK. */
ViStatus Ivi_SetValInStringCallback(ViSession vi, ViAttr attributeId, ViConstString value);

/* Looks a value up in a discrete (equal) or ranged (min <= value <= max) table. Outputs may be
   null. Not found: IVI_ERROR_INVALID_VALUE. */
ViStatus Ivi_GetViInt32EntryFromValue(ViInt32 value, IviRangeTablePtr table, ViInt32 *discreteOrMinValue,
                                      ViInt32 *maxValue, ViInt32 *coercedValue, ViInt32 *tableIndex,
                                      ViConstString *commandString, ViInt32 *commandValue);

/* Raw I/O on the session's I/O session. Simulating: the write sends nothing, the read returns
   0 bytes. The read does not terminate the buffer; numBytesRead may be null. */
ViStatus Ivi_WriteInstrData(ViSession vi, ViConstString writeBuffer);
ViStatus Ivi_ReadInstrData(ViSession vi, ViInt32 numberBytesToRead, ViChar readBuffer[], ViInt32 *numBytesRead);

#endif
