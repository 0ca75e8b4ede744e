// A local instrument, opened through the I/O layer, served as a VXI-11 instrument.
//
// Message framing is bridged: a message that ends with END on the LAN goes out on a serial line
// or a raw socket ending in a line feed (unless it already ends in one), and a line feed read from
// them is END to the LAN client. GPIB and VXI-11 links carry END as they are.
// Reads go in short slices so that device_abort, or a server that stops, ends them promptly.
//
// A line that fails (a serial port or pty gone, a socket closed, a GPIB driver error) is closed
// and the call gets an I/O error; so does every call until the resource opens again. The next
// call after a failure reopens it at once; each failure after that waits longer before the next
// attempt. Calls come from one thread at a time.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "visa/visa.h"
#include "vxi11/instrument.h"

namespace qx::gate {

struct SerialSetup {
    unsigned baud = 9600;
    ViUInt16 flow = VI_ASRL_FLOW_RTS_CTS;
};

// The wait before reopening a failed line: none at first, then `first`, doubling up to `longest`;
// a call that finds the line working starts it over.
struct Reopening {
    std::chrono::milliseconds first{200};
    std::chrono::milliseconds longest{5000};
};

class VisaInstrument final : public vxi11::Instrument {
public:
    using Log = std::function<void(const std::string &)>;

    // Opens `resource`; check opened() and status(). `log` hears of each failure and reopening.
    VisaInstrument(ViSession rm, std::string resource, const SerialSetup &serial, Log log = {},
                   Reopening reopening = {});

    bool opened() const { return session_.get() != VI_NULL; } // now, not only at first
    ViStatus status() const { return openStatus_; }           // of the first open

    long write(std::string_view data, bool end, const vxi11::IoWait &wait) override;
    vxi11::ReadReply read(std::size_t max, int termChar, const vxi11::IoWait &wait) override;
    long readStatusByte(unsigned char &stb, const vxi11::IoWait &wait) override;
    long trigger(const vxi11::IoWait &wait) override;
    long clear(const vxi11::IoWait &wait) override;
    long remote(const vxi11::IoWait &wait) override;
    long local(const vxi11::IoWait &wait) override;

private:
    using Clock = std::chrono::steady_clock;

    // The session, closed with its holder.
    class Session {
    public:
        Session() = default;
        ~Session() { close(); }
        Session(const Session &) = delete;
        Session &operator=(const Session &) = delete;
        ViSession get() const { return vi_; }
        void adopt(ViSession vi);
        void close();

    private:
        ViSession vi_ = VI_NULL;
    };

    ViStatus open();
    bool ready();
    long outcome(ViStatus status);
    void lineDown(std::string_view what, ViStatus status);
    void note(std::string_view what, ViStatus status = VI_SUCCESS) const noexcept;
    ViStatus applyTimeout(const vxi11::IoWait &wait, ViUInt32 capMs = VI_TMO_INFINITE);
    template <class Call> long control(const vxi11::IoWait &wait, Call call);

    const ViSession rm_;
    const std::string resource_;
    const SerialSetup serial_;
    const Log log_;
    const Reopening reopening_;
    Session session_;
    ViStatus openStatus_ = VI_SUCCESS;
    bool lineFramed_ = false; // serial line or raw socket: the line feed ends a message
    Clock::time_point reopenAt_{};
    std::chrono::milliseconds wait_{0}; // before the reopen after the next failure
};

} // namespace qx::gate
