// What the welcome page and the identification document say about the host: its name, and the
// interface that holds an address (the one a request came in on).
#pragma once

#include <string>

namespace qx::gate::web {

struct InterfaceFacts {
    std::string name;       // "eth0"; "" when no interface holds the address
    std::string address;    // the IPv4 address as given
    std::string subnetMask; // "255.255.255.0"; "" when unknown
    std::string mac;        // "02:42:ac:11:00:02"; "" when the interface has none
};

// The host's name as gethostname() gives it; "" when it fails.
std::string hostName();

// The interface that holds the IPv4 address `address` (numeric), from getifaddrs.
InterfaceFacts interfaceFor(const std::string &address);

} // namespace qx::gate::web
