// Raw pass-through I/O on the session's instrument I/O session.
#include "session_registry.h"

#include "visa/visa.h"

#include <algorithm>
#include <cstring>

using namespace qx::ivi;

ViStatus Ivi_WriteInstrData(ViSession vi, ViConstString writeBuffer)
{
    return withSession(vi, [&](Session &session) -> ViStatus {
        if (writeBuffer == nullptr)
            return IVI_ERROR_NULL_POINTER;
        if (session.flag(IVI_ATTR_SIMULATE))
            return VI_SUCCESS;
        ViUInt32 written = 0;
        return viWrite(session.sessionValue(IVI_ATTR_IO_SESSION), reinterpret_cast<ViConstBuf>(writeBuffer),
                       static_cast<ViUInt32>(std::strlen(writeBuffer)), &written);
    });
}

ViStatus Ivi_ReadInstrData(ViSession vi, ViInt32 numberBytesToRead, ViChar readBuffer[], ViInt32 *numBytesRead)
{
    return withSession(vi, [&](Session &session) -> ViStatus {
        if (numberBytesToRead < 0)
            return IVI_ERROR_INVALID_VALUE;
        if (readBuffer == nullptr && numberBytesToRead > 0)
            return IVI_ERROR_NULL_POINTER;
        if (numBytesRead != nullptr)
            *numBytesRead = 0;
        if (session.flag(IVI_ATTR_SIMULATE) || numberBytesToRead == 0)
            return VI_SUCCESS;
        ViUInt32 received = 0;
        const ViStatus status = viRead(session.sessionValue(IVI_ATTR_IO_SESSION), reinterpret_cast<ViBuf>(readBuffer),
                                       static_cast<ViUInt32>(numberBytesToRead), &received);
        if (numBytesRead != nullptr)
            *numBytesRead = static_cast<ViInt32>(std::min(received, static_cast<ViUInt32>(numberBytesToRead)));
        return status;
    });
}
