// VXI-11 discovery by broadcast, as LAN instruments expect it: a portmapper GETPORT for the core
// channel (UDP, port 111) sent to every IPv4 broadcast network we are on; each host that answers
// with a port runs a VXI-11 server, and is asked *IDN? over a link.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qx::discovery {

struct Vxi11Host {
    std::string address;        // numeric IPv4
    std::uint16_t corePort = 0; // what its portmapper said
};

// The hosts that answer within `window`, each once. Empty with `problem` when no broadcast could go
// out (no interface with a broadcast address, no socket).
std::vector<Vxi11Host> findVxi11Hosts(std::chrono::milliseconds window, std::string &problem);

// The *IDN? answer of `device` on `host` (without its line end), or "" when there is none within
// `timeout`: no such device, a refusal, silence.
std::string askVxi11Identity(const Vxi11Host &host, const std::string &device, std::chrono::milliseconds timeout);

} // namespace qx::discovery
