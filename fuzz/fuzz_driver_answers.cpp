// The driver reads whatever the instrument answers. A device attached in-process answers each
// query with the next line of the input (and says nothing once the input is used up), while the
// driver opens a session and runs its queries, measurements and identity functions.
//
// Input: <settings byte> <answer lines...>
//   settings bit 0 GPIB (else serial)   bit 1 identification query   bit 2 reset at init
#include "scripted_device.h"
#include "runtime/clock.h"
#include "zev_qx70.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace {

constexpr char kGpib[] = "GPIB0::5::INSTR";
constexpr char kSerial[] = "ASRL1::INSTR";

void runQueries(ViSession vi)
{
    ViChar text[512] = {}, more[512] = {};
    ViInt32 number = 0, other = 0;
    ViReal64 value = 0.0, limits[4] = {};
    ZEV_QX70_revision_query(vi, text, more);
    ZEV_QX70_error_query(vi, &number, text);
    for (auto query : {ZEV_QX70_Model_Number, ZEV_QX70_Serial_Number})
        query(vi, text);
    for (auto query : {ZEV_QX70_Serial_ID, ZEV_QX70_StatusRegister})
        query(vi, &number);
    ZEV_QX70_ConfigureLimits(vi, "1", &limits[0], &limits[1], &limits[2], &limits[3], &number);
    ZEV_QX70_QueryOutputRelay(vi, "1", &number);
    for (ViInt32 function : {1, 2, 3, 9})
        ZEV_QX70_QueryOutputFunction(vi, "1", function, &value);
    for (auto query : {ZEV_QX70_DisplayModeQuery, ZEV_QX70_PowerOnQuery})
        query(vi, "1", &number);
    for (ViInt32 type : {2, 4, 9, 10, 11, 12, 13, 14}) {
        ZEV_QX70_MeasureOutput(vi, "1", type, &value);
        ZEV_QX70_PhaseMeasureOutput(vi, "1", type, static_cast<ViInt16>(type % 4), &value);
    }
    ZEV_QX70_DropSettingQuery(vi, "1", &number, &other);
    ZEV_QX70_PhaseDropSettingQuery(vi, "1", 2, &number, &other);
    ZEV_QX70_GetAttributeViString(vi, "", ZEV_QX70_ATTR_ID_QUERY_RESPONSE, sizeof text, text);
    ZEV_QX70_error_query(vi, &number, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static qx::runtime::VirtualClock clock; // pacing waits and time-outs cost no real time
    static qx::runtime::ScopedClock clockGuard(clock);
    const auto device = std::make_shared<qx::test::ScriptedDevice>(); // a fresh one for each input
    if (size < 1 || !qx::visa::attachDevice(kGpib, device) || !qx::visa::attachDevice(kSerial, device))
        return 0;

    const std::uint8_t settings = data[0];
    device->answerQueries(std::string(reinterpret_cast<const char *>(data + 1), size - 1));
    ViChar resource[32] = {};
    std::string_view((settings & 1) ? kGpib : kSerial).copy(resource, sizeof resource - 1);
    ViSession vi = VI_NULL;
    const ViStatus status = ZEV_QX70_InitWithOptions(resource, (settings & 2) ? VI_TRUE : VI_FALSE,
                                                     (settings & 4) ? VI_TRUE : VI_FALSE, "", &vi, 9600);
    if (status >= 0 && vi != VI_NULL)
        runQueries(vi);
    ViStatus primary = 0, secondary = 0;
    ViChar elaboration[256] = {};
    ZEV_QX70_GetErrorInfo(vi, &primary, &secondary, elaboration);
    ZEV_QX70_close(vi);
    ZEV_QX70_ClearErrorInfo(VI_NULL);
    return 0;
}
