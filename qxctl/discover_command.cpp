#include "discover_command.h"

#include "discovery/discovery.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <iostream>

namespace qx::ctl {
namespace {

std::string orDash(const std::string &text) { return text.empty() ? "-" : text; }

std::string joined(const std::vector<std::string> &parts)
{
    std::string out;
    for (const std::string &part : parts)
        out += (out.empty() ? "" : " ") + part;
    return out;
}

nlohmann::ordered_json asJson(const discovery::FoundInstrument &i)
{
    nlohmann::ordered_json by = nlohmann::ordered_json::array();
    if (i.byBroadcast)
        by.push_back("vxi11-broadcast");
    if (i.byMdns)
        by.push_back("mdns");
    return {{"resources", i.resources}, {"manufacturer", i.manufacturer}, {"model", i.model},
            {"serialNumber", i.serialNumber}, {"firmware", i.firmware}, {"address", i.address},
            {"hostName", i.hostName}, {"name", i.name}, {"foundBy", by}};
}

} // namespace

int runDiscoverCommand(double timeoutSeconds, bool json)
{
    const auto timeout = std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000));
    const discovery::Discovery found = discovery::discoverInstruments(timeout);
    for (const std::string &note : found.notes)
        std::cerr << "qxctl: discover: " << note << '\n';
    if (json) {
        nlohmann::ordered_json all = nlohmann::ordered_json::array();
        for (const discovery::FoundInstrument &i : found.instruments)
            all.push_back(asJson(i));
        // Names and TXT values come from the LAN: bytes that are no UTF-8 are replaced, not refused.
        std::cout << all.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
        for (const discovery::FoundInstrument &i : found.instruments)
            std::cout << orDash(joined(i.resources)) << '\t' << orDash(i.model) << '\t' << orDash(i.serialNumber) << '\n';
    }
    return std::cout.flush() ? 0 : 1;
}

} // namespace qx::ctl
