// Instrument I/O with VISA semantics: resource manager, sessions on serial, GPIB, TCP socket
// and in-process resources, attributes, buffered formatted I/O and raw I/O.
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
// desc must hold 256 characters.
ViStatus viStatusDesc(ViSession vi, ViStatus status, ViChar desc[]);

// viPrintf / viScanf: see visa/formatted_io.h, included here.
#include "visa/formatted_io.h"
