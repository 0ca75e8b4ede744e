#include "reading.h"

#include "quantities.h"

#include <cstdio>

namespace qx::monitor {
namespace {

constexpr char kChannel[] = "1"; // the driver's one channel

} // namespace

ViStatus measureChannels(ViSession vi, const std::vector<Channel> &channels, std::vector<double> &values)
{
    values.assign(channels.size(), 0.0);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const sequence::MeasurementKind *kind = sequence::findMeasurement(channels[i].kind);
        if (kind == nullptr)
            return ZEV_QX70_ERROR_INVALID_VALUE;
        const ViStatus status =
            ZEV_QX70_PhaseMeasureOutput(vi, kChannel, kind->type, static_cast<ViInt16>(channels[i].phase), &values[i]);
        if (status < 0)
            return status;
    }
    return VI_SUCCESS;
}

std::string readingFailure(ViSession vi, ViStatus status)
{
    ViChar message[256] = {};
    ZEV_QX70_error_message(vi, status, message);
    // The driver has no text of its own for a kind the model does not measure.
    std::string text = status == ZEV_QX70_ERROR_NOT_SUPPORTED ? "Not supported by the connected model"
                       : message[0]                           ? message
                                                              : "Unknown status";
    if (text.size() > 1 && text.back() == '.')
        text.pop_back();
    ViChar elaboration[256] = {};
    if (ZEV_QX70_GetErrorInfo(vi, VI_NULL, VI_NULL, elaboration) >= 0 && elaboration[0] && text != elaboration)
        text += std::string(": ") + elaboration;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(status));
    return text + " (status 0x" + hex + ")";
}

} // namespace qx::monitor
