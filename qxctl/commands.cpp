#include "commands.h"

#include "quantities.h"

#include <string_view>

namespace qx::ctl {
namespace {

constexpr char kChannel[] = "1";
// The error queue holds a few entries; a queue that never empties is not read forever.
constexpr int kMostErrors = 64;

// Keeps the first error; a warning stays until an error comes.
void note(Outcome &out, ViStatus status)
{
    if (out.status >= 0 && status != VI_SUCCESS)
        out.status = status;
}

ViInt32 functionCode(std::string_view quantity)
{
    if (quantity == "voltage")
        return ZEV_QX70_VAL_QUERY_VOLTAGE;
    if (quantity == "current")
        return ZEV_QX70_VAL_QUERY_CURRENT_LIMIT;
    if (quantity == "range")
        return ZEV_QX70_VAL_QUERY_VOLTAGE_RANGE;
    return ZEV_QX70_VAL_QUERY_FREQUENCY;
}

void identify(ViSession vi, Outcome &out)
{
    ViChar model[512] = {};
    ViChar serial[257] = {};
    ViChar driverRevision[256] = {};
    ViChar firmware[256] = {};
    note(out, ZEV_QX70_Model_Number(vi, model));
    if (out.status >= 0)
        note(out, ZEV_QX70_Serial_Number(vi, serial));
    if (out.status >= 0)
        note(out, ZEV_QX70_revision_query(vi, driverRevision, firmware));
    if (out.status >= 0)
        out.values = {{"model", model}, {"serial", serial}, {"firmware", firmware}};
}

void limits(ViSession vi, Outcome &out)
{
    ViReal64 low = 0, high = 0, current = 0, voltage = 0;
    ViInt32 model = 0;
    note(out, ZEV_QX70_ConfigureLimits(vi, kChannel, &low, &high, &current, &voltage, &model));
    if (out.status >= 0)
        out.values = {{"voltage", voltage}, {"current", current}, {"frequency_low", low},
                      {"frequency_high", high}, {"model", model}};
}

void get(ViSession vi, const Command &c, Outcome &out)
{
    if (c.quantity == "output") {
        ViInt32 relay = 0;
        note(out, ZEV_QX70_QueryOutputRelay(vi, kChannel, &relay));
        if (out.status >= 0)
            out.values["value"] = relay != 0 ? "on" : "off";
        return;
    }
    ViReal64 value = 0;
    note(out, ZEV_QX70_QueryOutputFunction(vi, kChannel, functionCode(c.quantity), &value));
    if (out.status >= 0)
        out.values["value"] = value;
}

void set(ViSession vi, const Command &c, Outcome &out)
{
    if (c.quantity == "voltage")
        note(out, ZEV_QX70_GenerateACVoltage(vi, kChannel, c.value));
    else if (c.quantity == "frequency")
        note(out, ZEV_QX70_GenerateACFrequency(vi, kChannel, c.value));
    else if (c.quantity == "current")
        note(out, ZEV_QX70_GenerateACCurrent(vi, kChannel, c.value));
    else
        note(out, ZEV_QX70_GenerateACVoltageRange(vi, kChannel, c.value));
}

void measure(ViSession vi, const Command &c, Outcome &out)
{
    const sequence::MeasurementKind *kind = sequence::findMeasurement(c.quantity);
    if (kind == nullptr) {
        note(out, ZEV_QX70_ERROR_INVALID_VALUE);
        return;
    }
    // Without a phase, all phases together: the same query on a single-phase source, and on a
    // three-phase one every kind it measures, where the one-phase function refuses some.
    ViReal64 value = 0;
    const auto phase = static_cast<ViInt16>(c.phase.value_or(ZEV_QX70_VAL_PHASE_ALL));
    note(out, ZEV_QX70_PhaseMeasureOutput(vi, kChannel, kind->type, phase, &value));
    out.context["phase"] = phase;
    if (out.status >= 0)
        out.values["value"] = value;
}

void drop(ViSession vi, const Command &c, Outcome &out)
{
    note(out, ZEV_QX70_PhaseDropCommands(vi, kChannel, c.angle ? 1 : 0, c.angle.value_or(0.0), c.time.value_or(0.0),
                                         c.time ? VI_TRUE : VI_FALSE,
                                         static_cast<ViInt16>(c.phase.value_or(ZEV_QX70_VAL_PHASE_ALL))));
}

void errors(ViSession vi, Outcome &out)
{
    Values list = Values::array();
    for (int i = 0; i < kMostErrors; ++i) {
        ViInt32 code = 0;
        ViChar message[256] = {};
        note(out, ZEV_QX70_error_query(vi, &code, message));
        if (out.status < 0 || code == 0)
            break;
        list.push_back({{"code", code}, {"message", message}});
    }
    if (out.status >= 0)
        out.values["errors"] = std::move(list);
}

} // namespace

Outcome runCommand(ViSession vi, const Command &c)
{
    Outcome out;
    switch (c.verb) {
    case Verb::Identify:
        identify(vi, out);
        break;
    case Verb::Limits:
        limits(vi, out);
        break;
    case Verb::Get:
        get(vi, c, out);
        break;
    case Verb::Set:
        set(vi, c, out);
        break;
    case Verb::Output:
        note(out, c.on ? ZEV_QX70_ConnectOutput(vi, kChannel) : ZEV_QX70_DisconnectOutput(vi, kChannel));
        break;
    case Verb::Measure:
        measure(vi, c, out);
        break;
    case Verb::Save:
        note(out, ZEV_QX70_SaveRegister(vi, kChannel, c.number));
        break;
    case Verb::Recall:
        note(out, ZEV_QX70_RecallRegister(vi, kChannel, c.number));
        break;
    case Verb::Remote:
        note(out, ZEV_QX70_RemoteOnOff(vi, kChannel, c.on ? ZEV_QX70_VAL_REMOTE : ZEV_QX70_VAL_LOCAL));
        break;
    case Verb::Drop:
        drop(vi, c, out);
        break;
    case Verb::Errors:
        errors(vi, out);
        break;
    case Verb::Run: // run by runSequenceCommand and runLogCommand
    case Verb::Log:
        note(out, ZEV_QX70_ERROR_INVALID_VALUE);
        break;
    }
    return out;
}

} // namespace qx::ctl
