// Instrument I/O with VISA semantics: resource manager, sessions on serial, GPIB, TCP socket,
// VXI-11 and in-process resources, attributes, buffered formatted I/O and raw I/O.
// All operations return a ViStatus and never throw.
#pragma once

#include "visa/visadef.h"

ViStatus viOpenDefaultRM(ViSession *rm);
// Closing the resource manager closes every session opened through it.
ViStatus viOpen(ViSession rm, ViConstRsrc resourceName, ViAccessMode accessMode, ViUInt32 openTimeout,
                ViSession *vi);
ViStatus viClose(ViSession vi);
ViStatus viSetAttribute(ViSession vi, ViAttr attribute, ViAttrState value);
// `value` points to a variable of the attribute's VISA type (ViUInt32, ViUInt16, ViUInt8,
// ViBoolean, ViSession, or a ViChar[256] for strings).
ViStatus viGetAttribute(ViSession vi, ViAttr attribute, void *value);
ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size);
ViStatus viFlush(ViSession vi, ViUInt16 mask);
ViStatus viClear(ViSession vi);
ViStatus viWrite(ViSession vi, ViConstBuf buffer, ViUInt32 count, ViUInt32 *returnCount);
ViStatus viRead(ViSession vi, ViBuf buffer, ViUInt32 count, ViUInt32 *returnCount);
// Status byte, trigger, remote/local (VI_GPIB_REN_*) and exclusive locks, where the link has them:
// VXI-11 sessions do (the lock is the instrument's, against every other controller); the others
// return VI_ERROR_NSUP_OPER.
ViStatus viReadSTB(ViSession vi, ViUInt16 *status);
ViStatus viAssertTrigger(ViSession vi, ViUInt16 protocol);
ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode);
ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstString requestedKey, ViString accessKey);
ViStatus viUnlock(ViSession vi);
// desc must hold 256 characters.
ViStatus viStatusDesc(ViSession vi, ViStatus status, ViChar desc[]);

// viPrintf / viScanf: see visa/formatted_io.h, included here.
#include "visa/formatted_io.h"
