// Command line of qxgate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qx::gate {

struct Served {
    std::string device;   // VXI-11 device name: "inst0", "gpib0,5"
    std::string resource; // what the I/O layer opens: "GPIB0::5::INSTR", "ASRL1::INSTR", ...
};

struct Options {
    std::vector<Served> served;
    std::string listen = "0.0.0.0";
    std::uint16_t port = 0; // core channel; 0: any free port, found through rpcbind
    unsigned baud = 9600;
    std::string flow = "rtscts"; // serial flow control: none, rtscts, xonxoff
    bool help = false;
};

// Parses the arguments after the program name. Returns "" or the problem in words; `usage`
// receives the help text.
std::string parseOptions(int argc, const char *const *argv, Options &options, std::string &usage);

} // namespace qx::gate
