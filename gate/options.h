// Command line of qxgate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serve/access.h"

namespace qx::gate {

struct Served {
    std::string device;   // VXI-11 device name: "inst0", "gpib0,5"
    std::string resource; // what the I/O layer opens: "GPIB0::5::INSTR", "ASRL1::INSTR", ...
    std::uint16_t socketPort = 0; // raw SCPI socket port; 0: none
    std::string driver;   // "qx70" for a QX source (the web face reads it through the driver); "" otherwise
};

// `qxgate set-password [--store FILE]`
struct SetPassword {
    bool requested = false;
    std::string store; // "" for the default place
};

struct Options {
    std::vector<Served> served;
    std::string listen; // "" until parsed: 127.0.0.1, or 0.0.0.0 when other hosts are allowed
    std::uint16_t port = 0; // core channel; 0: any free port, found through rpcbind
    unsigned baud = 9600;
    std::string flow = "rtscts"; // serial flow control: none, rtscts, xonxoff
    serve::AccessRules access;
    std::size_t maxClients = 64;  // per channel
    std::size_t maxPerHost = 16;  // per channel and client address
    double idleTimeout = 300;     // seconds
    double lockIdleTimeout = 60;
    double firstLink = 10;
    double recordTimeout = 5;
    double maxTimeout = 120;      // caps the I/O and lock time-outs clients ask for
    double turnHold = 10;
    double drain = 0.5;
    std::uint16_t socketBase = 0; // > 0: devices without socket=PORT get base, base+1, ... in order
    std::string http;             // "[ADDR:]PORT" of the web face; "" for none
    std::string description;      // the user's words for the gateway and its instruments
    std::string passwordStore;    // "" for the default place
    std::string tlsCert, tlsKey;  // both or neither: the web face speaks HTTPS
    bool mdns = true;             // publish every door through Avahi
    SetPassword setPassword;
    bool help = false;
};

// Where the web face's password hash is kept unless told: /etc/qxgate/passwd for root,
// $XDG_CONFIG_HOME/qxgate/passwd (~/.config/...) for anyone else.
std::string defaultPasswordStore();

// Parses the arguments after the program name. Returns "" or the problem in words; `usage`
// receives the help text.
std::string parseOptions(int argc, const char *const *argv, Options &options, std::string &usage);

} // namespace qx::gate
