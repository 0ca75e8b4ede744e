#include "error_info.h"

#include "session_registry.h"
#include "visa/visadef.h"

#include <algorithm>
#include <cstring>

namespace qx::ivi {

void ErrorInfo::record(bool overwrite, ViStatus primaryError, ViStatus secondaryError, std::string_view text)
{
    if (!overwrite && primary != VI_SUCCESS)
        return;
    primary = primaryError;
    secondary = secondaryError;
    elaboration.assign(text.substr(0, IVI_MAX_MESSAGE_LEN));
}

void ErrorInfo::handOut(ViStatus *primaryError, ViStatus *secondaryError, ViChar elaborationOut[])
{
    if (primaryError)
        *primaryError = primary;
    if (secondaryError)
        *secondaryError = secondary;
    if (elaborationOut)
        copyMessage(elaboration, elaborationOut);
    clear();
}

void ErrorInfo::clear()
{
    primary = VI_SUCCESS;
    secondary = VI_SUCCESS;
    elaboration.clear();
}

ErrorInfo &threadErrorInfo()
{
    thread_local ErrorInfo info;
    return info;
}

void copyMessage(std::string_view text, ViChar out[])
{
    const size_t n = std::min<size_t>(text.size(), IVI_MAX_MESSAGE_LEN);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

namespace {

// Runs `use` on the error information of vi: the thread's for VI_NULL, else the locked session's.
template <class F>
ViStatus withErrorInfo(ViSession vi, F &&use)
{
    if (vi == VI_NULL)
        return guarded([&] {
            use(threadErrorInfo());
            return VI_SUCCESS;
        });
    return withSession(vi, [&](Session &session) {
        use(session.errorInfo);
        return VI_SUCCESS;
    });
}

} // namespace
} // namespace qx::ivi

using namespace qx::ivi;

ViStatus Ivi_SetErrorInfo(ViSession vi, ViBoolean overwrite, ViStatus primaryError, ViStatus secondaryError,
                          ViConstString errorElaboration)
{
    return withErrorInfo(vi, [&](ErrorInfo &info) {
        info.record(overwrite != VI_FALSE, primaryError, secondaryError,
                    errorElaboration ? std::string_view(errorElaboration) : std::string_view());
    });
}

ViStatus Ivi_GetErrorInfo(ViSession vi, ViStatus *primaryError, ViStatus *secondaryError,
                          ViChar errorElaboration[IVI_MAX_MESSAGE_BUF_SIZE])
{
    const ViStatus status = withErrorInfo(
        vi, [&](ErrorInfo &info) { info.handOut(primaryError, secondaryError, errorElaboration); });
    if (status < 0) // nothing to hand out: leave no stale values for the caller to misread
        ErrorInfo{}.handOut(primaryError, secondaryError, errorElaboration);
    return status;
}

ViStatus Ivi_ClearErrorInfo(ViSession vi)
{
    return withErrorInfo(vi, [](ErrorInfo &info) { info.clear(); });
}

ViStatus Ivi_ParamPositionError(ViInt32 parameterPosition)
{
    if (parameterPosition >= 1 && parameterPosition <= 8)
        return VI_ERROR_PARAMETER1 + (parameterPosition - 1);
    return IVI_ERROR_INVALID_PARAMETER;
}
