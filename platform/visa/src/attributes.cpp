// viSetAttribute / viGetAttribute: one record per attribute, saying its type, the interfaces that
// have it, how to read it and (unless read-only) how to check and apply a new value.
#include <algorithm>
#include <cstring>
#include <limits>

#include "session.h"
#include "visa/visa.h"

namespace qx::visa {
namespace {

enum class AttrType { UInt8, UInt16, UInt32, Boolean, Session, Text };

constexpr unsigned onSerial = 1u << static_cast<unsigned>(ResourceKind::Serial);
constexpr unsigned onGpib = 1u << static_cast<unsigned>(ResourceKind::Gpib);
constexpr unsigned onTcp = 1u << static_cast<unsigned>(ResourceKind::TcpSocket);
constexpr unsigned onVxi11 = 1u << static_cast<unsigned>(ResourceKind::Vxi11);
constexpr unsigned onAll = onSerial | onGpib | onTcp | onVxi11;

struct AttributeRecord {
    ViAttr id;
    AttrType type;
    unsigned interfaces;
    ViAttrState (*get)(const Session &);
    ViStatus (*set)(Session &, ViAttrState); // null: read-only
    std::string (*text)(const Session &);    // Text attributes
};

ViStatus checkBoolean(ViAttrState v) { return v <= 1 ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE; }

ViStatus setTimeout(Session &s, ViAttrState v)
{
    if (v > VI_TMO_INFINITE)
        return VI_ERROR_NSUP_ATTR_STATE;
    if (const ViStatus status = s.transport().setTimeout(static_cast<ViUInt32>(v)); status < 0)
        return status;
    s.attrs.timeoutMs = static_cast<ViUInt32>(v);
    return VI_SUCCESS;
}

ViStatus applyTermChar(Session &s, ViBoolean enabled, ViUInt8 termChar)
{
    if (const ViStatus status = s.transport().setTermChar(enabled != VI_FALSE, termChar); status < 0)
        return status;
    s.attrs.termCharEnabled = enabled;
    s.attrs.termChar = termChar;
    return VI_SUCCESS;
}

ViStatus setTermChar(Session &s, ViAttrState v)
{
    if (v > 0xFF)
        return VI_ERROR_NSUP_ATTR_STATE;
    return applyTermChar(s, s.attrs.termCharEnabled, static_cast<ViUInt8>(v));
}

ViStatus setTermCharEnabled(Session &s, ViAttrState v)
{
    if (const ViStatus status = checkBoolean(v); status < 0)
        return status;
    return applyTermChar(s, static_cast<ViBoolean>(v), s.attrs.termChar);
}

ViStatus setSendEnd(Session &s, ViAttrState v)
{
    if (const ViStatus status = checkBoolean(v); status < 0)
        return status;
    s.attrs.sendEndEnabled = static_cast<ViBoolean>(v);
    return VI_SUCCESS;
}

ViStatus setReadBufferMode(Session &s, ViAttrState v)
{
    if (v != VI_FLUSH_ON_ACCESS && v != VI_FLUSH_DISABLE)
        return VI_ERROR_NSUP_ATTR_STATE;
    s.attrs.readBufferMode = static_cast<ViUInt16>(v);
    return VI_SUCCESS;
}

ViStatus setWriteBufferMode(Session &s, ViAttrState v)
{
    if (v != VI_FLUSH_ON_ACCESS && v != VI_FLUSH_WHEN_FULL)
        return VI_ERROR_NSUP_ATTR_STATE;
    s.attrs.writeBufferMode = static_cast<ViUInt16>(v);
    return VI_SUCCESS;
}

ViStatus applySerial(Session &s, const SerialSettings &settings)
{
    if (settings.baud == 0 || settings.dataBits < 5 || settings.dataBits > 8 || settings.parity > VI_ASRL_PAR_SPACE ||
        (settings.stopBits != VI_ASRL_STOP_ONE && settings.stopBits != VI_ASRL_STOP_TWO) ||
        (settings.flowControl & ~(VI_ASRL_FLOW_XON_XOFF | VI_ASRL_FLOW_RTS_CTS)) != 0)
        return VI_ERROR_NSUP_ATTR_STATE;
    if (const ViStatus status = s.transport().configureSerial(settings); status < 0)
        return status;
    s.attrs.serial = settings;
    return VI_SUCCESS;
}

template <class Field, Field SerialSettings::*member>
ViStatus setSerialField(Session &s, ViAttrState v)
{
    if (v > std::numeric_limits<Field>::max())
        return VI_ERROR_NSUP_ATTR_STATE;
    SerialSettings settings = s.attrs.serial;
    settings.*member = static_cast<Field>(v);
    return applySerial(s, settings);
}

ViStatus setEndIn(Session &s, ViAttrState v)
{
    if (v != VI_ASRL_END_NONE && v != VI_ASRL_END_LAST_BIT && v != VI_ASRL_END_TERMCHAR)
        return VI_ERROR_NSUP_ATTR_STATE;
    s.attrs.endIn = static_cast<ViUInt16>(v);
    return VI_SUCCESS;
}

ViStatus setEndOut(Session &s, ViAttrState v)
{
    if (v > VI_ASRL_END_BREAK)
        return VI_ERROR_NSUP_ATTR_STATE;
    s.attrs.endOut = static_cast<ViUInt16>(v);
    return VI_SUCCESS;
}

ViStatus setLockTimeout(Session &s, ViAttrState v)
{
    if (v > VI_TMO_INFINITE)
        return VI_ERROR_NSUP_ATTR_STATE;
    s.attrs.lockTimeoutMs = static_cast<ViUInt32>(v);
    s.transport().setLockTimeout(s.attrs.lockTimeoutMs);
    return VI_SUCCESS;
}

ViUInt16 interfaceType(ResourceKind kind)
{
    switch (kind) {
    case ResourceKind::Serial: return VI_INTF_ASRL;
    case ResourceKind::Gpib: return VI_INTF_GPIB;
    case ResourceKind::TcpSocket:
    case ResourceKind::Vxi11: return VI_INTF_TCPIP;
    }
    return 0;
}

// Text attributes have no numeric value.
ViAttrState none(const Session &) { return 0; }

constexpr AttributeRecord attributes[] = {
    {VI_ATTR_RSRC_NAME, AttrType::Text, onAll, none, nullptr, [](const Session &s) { return s.name; }},
    {VI_ATTR_RSRC_CLASS, AttrType::Text, onAll, none, nullptr,
     [](const Session &s) { return std::string(s.resource.kind == ResourceKind::TcpSocket ? "SOCKET" : "INSTR"); }},
    {VI_ATTR_INTF_TYPE, AttrType::UInt16, onAll, [](const Session &s) -> ViAttrState { return interfaceType(s.resource.kind); }, nullptr, nullptr},
    {VI_ATTR_INTF_NUM, AttrType::UInt16, onAll, [](const Session &s) -> ViAttrState { return s.resource.board; }, nullptr, nullptr},
    {VI_ATTR_RM_SESSION, AttrType::Session, onAll, [](const Session &s) -> ViAttrState { return s.rm; }, nullptr, nullptr},
    {VI_ATTR_TMO_VALUE, AttrType::UInt32, onAll, [](const Session &s) -> ViAttrState { return s.attrs.timeoutMs; }, setTimeout, nullptr},
    {VI_ATTR_TERMCHAR, AttrType::UInt8, onAll, [](const Session &s) -> ViAttrState { return s.attrs.termChar; }, setTermChar, nullptr},
    {VI_ATTR_TERMCHAR_EN, AttrType::Boolean, onAll, [](const Session &s) -> ViAttrState { return s.attrs.termCharEnabled; }, setTermCharEnabled, nullptr},
    {VI_ATTR_SEND_END_EN, AttrType::Boolean, onAll, [](const Session &s) -> ViAttrState { return s.attrs.sendEndEnabled; }, setSendEnd, nullptr},
    {VI_ATTR_RD_BUF_OPER_MODE, AttrType::UInt16, onAll, [](const Session &s) -> ViAttrState { return s.attrs.readBufferMode; }, setReadBufferMode, nullptr},
    {VI_ATTR_WR_BUF_OPER_MODE, AttrType::UInt16, onAll, [](const Session &s) -> ViAttrState { return s.attrs.writeBufferMode; }, setWriteBufferMode, nullptr},
    {VI_ATTR_RD_BUF_SIZE, AttrType::UInt32, onAll, [](const Session &s) -> ViAttrState { return s.readBufferSize; }, nullptr, nullptr},
    {VI_ATTR_WR_BUF_SIZE, AttrType::UInt32, onAll, [](const Session &s) -> ViAttrState { return s.writeBufferSize; }, nullptr, nullptr},
    {VI_ATTR_GPIB_PRIMARY_ADDR, AttrType::UInt16, onGpib, [](const Session &s) -> ViAttrState { return s.resource.primary; }, nullptr, nullptr},
    {VI_ATTR_GPIB_SECONDARY_ADDR, AttrType::UInt16, onGpib, [](const Session &s) -> ViAttrState { return s.resource.secondary; }, nullptr, nullptr},
    {VI_ATTR_TCPIP_ADDR, AttrType::Text, onTcp | onVxi11, none, nullptr, [](const Session &s) { return s.resource.host; }},
    {VI_ATTR_TCPIP_DEVICE_NAME, AttrType::Text, onVxi11, none, nullptr, [](const Session &s) { return s.resource.device; }},
    {QX_ATTR_VXI11_LOCK_TMO, AttrType::UInt32, onVxi11, [](const Session &s) -> ViAttrState { return s.attrs.lockTimeoutMs.value_or(s.attrs.timeoutMs); }, setLockTimeout, nullptr},
    {VI_ATTR_TCPIP_PORT, AttrType::UInt16, onTcp, [](const Session &s) -> ViAttrState { return s.resource.port; }, nullptr, nullptr},
    {VI_ATTR_ASRL_BAUD, AttrType::UInt32, onSerial, [](const Session &s) -> ViAttrState { return s.attrs.serial.baud; }, setSerialField<ViUInt32, &SerialSettings::baud>, nullptr},
    {VI_ATTR_ASRL_DATA_BITS, AttrType::UInt16, onSerial, [](const Session &s) -> ViAttrState { return s.attrs.serial.dataBits; }, setSerialField<ViUInt16, &SerialSettings::dataBits>, nullptr},
    {VI_ATTR_ASRL_PARITY, AttrType::UInt16, onSerial, [](const Session &s) -> ViAttrState { return s.attrs.serial.parity; }, setSerialField<ViUInt16, &SerialSettings::parity>, nullptr},
    {VI_ATTR_ASRL_STOP_BITS, AttrType::UInt16, onSerial, [](const Session &s) -> ViAttrState { return s.attrs.serial.stopBits; }, setSerialField<ViUInt16, &SerialSettings::stopBits>, nullptr},
    {VI_ATTR_ASRL_FLOW_CNTRL, AttrType::UInt16, onSerial, [](const Session &s) -> ViAttrState { return s.attrs.serial.flowControl; }, setSerialField<ViUInt16, &SerialSettings::flowControl>, nullptr},
    {VI_ATTR_ASRL_END_IN, AttrType::UInt16, onSerial, [](const Session &s) -> ViAttrState { return s.attrs.endIn; }, setEndIn, nullptr},
    {VI_ATTR_ASRL_END_OUT, AttrType::UInt16, onSerial, [](const Session &s) -> ViAttrState { return s.attrs.endOut; }, setEndOut, nullptr},
};

const AttributeRecord *findAttribute(ViAttr id)
{
    const auto *it = std::find_if(std::begin(attributes), std::end(attributes),
                                  [id](const AttributeRecord &a) { return a.id == id; });
    return it == std::end(attributes) ? nullptr : it;
}

bool appliesTo(const AttributeRecord &a, const Session &s)
{
    return (a.interfaces & (1u << static_cast<unsigned>(s.resource.kind))) != 0;
}

void copyText(const std::string &text, void *value)
{
    const std::size_t n = std::min<std::size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(value, text.data(), n);
    static_cast<ViChar *>(value)[n] = 0;
}

void store(AttrType type, ViAttrState v, void *value)
{
    switch (type) {
    case AttrType::UInt8: *static_cast<ViUInt8 *>(value) = static_cast<ViUInt8>(v); break;
    case AttrType::UInt16:
    case AttrType::Boolean: *static_cast<ViUInt16 *>(value) = static_cast<ViUInt16>(v); break;
    case AttrType::UInt32:
    case AttrType::Session: *static_cast<ViUInt32 *>(value) = static_cast<ViUInt32>(v); break;
    case AttrType::Text: break;
    }
}

} // namespace
} // namespace qx::visa

using namespace qx::visa;

ViStatus viSetAttribute(ViSession vi, ViAttr attribute, ViAttrState value)
{
    if (isResourceManager(vi))
        return VI_ERROR_NSUP_ATTR; // it has no settable attribute
    return withSession(vi, [&](Session &s) {
        const AttributeRecord *a = findAttribute(attribute);
        if (!a || !appliesTo(*a, s))
            return VI_ERROR_NSUP_ATTR;
        if (!a->set)
            return VI_ERROR_ATTR_READONLY;
        return a->set(s, value);
    });
}

ViStatus viGetAttribute(ViSession vi, ViAttr attribute, void *value)
{
    if (isResourceManager(vi)) {
        if (attribute != VI_ATTR_RSRC_NAME)
            return VI_ERROR_NSUP_ATTR;
        if (!value)
            return VI_ERROR_USER_BUF;
        copyText("", value); // the resource manager has no resource
        return VI_SUCCESS;
    }
    return withSession(vi, [&](Session &s) {
        const AttributeRecord *a = findAttribute(attribute);
        if (!a || !appliesTo(*a, s))
            return VI_ERROR_NSUP_ATTR;
        if (!value)
            return VI_ERROR_USER_BUF;
        if (a->type == AttrType::Text)
            copyText(a->text(s), value);
        else
            store(a->type, a->get(s), value);
        return VI_SUCCESS;
    });
}
