// A local instrument, opened through the I/O layer, served as a VXI-11 instrument.
//
// Message framing is bridged: a message that ends with END on the LAN goes out on a serial line
// or a raw socket ending in a line feed (unless it already ends in one), and a line feed read from
// them is END to the LAN client. GPIB and VXI-11 links carry END as they are.
// Reads other than GPIB go in short slices so that device_abort ends them promptly.
#pragma once

#include <string>

#include "visa/visa.h"
#include "vxi11/instrument.h"

namespace qx::gate {

struct SerialSetup {
    unsigned baud = 9600;
    ViUInt16 flow = VI_ASRL_FLOW_RTS_CTS;
};

class VisaInstrument final : public vxi11::Instrument {
public:
    // Opens `resource`; check opened() and status().
    VisaInstrument(ViSession rm, const std::string &resource, const SerialSetup &serial);
    ~VisaInstrument() override;
    VisaInstrument(const VisaInstrument &) = delete;
    VisaInstrument &operator=(const VisaInstrument &) = delete;

    bool opened() const { return session_ != VI_NULL; }
    ViStatus status() const { return openStatus_; }

    long write(std::string_view data, bool end, const vxi11::IoWait &wait) override;
    vxi11::ReadReply read(std::size_t max, int termChar, const vxi11::IoWait &wait) override;
    long readStatusByte(unsigned char &stb, const vxi11::IoWait &wait) override;
    long trigger(const vxi11::IoWait &wait) override;
    long clear(const vxi11::IoWait &wait) override;
    long remote(const vxi11::IoWait &wait) override;
    long local(const vxi11::IoWait &wait) override;

private:
    ViStatus applyTimeout(const vxi11::IoWait &wait, ViUInt32 capMs = VI_TMO_INFINITE);

    ViSession session_ = VI_NULL;
    ViStatus openStatus_ = VI_SUCCESS;
    bool lineFramed_ = false; // serial line or raw socket: the line feed ends a message
    bool gpib_ = false;
};

// The VXI-11 error for a VISA status.
long deviceError(ViStatus status);

} // namespace qx::gate
