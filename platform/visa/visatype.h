/* Basic VISA types. Plain C: shared by the driver's public header and C clients.
   ViInt32 is exactly 32 bits whatever `long` is on the host. */
#ifndef __VISATYPE_HEADER__
#define __VISATYPE_HEADER__

#include <stdint.h>

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
