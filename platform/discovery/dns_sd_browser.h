// Looks for services on the LAN through the local Avahi daemon: browses the given types over IPv4
// mDNS for a while and resolves each service it sees to its host, address, port and TXT record.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qx::discovery {

struct DnsSdFinding {
    std::string type;     // "_vxi-11._tcp"
    std::string name;     // the service-instance name
    std::string hostName; // "bench.local"
    std::string address;  // numeric IPv4
    std::uint16_t port = 0;
    std::vector<std::pair<std::string, std::string>> txt; // in the order of the record
};

// What was found within `timeout`, each service once. With no Avahi daemon to ask, nothing, and
// `problem` says so.
std::vector<DnsSdFinding> browseDnsSd(const std::vector<std::string> &types, std::chrono::milliseconds timeout,
                                      std::string &problem);

// The value of `key` (compared without regard to case); "" when the record lacks it.
std::string txtValue(const DnsSdFinding &finding, const std::string &key);

} // namespace qx::discovery
