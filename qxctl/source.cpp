#include "source.h"

#include <cstdio>

namespace qx::ctl {

Source::~Source()
{
    if (vi_ != VI_NULL)
        ZEV_QX70_close(vi_);
}

ViStatus Source::open(const std::string &resource, int baud)
{
    std::string name = resource; // the driver takes a mutable resource name
    return ZEV_QX70_init(name.data(), VI_TRUE, VI_FALSE, &vi_, static_cast<ViInt32>(baud));
}

std::string failureText(ViSession vi, ViStatus status)
{
    ViChar message[256] = {};
    ZEV_QX70_error_message(vi, status, message);
    std::string text = message[0] ? message : "Unknown status";
    if (text.size() > 1 && text.back() == '.')
        text.pop_back();
    ViStatus primary = VI_SUCCESS;
    ViChar elaboration[256] = {};
    if (ZEV_QX70_GetErrorInfo(vi, &primary, VI_NULL, elaboration) >= 0 && elaboration[0] && text != elaboration)
        text += std::string(": ") + elaboration;
    if (status == ZEV_QX70_ERROR_INSTRUMENT_STATUS && vi != VI_NULL) {
        ViInt32 code = 0;
        ViChar instrument[256] = {};
        if (ZEV_QX70_error_query(vi, &code, instrument) >= 0 && code != 0)
            text += ": instrument error " + std::to_string(code) + ", \"" + instrument + "\"";
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(status));
    return text + " (status 0x" + hex + ")";
}

} // namespace qx::ctl
