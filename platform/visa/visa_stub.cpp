// Temporary: every operation is unsupported until the I/O layer lands.
#include "visa/visa.h"

ViStatus viOpenDefaultRM(ViSession *) { return VI_ERROR_NSUP_OPER; }
ViStatus viOpen(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViSession *) { return VI_ERROR_NSUP_OPER; }
ViStatus viClose(ViSession) { return VI_ERROR_NSUP_OPER; }
ViStatus viSetAttribute(ViSession, ViAttr, ViAttrState) { return VI_ERROR_NSUP_OPER; }
ViStatus viGetAttribute(ViSession, ViAttr, void *) { return VI_ERROR_NSUP_OPER; }
ViStatus viSetBuf(ViSession, ViUInt16, ViUInt32) { return VI_ERROR_NSUP_OPER; }
ViStatus viFlush(ViSession, ViUInt16) { return VI_ERROR_NSUP_OPER; }
ViStatus viClear(ViSession) { return VI_ERROR_NSUP_OPER; }
ViStatus viWrite(ViSession, ViConstBuf, ViUInt32, ViUInt32 *) { return VI_ERROR_NSUP_OPER; }
ViStatus viRead(ViSession, ViBuf, ViUInt32, ViUInt32 *) { return VI_ERROR_NSUP_OPER; }
ViStatus viStatusDesc(ViSession, ViStatus, ViChar desc[]) { if (desc) desc[0] = 0; return VI_ERROR_NSUP_OPER; }
