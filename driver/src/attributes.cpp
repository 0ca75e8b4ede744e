#include "attributes.h"

#include "errors.h"
#include "runtime/clock.h"
#include "status.h"
#include "wire.h"
#include "zev_qx70.h"

#include <cstdio>
#include <cstdlib>
#include <variant>

using qx::runtime::Delay;
using zev::sessionState;
using zev::onSerialLine;
using zev::record;
using zev::sendCommand;

// ---- Range tables --------------------------------------------------------------------------

namespace {

const IviRangeTableEntry voltageLimitEntries[] = {{0.0, 300.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry currentLimitEntries[] = {{0.0, 13.34, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry frequencyEntries[] = {{16.0, 5000.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry acvAmplitudeEntries[] = {{0.0, 300.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry accAmplitudeEntries[] = {{0.0, 13.34, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry queryFunctionEntries[] = {
    {9, 0, 0, "FREQ", 0}, {1, 0, 0, "VOLT", 0}, {2, 0, 0, "CURR", 0}, {3, 0, 0, "VOLT:RANG", 0},
    IVI_RANGE_TABLE_LAST_ENTRY};

const IviRangeTable attrVoltageLimitRangeTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, VI_NULL, voltageLimitEntries};
const IviRangeTable attrCurrentLimitRangeTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, VI_NULL, currentLimitEntries};
const IviRangeTable attrFrequencyRangeTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, VI_NULL, frequencyEntries};
const IviRangeTable attrACVAmplitudeRangeTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, VI_NULL, acvAmplitudeEntries};
const IviRangeTable attrACCAmplitudeRangeTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, VI_NULL, accAmplitudeEntries};

} // namespace

const IviRangeTable attrQueryFunctionRangeTable = {IVI_VAL_DISCRETE, VI_TRUE, VI_TRUE, VI_NULL,
                                                   queryFunctionEntries};

// ---- Callbacks -----------------------------------------------------------------------------

namespace {

struct NumberQuery {
    ViAttr id;
    const char *query;
    double waitAfterRead;
};

constexpr NumberQuery numberQueries[] = {
    {ZEV_QX70_ATTR_VOLTAGE_LIMIT, "LIM:VOLT?", 0.01},
    {ZEV_QX70_ATTR_CURRENT_LIMIT, "LIM:CURR?", 0.0},
    {ZEV_QX70_ATTR_FREQUENCY_LOW_LIMIT, "LIM:FREQ:LOW?", 0.0},
    {ZEV_QX70_ATTR_FREQUENCY_HIGH_LIMIT, "LIM:FREQ:HIGH?", 0.0},
    {ZEV_QX70_ATTR_FREQUENCY, "FREQ?", 0.0},
    {ZEV_QX70_ATTR_ACV_AMPLITUDE, "VOLT?", 0.0},
    {ZEV_QX70_ATTR_VOLTAGE_RANGE, "VOLT:RANG?", 0.0},
};

struct NumberSetting {
    ViAttr id;
    const char *command;
};

constexpr NumberSetting numberSettings[] = {
    {ZEV_QX70_ATTR_FREQUENCY, "FREQ %lf"},
    {ZEV_QX70_ATTR_ACV_AMPLITUDE, "VOLT %lf"},
    {ZEV_QX70_ATTR_ACC_AMPLITUDE, "CURR %lf"},
};

template <class Record, size_t N> const Record *findRecord(const Record (&table)[N], ViAttr id)
{
    for (const Record &entry : table)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

// Sends a setting command and paces the instrument; a failed send is recorded and not waited for.
template <class... Args>
ViStatus sendSetting(ViSession vi, ViSession io, qx::visa::PrintfFormat<std::type_identity_t<Args>...> command,
                     const Args &...args)
{
    ViStatus status = sendCommand(vi, io, qx::visa::RuntimeFormat{command.text()}, args...);
    if (status < 0)
        return record(vi, status);
    Delay(zev::kSettleSeconds);
    return VI_SUCCESS;
}

ViStatus readNumber(ViSession vi, ViSession io, ViConstString, ViAttr id, ViReal64 *value)
{
    const NumberQuery *query = findRecord(numberQueries, id);
    if (!query)
        return IVI_ERROR_INVALID_ATTRIBUTE;
    ViStatus status = sendCommand(vi, io, qx::visa::RuntimeFormat{query->query});
    if (status < 0)
        return record(vi, status);
    ViReal64 number = 0.0;
    status = zev::readAnswer(vi, io, "%lf", &number);
    if (status < 0)
        return record(vi, status);
    *value = number;
    Delay(query->waitAfterRead);
    return VI_SUCCESS;
}

ViStatus writeNumber(ViSession vi, ViSession io, ViConstString, ViAttr id, ViReal64 value)
{
    const NumberSetting *setting = findRecord(numberSettings, id);
    if (!setting)
        return IVI_ERROR_INVALID_ATTRIBUTE;
    return sendSetting(vi, io, qx::visa::RuntimeFormat{setting->command}, value);
}

// The answer to "CURR?" carries the current-limit setting, on some firmware preceded by a second
// number: read the one answer and take its last number.
ViStatus readCurrentSetting(ViSession vi, ViSession io, ViConstString, ViAttr, ViReal64 *value)
{
    ViStatus status = sendCommand(vi, io, "CURR?");
    if (status < 0)
        return record(vi, status);
    ViChar answer[257] = {};
    status = zev::readAnswer(vi, io, "%256[^\n]", answer);
    if (status < 0)
        return record(vi, status);
    char *end = nullptr;
    ViReal64 number = std::strtod(answer, &end);
    if (end == answer)
        return record(vi, VI_ERROR_INV_RESPONSE);
    while (*end == ' ')
        ++end;
    if (*end == ',') {
        const char *second = end + 1;
        ViReal64 next = std::strtod(second, &end);
        if (end == second)
            return record(vi, VI_ERROR_INV_RESPONSE);
        number = next;
    }
    *value = number;
    return VI_SUCCESS;
}

// The value selects the range (1.0 low, anything else high); the instrument takes volts.
ViStatus writeVoltageRange(ViSession vi, ViSession io, ViConstString, ViAttr, ViReal64 value)
{
    const ViReal64 limit = sessionState(vi).voltageLimit;
    return sendSetting(vi, io, "VOLT:RANG %lf", value == 1.0 ? limit / 2.0 : limit);
}

ViStatus readOutputConnected(ViSession vi, ViSession io, ViConstString, ViAttr, ViBoolean *value)
{
    ViStatus status = sendCommand(vi, io, "OUTP?");
    if (status < 0)
        return record(vi, status);
    ViInt32 state = 0;
    status = zev::readAnswer(vi, io, "%ld", &state);
    if (status < 0)
        return record(vi, status);
    *value = state != 0 ? VI_TRUE : VI_FALSE;
    return VI_SUCCESS;
}

ViStatus writeOutputConnected(ViSession vi, ViSession io, ViConstString, ViAttr, ViBoolean value)
{
    return sendSetting(vi, io, "OUTP %ld", static_cast<ViInt32>(value == VI_TRUE ? 1 : 0));
}

// Sends the selected query; the caller reads the answer.
ViStatus writeQueryFunction(ViSession vi, ViSession io, ViConstString, ViAttr, ViInt32 value)
{
    ViConstString command = VI_NULL;
    ViStatus status = Ivi_GetViInt32EntryFromValue(value, &attrQueryFunctionRangeTable, VI_NULL, VI_NULL, VI_NULL,
                                                    VI_NULL, &command, VI_NULL);
    if (status < 0)
        return status;
    status = sendCommand(vi, io, "%s?", command);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

ViStatus writeRemote(ViSession vi, ViSession io, ViConstString, ViAttr, ViInt32 value)
{
    return sendSetting(vi, io, qx::visa::RuntimeFormat{value == 1 ? "SYST:REM" : "SYST:LOC"});
}

// The QX models take the mode number as is; older firmware only knows 0 and 1, in swapped order.
ViStatus writeDisplayMode(ViSession vi, ViSession io, ViConstString, ViAttr, ViInt32 value)
{
    const ViInt32 model = sessionState(vi).modelNumber;
    ViStatus status = VI_SUCCESS;
    if (model == 7101 || model == 7103)
        status = sendCommand(vi, io, "DISP:MODE %ld", value);
    else if (value == 2)
        status = sendCommand(vi, io, "DISP:MODE 0");
    else if (value == 1)
        status = sendCommand(vi, io, "DISP:MODE 1");
    if (status < 0)
        return record(vi, status);
    Delay(zev::kSettleSeconds);
    return VI_SUCCESS;
}

ViStatus readIdentification(ViSession vi, ViSession io, ViConstString, ViAttr id, ViConstString)
{
    ViStatus status = sendCommand(vi, io, "*IDN?");
    if (status < 0)
        return record(vi, status);
    if (onSerialLine(vi))
        Delay(0.05);
    Delay(0.05);
    ViChar answer[512] = {};
    status = zev::readRawAnswer(io, answer);
    if (status < 0)
        return record(vi, status);
    return Ivi_SetValInStringCallback(vi, id, answer);
}

ViStatus readDriverRevision(ViSession vi, ViSession, ViConstString, ViAttr id, ViConstString)
{
    ViChar text[256];
    std::snprintf(text, sizeof text,
                  "Driver: ZEV_QX70 %d.%d, Compiler: %s %3.2f, Components: IVIEngine %d.%d, VISA-Spec %.2f", 1, 0,
                  "CVI", 5.5, 2, 0, 3.0);
    ViStatus status = Ivi_SetValInStringCallback(vi, id, text);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

// The instrument is paced by fixed waits, not by operation-complete queries.
ViStatus operationComplete(ViSession, ViSession) { return VI_SUCCESS; }

ViStatus acceptAnyBoolean(ViSession, ViConstString, ViAttr, ViBoolean) { return VI_SUCCESS; }
ViStatus acceptAnyInt32(ViSession, ViConstString, ViAttr, ViInt32) { return VI_SUCCESS; }

// ---- The table -----------------------------------------------------------------------------

struct Real64Attribute {
    ViReal64 defaultValue;
    IviRangeTablePtr rangeTable;
    ReadAttrViReal64_CallbackPtr read;
    WriteAttrViReal64_CallbackPtr write;
};

struct BooleanAttribute {
    ViBoolean defaultValue;
    ReadAttrViBoolean_CallbackPtr read;
    WriteAttrViBoolean_CallbackPtr write;
    CheckAttrViBoolean_CallbackPtr check;
};

struct Int32Attribute {
    ViInt32 defaultValue;
    IviRangeTablePtr rangeTable;
    ReadAttrViInt32_CallbackPtr read;
    WriteAttrViInt32_CallbackPtr write;
    CheckAttrViInt32_CallbackPtr check;
};

struct StringAttribute {
    ViConstString defaultValue;
    ReadAttrViString_CallbackPtr read;
};

struct AttributeRecord {
    ViAttr id;
    ViConstString name;
    IviAttrFlags flags;
    std::variant<Real64Attribute, BooleanAttribute, Int32Attribute, StringAttribute> typed;
};

constexpr IviAttrFlags kMulti = IVI_VAL_MULTI_CHANNEL;
// ViReal64 attributes compare with the engine's default precision.
constexpr ViInt32 kDefaultPrecision = 0;

const AttributeRecord attributeTable[] = {
    {ZEV_QX70_ATTR_VOLTAGE_LIMIT, "ZEV_QX70_ATTR_VOLTAGE_LIMIT", kMulti,
     Real64Attribute{300.0, &attrVoltageLimitRangeTable, readNumber, VI_NULL}},
    {ZEV_QX70_ATTR_CURRENT_LIMIT, "ZEV_QX70_ATTR_CURRENT_LIMIT", kMulti,
     Real64Attribute{9.2, &attrCurrentLimitRangeTable, readNumber, VI_NULL}},
    {ZEV_QX70_ATTR_FREQUENCY_LOW_LIMIT, "ZEV_QX70_ATTR_FREQUENCY_LOW_LIMIT", kMulti,
     Real64Attribute{16.0, &attrFrequencyRangeTable, readNumber, VI_NULL}},
    {ZEV_QX70_ATTR_FREQUENCY_HIGH_LIMIT, "ZEV_QX70_ATTR_FREQUENCY_HIGH_LIMIT", kMulti,
     Real64Attribute{50.0, &attrFrequencyRangeTable, readNumber, VI_NULL}},
    {ZEV_QX70_ATTR_OUTPUT_CONNECTED, "ZEV_QX70_ATTR_OUTPUT_CONNECTED", kMulti | IVI_VAL_NEVER_CACHE,
     BooleanAttribute{VI_TRUE, readOutputConnected, writeOutputConnected, acceptAnyBoolean}},
    {ZEV_QX70_ATTR_FREQUENCY, "ZEV_QX70_ATTR_FREQUENCY", kMulti,
     Real64Attribute{16.0, &attrFrequencyRangeTable, readNumber, writeNumber}},
    {ZEV_QX70_ATTR_ACV_AMPLITUDE, "ZEV_QX70_ATTR_ACV_AMPLITUDE", kMulti,
     Real64Attribute{0.0, &attrACVAmplitudeRangeTable, readNumber, writeNumber}},
    {ZEV_QX70_ATTR_ACC_AMPLITUDE, "ZEV_QX70_ATTR_ACC_AMPLITUDE", kMulti,
     Real64Attribute{0.0, &attrACCAmplitudeRangeTable, readCurrentSetting, writeNumber}},
    {ZEV_QX70_ATTR_QUERY_FUNCTION, "ZEV_QX70_ATTR_QUERY_FUNCTION", kMulti | IVI_VAL_NEVER_CACHE,
     Int32Attribute{2, &attrQueryFunctionRangeTable, VI_NULL, writeQueryFunction, VI_NULL}},
    {ZEV_QX70_ATTR_ID_QUERY_RESPONSE, "ZEV_QX70_ATTR_ID_QUERY_RESPONSE", IVI_VAL_NOT_USER_WRITABLE,
     StringAttribute{"ZE", readIdentification}},
    {ZEV_QX70_ATTR_VOLTAGE_RANGE, "ZEV_QX70_ATTR_VOLTAGE_RANGE", kMulti,
     Real64Attribute{136.0, &attrVoltageLimitRangeTable, readNumber, writeVoltageRange}},
    {ZEV_QX70_ATTR_REMOTE_ON_OFF, "ZEV_QX70_ATTR_REMOTE_ON_OFF", kMulti,
     Int32Attribute{0, VI_NULL, VI_NULL, writeRemote, acceptAnyInt32}},
    {ZEV_QX70_ATTR_DISPLAY_MODE, "ZEV_QX70_ATTR_DISPLAY_MODE", kMulti,
     Int32Attribute{0, VI_NULL, VI_NULL, writeDisplayMode, acceptAnyInt32}},
};

ViStatus addAttribute(ViSession vi, const AttributeRecord &a)
{
    struct Adder {
        ViSession vi;
        const AttributeRecord &a;
        ViStatus operator()(const Real64Attribute &r) const
        {
            return Ivi_AddAttributeViReal64(vi, a.id, a.name, r.defaultValue, a.flags, r.read, r.write, r.rangeTable,
                                            kDefaultPrecision);
        }
        ViStatus operator()(const BooleanAttribute &b) const
        {
            ViStatus status = Ivi_AddAttributeViBoolean(vi, a.id, a.name, b.defaultValue, a.flags, b.read, b.write);
            if (status >= 0 && b.check)
                status = Ivi_SetAttrCheckCallbackViBoolean(vi, a.id, b.check);
            return status;
        }
        ViStatus operator()(const Int32Attribute &i) const
        {
            ViStatus status =
                Ivi_AddAttributeViInt32(vi, a.id, a.name, i.defaultValue, a.flags, i.read, i.write, i.rangeTable);
            if (status >= 0 && i.check)
                status = Ivi_SetAttrCheckCallbackViInt32(vi, a.id, i.check);
            return status;
        }
        ViStatus operator()(const StringAttribute &s) const
        {
            return Ivi_AddAttributeViString(vi, a.id, a.name, s.defaultValue, a.flags, s.read, VI_NULL);
        }
    };
    return std::visit(Adder{vi, a}, a.typed);
}

template <class Fn> ViAddr callbackAddress(Fn *fn) { return reinterpret_cast<ViAddr>(fn); }

ViStatus setInherentAttributes(ViSession vi)
{
    ViStatus status = Ivi_SetAttributeViInt32(vi, VI_NULL, IVI_ATTR_SPECIFIC_DRIVER_MAJOR_VERSION, 0, 1);
    if (status >= 0)
        status = Ivi_SetAttributeViInt32(vi, VI_NULL, IVI_ATTR_SPECIFIC_DRIVER_MINOR_VERSION, 0, 0);
    if (status >= 0)
        status = Ivi_SetAttrReadCallbackViString(vi, IVI_ATTR_SPECIFIC_DRIVER_REVISION, readDriverRevision);
    if (status >= 0)
        status = Ivi_SetAttributeViAddr(vi, VI_NULL, IVI_ATTR_OPC_CALLBACK, 0, callbackAddress(operationComplete));
    if (status >= 0)
        status = Ivi_SetAttributeViAddr(vi, VI_NULL, IVI_ATTR_CHECK_STATUS_CALLBACK, 0,
                                        callbackAddress(ZEV_QX70_CheckStatusCallback));
    if (status >= 0)
        status = Ivi_SetAttributeViBoolean(vi, VI_NULL, IVI_ATTR_SUPPORTS_WR_BUF_OPER_MODE, 0, VI_TRUE);
    return status;
}

} // namespace

ViStatus ZEV_QX70_InitAttributes(ViSession vi)
{
    ViStatus status = setInherentAttributes(vi);
    if (status < 0)
        return status;
    for (const AttributeRecord &attribute : attributeTable) {
        status = addAttribute(vi, attribute);
        if (status < 0)
            return status;
    }
    return VI_SUCCESS;
}
