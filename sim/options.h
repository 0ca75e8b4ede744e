// Command line of qxsim. The option table is the one source of both the parser and --help.
#pragma once

#include "config.h"
#include "faults.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qx::sim {

struct Options {
    Config config;
    Faults faults;
    std::string ptyLink;         // --pty LINK
    std::optional<int> tcpPort;  // --tcp PORT (0: any free port)
    bool vxi11 = false;          // --vxi11
    int gpibAddress = 5;         // --gpib-address N: the VXI-11 device name gpib0,N
    std::string transcriptPath;  // --transcript FILE
    bool help = false;
};

// Parses the arguments after the program name. Returns "" or the problem in words.
std::string parseOptions(std::span<const std::string_view> args, Options &options);
std::string usage();

} // namespace qx::sim
