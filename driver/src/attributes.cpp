#include "attributes.h"

#include "errors.h"
#include "runtime/clock.h"
#include "exchange.h"
#include "identification.h"
#include "status.h"
#include "zev_qx70.h"

#include <cstdio>
#include <cstdlib>
#include <variant>

using qx::runtime::Delay;
using zev::sessionState;
using zev::record;
using zev::Scpi;

// ---- Range tables --------------------------------------------------------------------------

namespace {

const IviRangeTableEntry voltageLimitEntries[] = {{0.0, 300.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry currentLimitEntries[] = {{0.0, 13.34, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry frequencyEntries[] = {{16.0, 5000.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry acvAmplitudeEntries[] = {{0.0, 300.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTableEntry accAmplitudeEntries[] = {{0.0, 13.34, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
// Each function code carries the vocabulary entry of its query as command value.
constexpr ViInt32 queryOf(Scpi query) { return static_cast<ViInt32>(query); }
const IviRangeTableEntry queryFunctionEntries[] = {
    {ZEV_QX70_VAL_QUERY_FREQUENCY, 0, 0, "", queryOf(Scpi::FrequencyQuery)},
    {ZEV_QX70_VAL_QUERY_VOLTAGE, 0, 0, "", queryOf(Scpi::VoltageQuery)},
    {ZEV_QX70_VAL_QUERY_CURRENT_LIMIT, 0, 0, "", queryOf(Scpi::CurrentQuery)},
    {ZEV_QX70_VAL_QUERY_VOLTAGE_RANGE, 0, 0, "", queryOf(Scpi::VoltageRangeQuery)},
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
    Scpi query;
    double waitAfterRead;
};

constexpr NumberQuery numberQueries[] = {
    {ZEV_QX70_ATTR_VOLTAGE_LIMIT, Scpi::VoltageLimitQuery, 0.01},
    {ZEV_QX70_ATTR_CURRENT_LIMIT, Scpi::CurrentLimitQuery, 0.0},
    {ZEV_QX70_ATTR_FREQUENCY_LOW_LIMIT, Scpi::FrequencyLowLimitQuery, 0.0},
    {ZEV_QX70_ATTR_FREQUENCY_HIGH_LIMIT, Scpi::FrequencyHighLimitQuery, 0.0},
    {ZEV_QX70_ATTR_FREQUENCY, Scpi::FrequencyQuery, 0.0},
    {ZEV_QX70_ATTR_ACV_AMPLITUDE, Scpi::VoltageQuery, 0.0},
    {ZEV_QX70_ATTR_VOLTAGE_RANGE, Scpi::VoltageRangeQuery, 0.0},
};

struct NumberSetting {
    ViAttr id;
    Scpi command;
};

constexpr NumberSetting numberSettings[] = {
    {ZEV_QX70_ATTR_FREQUENCY, Scpi::SetFrequency},
    {ZEV_QX70_ATTR_ACV_AMPLITUDE, Scpi::SetVoltage},
    {ZEV_QX70_ATTR_ACC_AMPLITUDE, Scpi::SetCurrent},
};

template <class Record, size_t N> const Record *findRecord(const Record (&table)[N], ViAttr id)
{
    for (const Record &entry : table)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

ViStatus readNumber(ViSession vi, ViSession io, ViConstString, ViAttr id, ViReal64 *value)
{
    const NumberQuery *query = findRecord(numberQueries, id);
    if (!query)
        return IVI_ERROR_INVALID_ATTRIBUTE;
    ViReal64 number = 0.0;
    const ViStatus status = zev::ask(vi, io, query->query, "%lf", &number);
    if (status < 0)
        return status;
    *value = number;
    Delay(query->waitAfterRead);
    return VI_SUCCESS;
}

ViStatus writeNumber(ViSession vi, ViSession io, ViConstString, ViAttr id, ViReal64 value)
{
    const NumberSetting *setting = findRecord(numberSettings, id);
    if (!setting)
        return IVI_ERROR_INVALID_ATTRIBUTE;
    return zev::sendSettled(vi, io, setting->command, value);
}

// The answer to the current query carries the current-limit setting, on some firmware preceded by
// a second number: read the one answer and take its last number.
ViStatus readCurrentSetting(ViSession vi, ViSession io, ViConstString, ViAttr, ViReal64 *value)
{
    ViChar answer[257] = {};
    const ViStatus status = zev::ask(vi, io, Scpi::CurrentQuery, "%256[^\n]", answer);
    if (status < 0)
        return status;
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

// The value selects the range (the low-range selector, anything else high); the instrument takes volts.
ViStatus writeVoltageRange(ViSession vi, ViSession io, ViConstString, ViAttr, ViReal64 value)
{
    const ViReal64 limit = sessionState(vi).voltageLimit;
    return zev::sendSettled(vi, io, Scpi::SetVoltageRange, value == ZEV_QX70_VAL_RANGE_LOW ? limit / 2.0 : limit);
}

ViStatus readOutputConnected(ViSession vi, ViSession io, ViConstString, ViAttr, ViBoolean *value)
{
    ViInt32 state = 0;
    const ViStatus status = zev::ask(vi, io, Scpi::OutputQuery, "%ld", &state);
    if (status < 0)
        return status;
    *value = state != 0 ? VI_TRUE : VI_FALSE;
    return VI_SUCCESS;
}

ViStatus writeOutputConnected(ViSession vi, ViSession io, ViConstString, ViAttr, ViBoolean value)
{
    return zev::sendSettled(vi, io, Scpi::SetOutput, static_cast<ViInt32>(value == VI_TRUE ? 1 : 0));
}

// Sends the selected query; the caller reads the answer.
ViStatus writeQueryFunction(ViSession vi, ViSession io, ViConstString, ViAttr, ViInt32 value)
{
    ViInt32 query = 0;
    const ViStatus status = Ivi_GetViInt32EntryFromValue(value, &attrQueryFunctionRangeTable, VI_NULL, VI_NULL,
                                                          VI_NULL, VI_NULL, VI_NULL, &query);
    if (status < 0)
        return status;
    return zev::send(vi, io, qx::visa::RuntimeFormat{zev::scpi(static_cast<Scpi>(query))});
}

ViStatus writeRemote(ViSession vi, ViSession io, ViConstString, ViAttr, ViInt32 value)
{
    return zev::sendSettled(vi, io, value == ZEV_QX70_VAL_REMOTE ? Scpi::Remote : Scpi::Local);
}

// The QX models take the mode number as is; older firmware knows only the normal and the
// remote-only display, with the numbers swapped (mode 2 is its 0, mode 1 its 1).
ViStatus writeDisplayMode(ViSession vi, ViSession io, ViConstString, ViAttr, ViInt32 value)
{
    const ViInt32 model = sessionState(vi).modelNumber;
    ViStatus status = VI_SUCCESS;
    if (zev::knownModel(model))
        status = zev::send(vi, io, zev::scpi(Scpi::SetDisplayMode), value);
    else if (value == 2 || value == 1)
        status = zev::send(vi, io, zev::scpi(Scpi::SetDisplayMode), static_cast<ViInt32>(value == 2 ? 0 : 1));
    if (status < 0)
        return status;
    Delay(zev::kSettle);
    return VI_SUCCESS;
}

ViStatus readIdentification(ViSession vi, ViSession io, ViConstString, ViAttr id, ViConstString)
{
    zev::Identity identity;
    const ViStatus status = zev::readIdentity(vi, io, zev::kStatusPause, identity);
    if (status < 0)
        return status;
    return Ivi_SetValInStringCallback(vi, id, identity.bytes);
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
