#include "visa_instrument.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "visa/vxi11_status.h"

namespace qx::gate {
namespace {

namespace error = vxi11::error;
namespace reason = vxi11::reason;

// The longest slice of a read that device_abort may have to wait for.
constexpr ViUInt32 kSliceMs = 100;

// What our transports answer when the line itself is gone: a hung-up pty or serial port, a
// closed socket or VXI-11 link, a GPIB driver or bus failure. A time-out is no failure of the
// line, and a GPIB device that does not listen fails at once without it.
constexpr ViStatus kLineFailures[] = {VI_ERROR_CONN_LOST, VI_ERROR_IO, VI_ERROR_SYSTEM_ERROR};

bool lineFailure(ViStatus status) { return std::ranges::find(kLineFailures, status) != std::end(kLineFailures); }

long endReason(ViStatus status, bool lineFramed)
{
    if (status == VI_SUCCESS_TERM_CHAR)
        return lineFramed ? reason::kEnd | reason::kTermChar : reason::kTermChar;
    return status == VI_SUCCESS_MAX_CNT ? reason::kRequestCount : reason::kEnd;
}

} // namespace

void VisaInstrument::Session::adopt(ViSession vi)
{
    close();
    vi_ = vi;
}

void VisaInstrument::Session::close()
{
    if (vi_ != VI_NULL)
        viClose(std::exchange(vi_, VI_NULL));
}

VisaInstrument::VisaInstrument(ViSession rm, std::string resource, const SerialSetup &serial, Log log,
                               Reopening reopening)
    : rm_(rm), resource_(std::move(resource)), serial_(serial), log_(std::move(log)), reopening_(reopening)
{
    openStatus_ = open();
}

ViStatus VisaInstrument::open()
{
    ViSession vi = VI_NULL;
    ViStatus status = viOpen(rm_, resource_.c_str(), VI_NULL, 0, &vi);
    if (status < 0)
        return status;
    session_.adopt(vi);
    ViUInt16 type = 0;
    ViChar resourceClass[VI_FIND_BUFLEN] = {};
    (void)viGetAttribute(vi, VI_ATTR_INTF_TYPE, &type);
    (void)viGetAttribute(vi, VI_ATTR_RSRC_CLASS, resourceClass);
    const bool serialLine = type == VI_INTF_ASRL;
    lineFramed_ = serialLine || std::string_view(resourceClass) == "SOCKET";
    if (serialLine) {
        const std::pair<ViAttr, ViAttrState> setup[] = {
            {VI_ATTR_ASRL_BAUD, serial_.baud},       {VI_ATTR_ASRL_FLOW_CNTRL, serial_.flow},
            {VI_ATTR_ASRL_END_IN, VI_ASRL_END_TERMCHAR}, {VI_ATTR_ASRL_END_OUT, VI_ASRL_END_TERMCHAR},
            {VI_ATTR_TERMCHAR, '\n'},
        };
        for (const auto &[attribute, value] : setup)
            if (const ViStatus s = viSetAttribute(vi, attribute, value); s < 0 && status >= 0)
                status = s;
    }
    if (status < 0)
        session_.close();
    return status;
}

// Whether the call may go to the line, opening it again once its wait is over.
bool VisaInstrument::ready()
{
    if (opened())
        return true;
    if (Clock::now() < reopenAt_)
        return false;
    note("reopening");
    if (const ViStatus status = open(); status < 0) {
        lineDown("reopen failed", status);
        return false;
    }
    note("reopened");
    return true;
}

long VisaInstrument::outcome(ViStatus status)
{
    if (lineFailure(status))
        lineDown("line failed", status);
    else
        wait_ = {};
    return visa::deviceErrorOfStatus(status);
}

void VisaInstrument::lineDown(std::string_view what, ViStatus status)
{
    session_.close();
    reopenAt_ = Clock::now() + wait_;
    note(what, status);
    wait_ = std::min(std::max(wait_ * 2, reopening_.first), reopening_.longest);
}

// A log that fails does not fail the call.
void VisaInstrument::note(std::string_view what, ViStatus status) const noexcept
{
    if (!log_)
        return;
    try {
        std::string line = resource_ + ": " + std::string(what);
        if (status < 0) {
            ViChar text[256] = {};
            viStatusDesc(rm_, status, text);
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
            line += ": " + std::string(text) + " (status " + code + "); next open in " +
                    std::to_string(wait_.count()) + " ms";
        }
        log_(line);
    } catch (...) {
    }
}

ViStatus VisaInstrument::applyTimeout(const vxi11::IoWait &wait, ViUInt32 capMs)
{
    const int left = wait.remainingMs();
    const ViUInt32 ms = left < 0 ? VI_TMO_INFINITE : static_cast<ViUInt32>(left);
    return viSetAttribute(session_.get(), VI_ATTR_TMO_VALUE, std::min(ms, capMs));
}

template <class Call> long VisaInstrument::control(const vxi11::IoWait &wait, Call call)
{
    if (!ready())
        return error::kIoError;
    const ViStatus status = applyTimeout(wait);
    return outcome(status < 0 ? status : call(session_.get()));
}

long VisaInstrument::write(std::string_view data, bool end, const vxi11::IoWait &wait)
{
    if (!ready())
        return error::kIoError;
    // On a line-framed link the line feed is the message end: add it only where it is missing.
    const bool sendEnd = end && !(lineFramed_ && !data.empty() && data.back() == '\n');
    ViStatus status = viSetAttribute(session_.get(), VI_ATTR_SEND_END_EN, sendEnd ? VI_TRUE : VI_FALSE);
    if (status >= 0)
        status = applyTimeout(wait);
    ViUInt32 count = 0;
    if (status >= 0)
        status = viWrite(session_.get(), reinterpret_cast<ViConstBuf>(data.data()), static_cast<ViUInt32>(data.size()),
                         &count);
    return outcome(status);
}

vxi11::ReadReply VisaInstrument::read(std::size_t max, int termChar, const vxi11::IoWait &wait)
{
    vxi11::ReadReply reply;
    if (!ready()) {
        reply.error = error::kIoError;
        return reply;
    }
    const ViSession vi = session_.get();
    if (!lineFramed_) {
        // A line-framed session's termination character is its END and stays the line feed.
        ViStatus status = viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, termChar >= 0 ? VI_TRUE : VI_FALSE);
        if (status >= 0 && termChar >= 0)
            status = viSetAttribute(vi, VI_ATTR_TERMCHAR, static_cast<ViAttrState>(termChar));
        if (status < 0) {
            reply.error = outcome(status);
            return reply;
        }
    }
    std::string buffer;
    for (;;) {
        if (wait.aborted()) {
            reply.error = error::kAbort;
            return reply;
        }
        if (const ViStatus s = applyTimeout(wait, kSliceMs); s < 0) {
            reply.error = outcome(s);
            return reply;
        }
        buffer.assign(max - reply.data.size(), '\0');
        ViUInt32 count = 0;
        const ViStatus status =
            viRead(vi, reinterpret_cast<ViBuf>(buffer.data()), static_cast<ViUInt32>(buffer.size()), &count);
        // A slice that timed out keeps what arrived (a GPIB transfer may stop in the middle).
        reply.data.append(buffer, 0, count);
        if (status >= 0) {
            reply.reason = endReason(status, lineFramed_);
            reply.error = outcome(status);
            return reply;
        }
        // A slice that timed out goes on while the client's time-out lasts.
        if (status != VI_ERROR_TMO || wait.expired()) {
            reply.error = outcome(status);
            return reply;
        }
    }
}

long VisaInstrument::readStatusByte(unsigned char &stb, const vxi11::IoWait &wait)
{
    ViUInt16 value = 0;
    const long result = control(wait, [&value](ViSession vi) { return viReadSTB(vi, &value); });
    stb = static_cast<unsigned char>(value);
    return result;
}

long VisaInstrument::trigger(const vxi11::IoWait &wait)
{
    return control(wait, [](ViSession vi) { return viAssertTrigger(vi, VI_TRIG_PROT_DEFAULT); });
}

long VisaInstrument::clear(const vxi11::IoWait &wait)
{
    return control(wait, [](ViSession vi) { return viClear(vi); });
}

long VisaInstrument::remote(const vxi11::IoWait &wait)
{
    return control(wait, [](ViSession vi) { return viGpibControlREN(vi, VI_GPIB_REN_ASSERT_ADDRESS); });
}

long VisaInstrument::local(const vxi11::IoWait &wait)
{
    return control(wait, [](ViSession vi) { return viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL); });
}

} // namespace qx::gate
