/*
 * ZEV_QX70 - instrument driver for the QX Series programmable AC power sources
 * (single-phase 7101QX, three-phase 7103QX).
 *
 * Contract
 * - Every function returns a ViStatus: 0 success, negative error. The session and utility
 *   functions fold warnings into 0; the attribute accessors return the engine's status as is.
 * - Error information: ZEV_QX70_GetErrorInfo tells the primary and secondary code and an
 *   elaboration of the first error recorded since it was last read. A status check that finds an
 *   instrument error (ZEV_QX70_ERROR_INSTRUMENT_STATUS) takes it out of the instrument's queue; the
 *   elaboration then holds the instrument's answer, number and text: -222,"Data out of range".
 *   Errors met before a session exists, or by an open that failed, are kept on VI_NULL (per
 *   thread); a resource that cannot be opened has the device behind it in the elaboration:
 *   "/dev/ttyS8: No such file or directory" (ASRL9::INSTR), "linux-gpib's libgpib.so.0 is not
 *   installed". These errors are returned without error information: the limit refusals
 *   ZEV_QX70_ERROR_OVER_VOLTAGE, _OVER_CURRENT and _FREQUENCY_OUT_OF_LIMITS,
 *   ZEV_QX70_ERROR_NOT_SUPPORTED, ZEV_QX70_ERROR_INVALID_SESSION_HANDLE, and the engine's own
 *   failures (locking, flags, attribute access outside the documented positions), which the
 *   attribute accessors also return as they come.
 * - A session handle comes from ZEV_QX70_init / ZEV_QX70_InitWithOptions and is invalid after
 *   ZEV_QX70_close, whatever close returns. Handles are never reused: a closed or made-up handle
 *   gives ZEV_QX70_ERROR_INVALID_SESSION_HANDLE (0xBFFA1190).
 * - Text outputs: each function names the size of its buffers below; the driver never writes more
 *   and always ends the text with a NUL. On an error return every text output is empty ("") -
 *   except ZEV_QX70_error_message, whose message always holds a text. The attribute accessors
 *   and ZEV_QX70_ReadInstrData follow the engine's rules (buffer size given by the caller).
 * - Null pointers: a null output pointer is an error (0xBFFA000F with the parameter's position),
 *   never a crash - except where IVI allows it: ZEV_QX70_GetErrorInfo skips null outputs, and
 *   ZEV_QX70_LockSession / ZEV_QX70_UnlockSession take a null callerHasLock as a plain lock/unlock.
 * - Values a function cannot act on (a phase outside 0 to 3, an unknown measurement type, a start
 *   angle other than 0, 90, 180 or 270, a number that is not finite) give ZEV_QX70_ERROR_INVALID_VALUE
 *   (0xBFFA0010) with the parameter's position and name, and send nothing unless stated.
 * - Several instruments: every session keeps the link kind, model and limits learnt when it
 *   opened; a simulated session reports zero limits and model 0.
 * - Threads: a session may be used from several threads; each call holds the session lock for its
 *   run, and waiting callers are served in turn. ZEV_QX70_LockSession / ZEV_QX70_UnlockSession
 *   group several calls. ZEV_QX70_close waits for the call in flight; calls still waiting and
 *   all later calls on that handle fail at once with ZEV_QX70_ERROR_INVALID_SESSION_HANDLE.
 * - An answer that comes after its query timed out is dropped before the next command goes out.
 * - No C++ exception crosses this interface.
 */
#ifndef ZEV_QX70_HEADER
#define ZEV_QX70_HEADER

#include <stdint.h>

#ifndef __VISATYPE_HEADER__
#define __VISATYPE_HEADER__
typedef uint64_t ViUInt64;
typedef int64_t ViInt64;
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef uint8_t ViUInt8;
typedef int8_t ViInt8;
typedef char ViChar;
typedef unsigned char ViByte;
typedef void *ViAddr;
typedef float ViReal32;
typedef double ViReal64;
typedef ViByte *ViBuf;
typedef const ViByte *ViConstBuf;
typedef ViChar *ViString;
typedef const ViChar *ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViUInt16 ViBoolean;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViVersion;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAttr;
typedef ViUInt64 ViAttrState;
typedef ViUInt32 ViAccessMode;
typedef ViSession *ViPSession;
typedef ViStatus *ViPStatus;
typedef ViInt32 *ViPInt32;
typedef ViUInt32 *ViPUInt32;
typedef ViInt16 *ViPInt16;
typedef ViReal64 *ViPReal64;
typedef ViBoolean *ViPBoolean;
#define VI_NULL 0
#define VI_TRUE ((ViBoolean)1)
#define VI_FALSE ((ViBoolean)0)
#define VI_SUCCESS 0
#define _VI_ERROR (-2147483647 - 1)
#endif

#if defined(__GNUC__)
#define ZEV_QX70_API __attribute__((visibility("default")))
#else
#define ZEV_QX70_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Attributes */
#define ZEV_QX70_ATTR_RANGE_CHECK 1050002UL
#define ZEV_QX70_ATTR_QUERY_INSTRUMENT_STATUS 1050003UL
#define ZEV_QX70_ATTR_CACHE 1050004UL
#define ZEV_QX70_ATTR_SIMULATE 1050005UL
#define ZEV_QX70_ATTR_SPECIFIC_DRIVER_MAJOR_VERSION 1050503UL
#define ZEV_QX70_ATTR_SPECIFIC_DRIVER_MINOR_VERSION 1050504UL
#define ZEV_QX70_ATTR_SPECIFIC_DRIVER_REVISION 1050551UL

#define ZEV_QX70_ATTR_ID_QUERY_RESPONSE 1150001UL
#define ZEV_QX70_ATTR_FREQUENCY_LOW_LIMIT 1150002UL
#define ZEV_QX70_ATTR_FREQUENCY_HIGH_LIMIT 1150003UL
#define ZEV_QX70_ATTR_QUERY_FUNCTION 1150004UL
#define ZEV_QX70_ATTR_VOLTAGE_RANGE 1150005UL
#define ZEV_QX70_ATTR_REMOTE_ON_OFF 1150006UL
#define ZEV_QX70_ATTR_DISPLAY_MODE 1150007UL
#define ZEV_QX70_ATTR_VOLTAGE_LIMIT 1250002UL
#define ZEV_QX70_ATTR_CURRENT_LIMIT 1250003UL
#define ZEV_QX70_ATTR_OUTPUT_CONNECTED 1250006UL
#define ZEV_QX70_ATTR_FREQUENCY 1250301UL
#define ZEV_QX70_ATTR_ACV_AMPLITUDE 1250401UL
#define ZEV_QX70_ATTR_ACC_AMPLITUDE 1250501UL

/* Measurement types */
#define ZEV_QX70_VAL_MEASURE_VOLTAGE 2
#define ZEV_QX70_VAL_MEASURE_CURRENT 4
#define ZEV_QX70_VAL_MEASURE_FREQUENCY 9
#define ZEV_QX70_VAL_MEASURE_PEAK_CURRENT 10
#define ZEV_QX70_VAL_MEASURE_CREST_FACTOR 11
#define ZEV_QX70_VAL_MEASURE_APPARENT_POWER 12
#define ZEV_QX70_VAL_MEASURE_POWER_FACTOR 13
#define ZEV_QX70_VAL_MEASURE_REAL_POWER 14

/* Function codes of ZEV_QX70_QueryOutputFunction */
#define ZEV_QX70_VAL_QUERY_VOLTAGE 1
#define ZEV_QX70_VAL_QUERY_CURRENT_LIMIT 2
#define ZEV_QX70_VAL_QUERY_VOLTAGE_RANGE 3 /* the range in volts */
#define ZEV_QX70_VAL_QUERY_FREQUENCY 9

/* Voltage range selectors of ZEV_QX70_GenerateACVoltageRange and ZEV_QX70_ATTR_VOLTAGE_RANGE */
#define ZEV_QX70_VAL_RANGE_LOW 1.0
#define ZEV_QX70_VAL_RANGE_HIGH 2.0

/* States of ZEV_QX70_RemoteOnOff: 1 remote, any other value local */
#define ZEV_QX70_VAL_LOCAL 0
#define ZEV_QX70_VAL_REMOTE 1

/* Display modes of ZEV_QX70_DisplayMode: 0 to 5; the front panel's switch uses 1 (on) and 2 (off) */
#define ZEV_QX70_VAL_DISPLAY_MODE_ON 1
#define ZEV_QX70_VAL_DISPLAY_MODE_OFF 2
#define ZEV_QX70_VAL_DISPLAY_MODE_MAX 5

/* Phases of the phase functions: 0 all phases coupled, 1 to 3 one phase */
#define ZEV_QX70_VAL_PHASE_ALL 0
#define ZEV_QX70_VAL_PHASE_MAX 3

/* Model numbers that ZEV_QX70_ConfigureLimits reports (0 when unknown or simulated) */
#define ZEV_QX70_VAL_MODEL_7101QX 7101 /* single-phase */
#define ZEV_QX70_VAL_MODEL_7103QX 7103 /* three-phase */

/* Status codes */
#define ZEV_QX70_ERROR_INSTRUMENT_STATUS (_VI_ERROR + 0x3FFA0001)
#define ZEV_QX70_ERROR_INVALID_PARAMETER (_VI_ERROR + 0x3FFA000F)
#define ZEV_QX70_ERROR_INVALID_VALUE (_VI_ERROR + 0x3FFA0010)
#define ZEV_QX70_ERROR_INVALID_SESSION_HANDLE (_VI_ERROR + 0x3FFA1190)
#define ZEV_QX70_WARN_VOLTAGE_DECREASED (0x3FFA2001)
#define ZEV_QX70_WARN_CURRENT_DECREASED (0x3FFA2002)
#define ZEV_QX70_ERROR_OVER_VOLTAGE (_VI_ERROR + 0x3FFA2001)
#define ZEV_QX70_ERROR_OVER_CURRENT (_VI_ERROR + 0x3FFA2002)
#define ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS (_VI_ERROR + 0x3FFA4001)
#define ZEV_QX70_ERROR_NOT_SUPPORTED (_VI_ERROR + 0x3FFA4002)

/* Session */
ZEV_QX70_API ViStatus ZEV_QX70_init(ViRsrc resourceName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *newVi,
                                    ViInt32 baudRate);
ZEV_QX70_API ViStatus ZEV_QX70_InitWithOptions(ViRsrc resourceName, ViBoolean idQuery, ViBoolean resetDevice,
                                               ViConstString optionString, ViSession *newVi, ViInt32 baudRate);
ZEV_QX70_API ViStatus ZEV_QX70_IviInit(ViRsrc resourceName, ViBoolean idQuery, ViBoolean resetDevice, ViSession vi,
                                       ViInt32 baudRate);
ZEV_QX70_API ViStatus ZEV_QX70_close(ViSession vi);
ZEV_QX70_API ViStatus ZEV_QX70_IviClose(ViSession vi);

/* Status, errors and utilities. Text buffers: 256 bytes each (errorMessage, message, driverRev,
   instrRev); longer texts are cut to 255 characters. error_query reads the instrument's error
   queue; the status check after a command leaves an instrument error there for it. */
ZEV_QX70_API ViStatus ZEV_QX70_reset(ViSession vi);
ZEV_QX70_API ViStatus ZEV_QX70_error_query(ViSession vi, ViInt32 *errorCode, ViChar errorMessage[]);
ZEV_QX70_API ViStatus ZEV_QX70_error_message(ViSession vi, ViStatus statusCode, ViChar message[]);
ZEV_QX70_API ViStatus ZEV_QX70_StatusRegister(ViSession vi, ViInt32 *statusByte);
ZEV_QX70_API ViStatus ZEV_QX70_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[]);

/* Output configuration. The channel name is "1". Voltage range: 1.0 low, 2.0 high. A value outside
   the present range's limits is refused with ZEV_QX70_ERROR_OVER_VOLTAGE, _OVER_CURRENT or
   _FREQUENCY_OUT_OF_LIMITS and sends nothing. Function codes of QueryOutputFunction: 1 voltage,
   2 current limit, 3 voltage range (volts), 9 frequency. */
ZEV_QX70_API ViStatus ZEV_QX70_ConfigureLimits(ViSession vi, ViConstString channelName, ViReal64 *frequencyLowLimit,
                                               ViReal64 *frequencyHighLimit, ViReal64 *currentLimit,
                                               ViReal64 *voltageLimit, ViInt32 *modelNumber);
ZEV_QX70_API ViStatus ZEV_QX70_GenerateACVoltageRange(ViSession vi, ViConstString channelName, ViReal64 range);
ZEV_QX70_API ViStatus ZEV_QX70_GenerateACVoltage(ViSession vi, ViConstString channelName, ViReal64 voltage);
ZEV_QX70_API ViStatus ZEV_QX70_GenerateACCurrent(ViSession vi, ViConstString channelName, ViReal64 current);
ZEV_QX70_API ViStatus ZEV_QX70_GenerateACFrequency(ViSession vi, ViConstString channelName, ViReal64 frequency);
ZEV_QX70_API ViStatus ZEV_QX70_ConnectOutput(ViSession vi, ViConstString channelName);
ZEV_QX70_API ViStatus ZEV_QX70_DisconnectOutput(ViSession vi, ViConstString channelName);
ZEV_QX70_API ViStatus ZEV_QX70_QueryOutputRelay(ViSession vi, ViConstString channelName, ViInt32 *relayState);
ZEV_QX70_API ViStatus ZEV_QX70_QueryOutputFunction(ViSession vi, ViConstString channelName, ViInt32 functionCode,
                                                   ViReal64 *value);

/* Front-panel state, registers and identity. A display mode above 5 gives
   ZEV_QX70_ERROR_NOT_SUPPORTED. A serial number holds at most 64 characters and no control
   characters (else ZEV_QX70_ERROR_INVALID_VALUE). Text buffers: model 512 bytes, serial number
   257 bytes. Model_Number fails with VI_ERROR_FAIL_ID_QUERY (0xBFFC0011) when the answer is not
   from a ZE instrument. LoadInitialConfiguration stops at the first setting that is refused or
   fails, returns its status, and then saves nothing. */
ZEV_QX70_API ViStatus ZEV_QX70_RemoteOnOff(ViSession vi, ViConstString channelName, ViInt32 state);
ZEV_QX70_API ViStatus ZEV_QX70_DisplayMode(ViSession vi, ViConstString channelName, ViInt32 mode);
ZEV_QX70_API ViStatus ZEV_QX70_DisplayModeQuery(ViSession vi, ViConstString channelName, ViInt32 *mode);
ZEV_QX70_API ViStatus ZEV_QX70_SaveRegister(ViSession vi, ViConstString channelName, ViInt32 registerNumber);
ZEV_QX70_API ViStatus ZEV_QX70_RecallRegister(ViSession vi, ViConstString channelName, ViInt32 registerNumber);
ZEV_QX70_API ViStatus ZEV_QX70_PowerOnRegister(ViSession vi, ViConstString channelName, ViInt32 registerNumber);
ZEV_QX70_API ViStatus ZEV_QX70_PowerOnQuery(ViSession vi, ViConstString channelName, ViInt32 *registerNumber);
ZEV_QX70_API ViStatus ZEV_QX70_LoadInitialConfiguration(ViSession vi, ViReal64 voltageRange, ViReal64 frequency,
                                                        ViReal64 voltage, ViInt32 outputState);
ZEV_QX70_API ViStatus ZEV_QX70_LoadSerialNumber(ViSession vi, ViConstString channelName, ViConstString serialNumber);
ZEV_QX70_API ViStatus ZEV_QX70_Serial_ID(ViSession vi, ViInt32 *number);
ZEV_QX70_API ViStatus ZEV_QX70_Model_Number(ViSession vi, ViChar model[]);
ZEV_QX70_API ViStatus ZEV_QX70_Serial_Number(ViSession vi, ViChar serialNumber[]);

/* Measurements (ZEV_QX70_VAL_MEASURE_*). Phase: 0 all phases coupled, 1 to 3 one phase. A type the
   connected model does not offer gives ZEV_QX70_ERROR_NOT_SUPPORTED; an unknown type or phase gives
   ZEV_QX70_ERROR_INVALID_VALUE. */
ZEV_QX70_API ViStatus ZEV_QX70_MeasureOutput(ViSession vi, ViConstString channelName, ViInt32 measurementType,
                                             ViReal64 *measurement);
ZEV_QX70_API ViStatus ZEV_QX70_PhaseMeasureOutput(ViSession vi, ViConstString channelName, ViInt32 measurementType,
                                                  ViInt16 phase, ViReal64 *measurement);

/* Output drop. DropCommands and DropSettingQuery: single-phase model only. PhaseDropCommands
   starts only at 0, 90, 180 or 270 degrees: another angle is shown in a message popup, sends no
   drop, clears the instrument as usual and returns ZEV_QX70_ERROR_INVALID_VALUE (position 4, "Start
   Phase"). A drop time, start angle or voltage that would go out and is not a finite number below
   9.9E37 in magnitude is refused before anything is sent. Each command function checks the
   instrument's error state before it clears the instrument, so a drop the instrument refuses is
   reported (ZEV_QX70_ERROR_INSTRUMENT_STATUS) with the instrument's error in the error information. */
ZEV_QX70_API ViStatus ZEV_QX70_DropCommands(ViSession vi, ViConstString channelName, ViInt32 startPhaseState,
                                            ViReal64 startPhase, ViReal64 dropTime, ViReal64 voltage,
                                            ViBoolean timedDrop);
ZEV_QX70_API ViStatus ZEV_QX70_DropSettingQuery(ViSession vi, ViConstString channelName, ViInt32 *startPhaseState,
                                                ViInt32 *startPhase);
ZEV_QX70_API ViStatus ZEV_QX70_PhaseDropCommands(ViSession vi, ViConstString channelName, ViInt32 startPhaseState,
                                                 ViReal64 startPhase, ViReal64 dropTime, ViBoolean timedDrop,
                                                 ViInt16 phase);
ZEV_QX70_API ViStatus ZEV_QX70_PhaseDropSettingQuery(ViSession vi, ViConstString channelName, ViInt16 phase,
                                                     ViInt32 *startPhaseState, ViInt32 *startPhase);

/* Attribute accessors, locking, error information and raw I/O */
ZEV_QX70_API ViStatus ZEV_QX70_GetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                   ViInt32 *value);
ZEV_QX70_API ViStatus ZEV_QX70_GetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                    ViReal64 *value);
ZEV_QX70_API ViStatus ZEV_QX70_GetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                    ViInt32 bufferSize, ViChar value[]);
ZEV_QX70_API ViStatus ZEV_QX70_GetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                     ViBoolean *value);
ZEV_QX70_API ViStatus ZEV_QX70_GetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                     ViSession *value);
ZEV_QX70_API ViStatus ZEV_QX70_SetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                   ViInt32 value);
ZEV_QX70_API ViStatus ZEV_QX70_SetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                    ViReal64 value);
ZEV_QX70_API ViStatus ZEV_QX70_SetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                    ViConstString value);
ZEV_QX70_API ViStatus ZEV_QX70_SetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                     ViBoolean value);
ZEV_QX70_API ViStatus ZEV_QX70_SetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                     ViSession value);
ZEV_QX70_API ViStatus ZEV_QX70_CheckAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                     ViInt32 value);
ZEV_QX70_API ViStatus ZEV_QX70_CheckAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                      ViReal64 value);
ZEV_QX70_API ViStatus ZEV_QX70_CheckAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                      ViConstString value);
ZEV_QX70_API ViStatus ZEV_QX70_CheckAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                       ViBoolean value);
ZEV_QX70_API ViStatus ZEV_QX70_CheckAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                                       ViSession value);
ZEV_QX70_API ViStatus ZEV_QX70_LockSession(ViSession vi, ViBoolean *callerHasLock);
ZEV_QX70_API ViStatus ZEV_QX70_UnlockSession(ViSession vi, ViBoolean *callerHasLock);
/* Any of the three outputs may be null; errorElaboration takes 256 bytes. */
ZEV_QX70_API ViStatus ZEV_QX70_GetErrorInfo(ViSession vi, ViStatus *primaryError, ViStatus *secondaryError,
                                            ViChar errorElaboration[256]);
ZEV_QX70_API ViStatus ZEV_QX70_ClearErrorInfo(ViSession vi);
ZEV_QX70_API ViStatus ZEV_QX70_WriteInstrData(ViSession vi, ViConstString writeBuffer);
ZEV_QX70_API ViStatus ZEV_QX70_ReadInstrData(ViSession vi, ViInt32 numberBytesToRead, ViChar readBuffer[],
                                             ViInt32 *numBytesRead);

#ifdef __cplusplus
}
#endif

#endif
