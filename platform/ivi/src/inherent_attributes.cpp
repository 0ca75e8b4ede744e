#include "inherent_attributes.h"

#include "attribute_access.h"

namespace qx::ivi {
namespace {

// The engine's settings and facts: never instrument state, so kept whatever the Cache option and
// never a reason for an instrument status check.
constexpr IviAttrFlags setting = IVI_VAL_ALWAYS_CACHE | IVI_VAL_DONT_CHECK_STATUS;
constexpr IviAttrFlags userReadOnly = setting | IVI_VAL_NOT_USER_WRITABLE;
constexpr IviAttrFlags hidden = setting | IVI_VAL_HIDDEN;

struct InherentAttribute {
    ViAttr id;
    const char *name;
    IviAttrFlags flags;
    Value (*initial)(const SessionSetup &);
};

Value boolean(bool value)
{
    return value ? VI_TRUE : VI_FALSE;
}

const InherentAttribute inherentAttributes[] = {
    {IVI_ATTR_RANGE_CHECK, "IVI_ATTR_RANGE_CHECK", setting,
     [](const SessionSetup &s) { return boolean(s.options.rangeCheck); }},
    {IVI_ATTR_QUERY_INSTRUMENT_STATUS, "IVI_ATTR_QUERY_INSTRUMENT_STATUS", setting,
     [](const SessionSetup &s) { return boolean(s.options.queryInstrStatus); }},
    {IVI_ATTR_CACHE, "IVI_ATTR_CACHE", setting, [](const SessionSetup &s) { return boolean(s.options.cache); }},
    {IVI_ATTR_SIMULATE, "IVI_ATTR_SIMULATE", setting,
     [](const SessionSetup &s) { return boolean(s.options.simulate); }},
    {IVI_ATTR_RECORD_COERCIONS, "IVI_ATTR_RECORD_COERCIONS", setting,
     [](const SessionSetup &s) { return boolean(s.options.recordCoercions); }},
    {IVI_ATTR_INTERCHANGE_CHECK, "IVI_ATTR_INTERCHANGE_CHECK", setting,
     [](const SessionSetup &s) { return boolean(s.options.interchangeCheck); }},
    {IVI_ATTR_DRIVER_SETUP, "IVI_ATTR_DRIVER_SETUP", userReadOnly,
     [](const SessionSetup &s) { return Value(s.options.driverSetup); }},
    {IVI_ATTR_SPECIFIC_DRIVER_PREFIX, "IVI_ATTR_SPECIFIC_DRIVER_PREFIX", userReadOnly,
     [](const SessionSetup &s) { return Value(std::string(s.prefix)); }},
    {IVI_ATTR_IO_RESOURCE_DESCRIPTOR, "IVI_ATTR_IO_RESOURCE_DESCRIPTOR", userReadOnly,
     [](const SessionSetup &) { return Value(std::string()); }},
    {IVI_ATTR_USE_SPECIFIC_SIMULATION, "IVI_ATTR_USE_SPECIFIC_SIMULATION", setting,
     [](const SessionSetup &) { return boolean(true); }},
    {IVI_ATTR_SPECIFIC_DRIVER_MAJOR_VERSION, "IVI_ATTR_SPECIFIC_DRIVER_MAJOR_VERSION", userReadOnly,
     [](const SessionSetup &) { return Value(ViInt32{0}); }},
    {IVI_ATTR_SPECIFIC_DRIVER_MINOR_VERSION, "IVI_ATTR_SPECIFIC_DRIVER_MINOR_VERSION", userReadOnly,
     [](const SessionSetup &) { return Value(ViInt32{0}); }},
    {IVI_ATTR_SPECIFIC_DRIVER_REVISION, "IVI_ATTR_SPECIFIC_DRIVER_REVISION", userReadOnly,
     [](const SessionSetup &) { return Value(std::string()); }},
    {IVI_ATTR_OPC_CALLBACK, "IVI_ATTR_OPC_CALLBACK", hidden,
     [](const SessionSetup &) { return Value(ViAddr{nullptr}); }},
    {IVI_ATTR_CHECK_STATUS_CALLBACK, "IVI_ATTR_CHECK_STATUS_CALLBACK", hidden,
     [](const SessionSetup &) { return Value(ViAddr{nullptr}); }},
    {IVI_ATTR_SUPPORTS_WR_BUF_OPER_MODE, "IVI_ATTR_SUPPORTS_WR_BUF_OPER_MODE", hidden,
     [](const SessionSetup &) { return boolean(false); }},
    {IVI_ATTR_IO_SESSION, "IVI_ATTR_IO_SESSION", hidden,
     [](const SessionSetup &) { return Value(ViSession{VI_NULL}); }},
    {IVI_ATTR_VISA_RM_SESSION, "IVI_ATTR_VISA_RM_SESSION", hidden,
     [](const SessionSetup &s) { return Value(s.resourceManager); }},
    {IVI_ATTR_CHANNEL_COUNT, "IVI_ATTR_CHANNEL_COUNT", userReadOnly,
     [](const SessionSetup &) { return Value(ViInt32{0}); }},
};

} // namespace

ViStatus addInherentAttributes(Session &session, const SessionSetup &setup)
{
    for (const InherentAttribute &record : inherentAttributes) {
        const ViStatus status = std::visit(
            [&](auto &&value) {
                using T = std::decay_t<decltype(value)>;
                return addAttribute<T>(session, record.id, record.name, std::move(value), record.flags,
                                       Callbacks<T>{});
            },
            record.initial(setup));
        if (status < 0)
            return status;
    }
    return VI_SUCCESS;
}

} // namespace qx::ivi
