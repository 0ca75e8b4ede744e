#include "commands.h"

#include "quantities.h"

#include <array>
#include <cstddef>

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

using sequence::Quantity;
using sequence::SettableQuantity;
using sequence::settable;

// The settings the instrument lowers by itself when the range changes and they no longer fit.
constexpr std::array kFollowingTheRange{Quantity::Voltage, Quantity::Current};
using Setpoints = std::array<ViReal64, kFollowingTheRange.size()>;

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
    sequence::InstrumentLimits l;
    note(out, readLimits(vi, l));
    if (out.status >= 0)
        out.values = {{"voltage", l.voltage}, {"current", l.current}, {"frequency_low", l.frequencyLow},
                      {"frequency_high", l.frequencyHigh}, {"model", l.model}};
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
    const SettableQuantity *quantity = sequence::findSettable(c.quantity);
    if (quantity == nullptr) {
        note(out, ZEV_QX70_ERROR_INVALID_VALUE);
        return;
    }
    ViReal64 value = 0;
    note(out, ZEV_QX70_QueryOutputFunction(vi, kChannel, quantity->query, &value));
    if (out.status >= 0)
        out.values["value"] = value;
}

bool limitRefusal(ViStatus status)
{
    return status == ZEV_QX70_ERROR_OVER_VOLTAGE || status == ZEV_QX70_ERROR_OVER_CURRENT ||
           status == ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS;
}

// What is wrong with a value the driver refused as outside the limits: the driver's own code
// says "over-voltage" for a negative voltage too. The present range bounds voltage and current.
std::string refusalText(ViSession vi, const SettableQuantity &quantity, double value)
{
    sequence::InstrumentLimits limits;
    ViReal64 range = 0.0;
    if (readLimits(vi, limits) < 0)
        return {};
    if (quantity.quantity != Quantity::Frequency &&
        ZEV_QX70_QueryOutputFunction(vi, kChannel, ZEV_QX70_VAL_QUERY_VOLTAGE_RANGE, &range) < 0)
        return {};
    return sequence::limitProblem(quantity.quantity, value, limits, range);
}

ViStatus readSetpoints(ViSession vi, Setpoints &values)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        if (const ViStatus status =
                ZEV_QX70_QueryOutputFunction(vi, kChannel, settable(kFollowingTheRange[i]).query, &values[i]);
            status < 0)
            return status;
    return VI_SUCCESS;
}

// A range change may make the instrument lower the voltage or current setting: told as a warning
// with the new value.
void setRange(ViSession vi, const Command &c, Outcome &out)
{
    Setpoints before{};
    Setpoints after{};
    note(out, readSetpoints(vi, before));
    if (out.status >= 0)
        note(out, ZEV_QX70_GenerateACVoltageRange(vi, kChannel, c.value));
    if (out.status >= 0)
        note(out, readSetpoints(vi, after));
    if (out.status < 0)
        return;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i])
            continue;
        const SettableQuantity &q = settable(kFollowingTheRange[i]);
        out.warnings.push_back(std::string("the instrument changed the ") + q.name + " setting from " +
                               sequence::numberText(before[i]) + " " + q.unit + " to " +
                               sequence::numberText(after[i]) + " " + q.unit);
        out.context["changed"][q.name] = after[i];
    }
}

void set(ViSession vi, const Command &c, Outcome &out)
{
    const SettableQuantity *quantity = sequence::findSettable(c.quantity);
    if (quantity == nullptr) {
        note(out, ZEV_QX70_ERROR_INVALID_VALUE);
        return;
    }
    if (quantity->quantity == Quantity::Range) {
        setRange(vi, c, out);
        return;
    }
    note(out, quantity->set(vi, kChannel, c.value));
    if (limitRefusal(out.status))
        out.problem = refusalText(vi, *quantity, c.value);
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

// Each entry of the error queue until it is empty (or kMostErrors were read), to `found`.
template <class Found> ViStatus drainErrorQueue(ViSession vi, Found &&found)
{
    for (int i = 0; i < kMostErrors; ++i) {
        ViInt32 code = 0;
        ViChar message[256] = {};
        if (const ViStatus status = ZEV_QX70_error_query(vi, &code, message); status < 0)
            return status;
        if (code == 0)
            break;
        found(code, message);
    }
    return VI_SUCCESS;
}

void errors(ViSession vi, Outcome &out)
{
    Values list = Values::array();
    note(out, drainErrorQueue(vi, [&](ViInt32 code, const char *message) {
        list.push_back({{"code", code}, {"message", message}});
    }));
    if (out.status >= 0)
        out.values["errors"] = std::move(list);
}

} // namespace

ViStatus readLimits(ViSession vi, sequence::InstrumentLimits &l)
{
    return ZEV_QX70_ConfigureLimits(vi, kChannel, &l.frequencyLow, &l.frequencyHigh, &l.current, &l.voltage, &l.model);
}

ViStatus readErrorQueue(ViSession vi, std::vector<std::string> &errors)
{
    return drainErrorQueue(vi, [&](ViInt32 code, const char *message) {
        errors.push_back(std::to_string(code) + "," + Values(message).dump(-1, ' ', false,
                                                                           Values::error_handler_t::replace));
    });
}

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
    case Verb::Run: // run by their own commands (run_command, log_command, ...)
    case Verb::Log:
    case Verb::Presets:
    case Verb::Discover:
    case Verb::Records:
    case Verb::Report:
        note(out, ZEV_QX70_ERROR_INVALID_VALUE);
        break;
    }
    return out;
}

} // namespace qx::ctl
