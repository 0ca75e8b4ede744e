#include "visa_instrument.h"

#include <algorithm>

namespace qx::gate {
namespace {

namespace error = vxi11::error;
namespace reason = vxi11::reason;

// The longest slice of a read that device_abort may have to wait for.
constexpr ViUInt32 kSliceMs = 100;

} // namespace

long deviceError(ViStatus status)
{
    if (status >= 0)
        return error::kNone;
    switch (status) {
    case VI_ERROR_TMO: return error::kIoTimeout;
    case VI_ERROR_NSUP_OPER:
    case VI_ERROR_INV_MODE: return error::kNotSupported;
    case VI_ERROR_RSRC_LOCKED: return error::kLocked;
    case VI_ERROR_ABORT: return error::kAbort;
    case VI_ERROR_INV_PARAMETER: return error::kParameter;
    default: return error::kIoError;
    }
}

VisaInstrument::VisaInstrument(ViSession rm, const std::string &resource, const SerialSetup &serial)
{
    openStatus_ = viOpen(rm, resource.c_str(), VI_NULL, 0, &session_);
    if (openStatus_ < 0) {
        session_ = VI_NULL;
        return;
    }
    ViUInt16 type = 0;
    ViChar resourceClass[VI_FIND_BUFLEN] = {};
    (void)viGetAttribute(session_, VI_ATTR_INTF_TYPE, &type);
    (void)viGetAttribute(session_, VI_ATTR_RSRC_CLASS, resourceClass);
    const bool serialLine = type == VI_INTF_ASRL;
    lineFramed_ = serialLine || std::string_view(resourceClass) == "SOCKET";
    gpib_ = type == VI_INTF_GPIB;
    if (serialLine) {
        const std::pair<ViAttr, ViAttrState> setup[] = {
            {VI_ATTR_ASRL_BAUD, serial.baud},       {VI_ATTR_ASRL_FLOW_CNTRL, serial.flow},
            {VI_ATTR_ASRL_END_IN, VI_ASRL_END_TERMCHAR}, {VI_ATTR_ASRL_END_OUT, VI_ASRL_END_TERMCHAR},
            {VI_ATTR_TERMCHAR, '\n'},
        };
        for (const auto &[attribute, value] : setup)
            if (const ViStatus s = viSetAttribute(session_, attribute, value); s < 0 && openStatus_ >= 0)
                openStatus_ = s;
    }
    if (openStatus_ < 0) {
        viClose(session_);
        session_ = VI_NULL;
    }
}

VisaInstrument::~VisaInstrument()
{
    if (session_ != VI_NULL)
        viClose(session_);
}

ViStatus VisaInstrument::applyTimeout(const vxi11::IoWait &wait, ViUInt32 capMs)
{
    const int left = wait.remainingMs();
    const ViUInt32 ms = left < 0 ? VI_TMO_INFINITE : static_cast<ViUInt32>(left);
    return viSetAttribute(session_, VI_ATTR_TMO_VALUE, std::min(ms, capMs));
}

long VisaInstrument::write(std::string_view data, bool end, const vxi11::IoWait &wait)
{
    // On a line-framed link the line feed is the message end: add it only where it is missing.
    const bool sendEnd = end && !(lineFramed_ && !data.empty() && data.back() == '\n');
    ViStatus status = viSetAttribute(session_, VI_ATTR_SEND_END_EN, sendEnd ? VI_TRUE : VI_FALSE);
    if (status >= 0)
        status = applyTimeout(wait);
    ViUInt32 count = 0;
    if (status >= 0)
        status = viWrite(session_, reinterpret_cast<ViConstBuf>(data.data()), static_cast<ViUInt32>(data.size()), &count);
    return deviceError(status);
}

vxi11::ReadReply VisaInstrument::read(std::size_t max, int termChar, const vxi11::IoWait &wait)
{
    vxi11::ReadReply reply;
    if (!lineFramed_) {
        // A line-framed session's termination character is its END and stays the line feed.
        ViStatus status = viSetAttribute(session_, VI_ATTR_TERMCHAR_EN, termChar >= 0 ? VI_TRUE : VI_FALSE);
        if (status >= 0 && termChar >= 0)
            status = viSetAttribute(session_, VI_ATTR_TERMCHAR, static_cast<ViAttrState>(termChar));
        if (status < 0) {
            reply.error = deviceError(status);
            return reply;
        }
    }
    std::string buffer;
    for (;;) {
        if (wait.aborted()) {
            reply.error = error::kAbort;
            return reply;
        }
        if (const ViStatus s = applyTimeout(wait, gpib_ ? VI_TMO_INFINITE : kSliceMs); s < 0) {
            reply.error = deviceError(s);
            return reply;
        }
        buffer.assign(max - reply.data.size(), '\0');
        ViUInt32 count = 0;
        const ViStatus status =
            viRead(session_, reinterpret_cast<ViBuf>(buffer.data()), static_cast<ViUInt32>(buffer.size()), &count);
        reply.data.append(buffer, 0, count);
        if (status == VI_SUCCESS_TERM_CHAR) {
            reply.reason = lineFramed_ ? reason::kEnd | reason::kTermChar : reason::kTermChar;
            return reply;
        }
        if (status == VI_SUCCESS_MAX_CNT) {
            reply.reason = reason::kRequestCount;
            return reply;
        }
        if (status >= 0) {
            reply.reason = reason::kEnd;
            return reply;
        }
        // A slice that timed out goes on while the client's time-out lasts.
        if (status != VI_ERROR_TMO || gpib_ || wait.expired()) {
            reply.error = deviceError(status);
            return reply;
        }
    }
}

long VisaInstrument::readStatusByte(unsigned char &stb, const vxi11::IoWait &wait)
{
    ViUInt16 value = 0;
    ViStatus status = applyTimeout(wait);
    if (status >= 0)
        status = viReadSTB(session_, &value);
    stb = static_cast<unsigned char>(value);
    return deviceError(status);
}

long VisaInstrument::trigger(const vxi11::IoWait &wait)
{
    const ViStatus status = applyTimeout(wait);
    return deviceError(status < 0 ? status : viAssertTrigger(session_, VI_TRIG_PROT_DEFAULT));
}

long VisaInstrument::clear(const vxi11::IoWait &wait)
{
    const ViStatus status = applyTimeout(wait);
    return deviceError(status < 0 ? status : viClear(session_));
}

long VisaInstrument::remote(const vxi11::IoWait &wait)
{
    const ViStatus status = applyTimeout(wait);
    return deviceError(status < 0 ? status : viGpibControlREN(session_, VI_GPIB_REN_ASSERT_ADDRESS));
}

long VisaInstrument::local(const vxi11::IoWait &wait)
{
    const ViStatus status = applyTimeout(wait);
    return deviceError(status < 0 ? status : viGpibControlREN(session_, VI_GPIB_REN_ADDRESS_GTL));
}

} // namespace qx::gate
