// Output configuration: voltage range, voltage, current limit, frequency, the output relay,
// settings read back by function code, and the limits learnt when the session opened.
#include "driver_state.h"
#include "errors.h"
#include "exchange.h"
#include "session_lock.h"
#include "status.h"
#include "zev_qx70.h"

using zev::sessionState;
using zev::SessionState;
using zev::fold;
using zev::nullAddress;
using zev::recordParam;

namespace {

// Selector values of ZEV_QX70_ATTR_VOLTAGE_RANGE; any other value in the attribute is volts
// read back from the instrument.
constexpr ViReal64 kLowRange = ZEV_QX70_VAL_RANGE_LOW;
constexpr ViReal64 kHighRange = ZEV_QX70_VAL_RANGE_HIGH;

ViReal64 rangeMaximum(const SessionState &state, ViReal64 range)
{
    const ViReal64 limit = state.voltageLimit;
    if (range == kLowRange)
        return limit / 2.0;
    if (range == kHighRange)
        return limit;
    return range;
}

// The source delivers its full current on the low range and half of it on the high range.
ViReal64 currentMaximum(const SessionState &state, ViReal64 vmax)
{
    const ViReal64 limit = state.currentLimit;
    return state.voltageLimit / 2.0 >= vmax ? limit : limit / 2.0;
}

// NaN falls outside every interval.
bool within(ViReal64 value, ViReal64 low, ViReal64 high) { return value >= low && value <= high; }

// The present range's maximum voltage, from the selector in the cache or the volts read back.
ViStatus readRangeMaximum(ViSession vi, ViConstString channelName, ViReal64 &vmax)
{
    ViReal64 range = 0.0;
    const ViStatus status = Ivi_GetAttributeViReal64(vi, channelName, ZEV_QX70_ATTR_VOLTAGE_RANGE, 0, &range);
    if (status < 0)
        return recordParam(vi, status, 2, "Voltage Range");
    vmax = rangeMaximum(sessionState(vi), range);
    return VI_SUCCESS;
}

// A setting whose maximum follows from the present range, refused with its own code when outside.
struct RangedSetting {
    ViAttr attribute;
    ViReal64 (*maximum)(const SessionState &state, ViReal64 vmax);
    ViStatus refusal;
    ViInt32 position; // where a failed write is recorded
    ViConstString name;
};

const RangedSetting voltageSetting{ZEV_QX70_ATTR_ACV_AMPLITUDE, [](const SessionState &, ViReal64 vmax) { return vmax; },
                                   ZEV_QX70_ERROR_OVER_VOLTAGE, 4, "Amplitude"};
const RangedSetting currentSetting{ZEV_QX70_ATTR_ACC_AMPLITUDE, currentMaximum, ZEV_QX70_ERROR_OVER_CURRENT, 5,
                                   "Current Limit"};

// Reads the range, refuses a value outside 0 .. the maximum (sending nothing), else writes it.
ViStatus setWithinRange(ViSession vi, ViConstString channelName, const RangedSetting &setting, ViReal64 value)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        ViReal64 vmax = 0.0;
        ViStatus status = readRangeMaximum(vi, channelName, vmax);
        if (status < 0)
            return status;
        if (!within(value, 0.0, setting.maximum(sessionState(vi), vmax)))
            return setting.refusal;
        status = Ivi_SetAttributeViReal64(vi, channelName, setting.attribute, 0, value);
        if (status < 0)
            return recordParam(vi, status, setting.position, setting.name);
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

// The frame of the functions that write one attribute: lock, write, check the status. A failed
// write is recorded at `position` with `name`; with position 0 it is returned as it comes.
template <class Write> ViStatus writeThenCheck(ViSession vi, ViInt32 position, ViConstString name, Write &&write)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        const ViStatus status = write();
        if (status < 0)
            return position > 0 ? recordParam(vi, status, position, name) : status;
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

ViStatus setOutputConnected(ViSession vi, ViConstString channelName, ViBoolean connected)
{
    return writeThenCheck(vi, 0, VI_NULL, [&] {
        return Ivi_SetAttributeViBoolean(vi, channelName, ZEV_QX70_ATTR_OUTPUT_CONNECTED, 0, connected);
    });
}

} // namespace

ViStatus ZEV_QX70_ConfigureLimits(ViSession vi, ViConstString, ViReal64 *frequencyLowLimit,
                                  ViReal64 *frequencyHighLimit, ViReal64 *currentLimit, ViReal64 *voltageLimit,
                                  ViInt32 *modelNumber)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!frequencyLowLimit)
            return nullAddress(vi, 3, "Null address for Frequency Low Limit");
        if (!frequencyHighLimit)
            return nullAddress(vi, 4, "Null address for Frequency High Limit");
        if (!currentLimit)
            return nullAddress(vi, 5, "Null address for Current Limit");
        if (!voltageLimit)
            return nullAddress(vi, 6, "Null address for Voltage Limit");
        if (!modelNumber)
            return nullAddress(vi, 7, "Null address for Model Number");
        const SessionState state = sessionState(vi);
        *frequencyLowLimit = state.frequencyLowLimit;
        *frequencyHighLimit = state.frequencyHighLimit;
        *currentLimit = state.currentLimit;
        *voltageLimit = state.voltageLimit;
        *modelNumber = state.modelNumber;
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

ViStatus ZEV_QX70_GenerateACVoltageRange(ViSession vi, ViConstString channelName, ViReal64 range)
{
    return writeThenCheck(vi, 2, "Voltage Range", [&] {
        return Ivi_SetAttributeViReal64(vi, channelName, ZEV_QX70_ATTR_VOLTAGE_RANGE, 0, range);
    });
}

ViStatus ZEV_QX70_GenerateACVoltage(ViSession vi, ViConstString channelName, ViReal64 voltage)
{
    return setWithinRange(vi, channelName, voltageSetting, voltage);
}

ViStatus ZEV_QX70_GenerateACCurrent(ViSession vi, ViConstString channelName, ViReal64 current)
{
    return setWithinRange(vi, channelName, currentSetting, current);
}

ViStatus ZEV_QX70_GenerateACFrequency(ViSession vi, ViConstString channelName, ViReal64 frequency)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        const SessionState state = sessionState(vi);
        if (!within(frequency, state.frequencyLowLimit, state.frequencyHighLimit))
            return ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS;
        const ViStatus status = Ivi_SetAttributeViReal64(vi, channelName, ZEV_QX70_ATTR_FREQUENCY, 0, frequency);
        if (status < 0)
            return recordParam(vi, status, 4, "Frequency");
        return fold(ZEV_QX70_CheckStatus(vi));
    });
}

ViStatus ZEV_QX70_ConnectOutput(ViSession vi, ViConstString channelName)
{
    return setOutputConnected(vi, channelName, VI_TRUE);
}

ViStatus ZEV_QX70_DisconnectOutput(ViSession vi, ViConstString channelName)
{
    return setOutputConnected(vi, channelName, VI_FALSE);
}

ViStatus ZEV_QX70_QueryOutputRelay(ViSession vi, ViConstString, ViInt32 *relayState)
{
    return zev::queryStateThenClear(vi, zev::Scpi::OutputQuery, relayState, "Null address for Relay State");
}

ViStatus ZEV_QX70_QueryOutputFunction(ViSession vi, ViConstString channelName, ViInt32 functionCode, ViReal64 *value)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!value)
            return nullAddress(vi, 4, "Null address for Value");
        // The write callback sends the query (the attribute is never cached, so a repeated code asks too).
        ViStatus status = Ivi_SetAttributeViInt32(vi, channelName, ZEV_QX70_ATTR_QUERY_FUNCTION, 0, functionCode);
        if (status < 0)
            return recordParam(vi, status, 3, "Query Function");
        ViConstString channel = VI_NULL;
        if (!Ivi_Simulating(vi)) {
            ViReal64 answer = 0.0;
            status = Ivi_CoerceChannelName(vi, channelName, &channel);
            if (status >= 0)
                status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
            if (status >= 0)
                status = zev::receiveAsIs(vi, Ivi_IOSession(vi), "%lf", &answer);
            if (status < 0)
                return status;
            *value = answer;
            status = ZEV_QX70_CheckStatus(vi);
            if (status < 0)
                return status;
        }
        // Leave a check due for the next function that runs one.
        status = Ivi_CoerceChannelName(vi, channelName, &channel);
        if (status >= 0)
            status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
        return fold(status);
    });
}
