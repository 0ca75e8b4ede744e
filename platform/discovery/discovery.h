// Finding instruments on the LAN, as VISA's viFindRsrc does: VXI-11 broadcast and mDNS/DNS-SD at
// once, what each finds merged by host into one entry per instrument with the VISA resource
// strings that reach it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace qx::discovery {

struct FoundInstrument {
    std::string address;  // numeric IPv4
    std::string hostName; // its mDNS name ("bench.local"); "" when only the broadcast found it
    std::string name;     // its DNS-SD service-instance name; "" likewise
    std::string manufacturer, model, serialNumber, firmware; // "" where unknown
    std::vector<std::string> resources; // "TCPIP::10.0.0.5::gpib0,5::INSTR", "TCPIP::10.0.0.5::5025::SOCKET"
    bool byBroadcast = false;
    bool byMdns = false;
};

struct Discovery {
    std::vector<FoundInstrument> instruments; // by address, then name
    std::vector<std::string> notes;           // what could not be asked, in words
};

// Looks for `timeout` (the VXI-11 hosts are asked *IDN? within it too).
Discovery discoverInstruments(std::chrono::milliseconds timeout);

} // namespace qx::discovery
