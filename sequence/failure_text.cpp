#include "failure_text.h"

#include <cstdio>
#include <utility>

namespace qx::sequence {
namespace {

// Refusals the driver returns without a text of its own (its table has no row for them).
constexpr std::pair<ViStatus, const char *> kRefusalTexts[] = {
    {ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS, "Frequency outside the instrument's limits"},
    {ZEV_QX70_ERROR_NOT_SUPPORTED, "Not supported by the connected model"},
};

std::string driverText(ViSession vi, ViStatus status)
{
    for (const auto &[code, text] : kRefusalTexts)
        if (code == status)
            return text;
    ViChar message[256] = {};
    ZEV_QX70_error_message(vi, status, message);
    std::string text = message[0] ? message : "Unknown status";
    if (text.size() > 1 && text.back() == '.')
        text.pop_back();
    return text;
}

} // namespace

std::string failureText(ViSession vi, ViStatus status)
{
    std::string text = driverText(vi, status);
    ViStatus primary = VI_SUCCESS;
    ViChar elaboration[256] = {};
    if (ZEV_QX70_GetErrorInfo(vi, &primary, VI_NULL, elaboration) >= 0 && elaboration[0] && text != elaboration)
        text += std::string(": ") + elaboration;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(status));
    return text + " (status 0x" + hex + ")";
}

} // namespace qx::sequence
