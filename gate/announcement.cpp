#include "announcement.h"

#include "discovery/dns_sd_publisher.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>

namespace qx::gate {
namespace {

using discovery::DnsSdInstance;
using discovery::DnsSdService;
namespace service = discovery::service;
namespace txt = discovery::txt;

// Each TXT value is cut to this, so that a record of every key stays within its 512 bytes.
constexpr std::size_t kLongestValue = 80;
constexpr std::size_t kLongestDeviceName = 64;

std::string pair(const char *key, const std::string &value)
{
    return std::string(key) + "=" + discovery::cutUtf8(value, kLongestValue);
}

std::vector<std::string> instrumentTxt(const Identity &id)
{
    std::vector<std::string> record{pair(txt::kVersion, "1")};
    for (const auto &[key, value] : {std::pair{txt::kManufacturer, &id.manufacturer}, std::pair{txt::kModel, &id.model},
                                     std::pair{txt::kSerialNumber, &id.serialNumber},
                                     std::pair{txt::kFirmwareVersion, &id.firmware}})
        if (!value->empty())
            record.push_back(pair(key, *value));
    return record;
}

bool loopback(const std::string &address)
{
    in_addr a{};
    return ::inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

// The web face's "[ADDR:]PORT": its address (the --listen one when not given) and port; port 0
// for none.
std::pair<std::string, std::uint16_t> webDoor(const Options &options)
{
    if (options.http.empty())
        return {options.listen, 0};
    const auto colon = options.http.rfind(':');
    const std::string address = colon == std::string::npos ? options.listen : options.http.substr(0, colon);
    const unsigned long port = std::stoul(options.http.substr(colon == std::string::npos ? 0 : colon + 1));
    return {address, static_cast<std::uint16_t>(port)};
}

std::string baseName(const ServedInstrument &i)
{
    return i.identity.known() ? i.identity.model + " " + i.identity.serialNumber : i.served.device;
}

// The interface that carries `address`; -1 (every interface) for 0.0.0.0 or one not found.
int interfaceOf(const std::string &address)
{
    in_addr wanted{};
    if (::inet_pton(AF_INET, address.c_str(), &wanted) != 1 || wanted.s_addr == INADDR_ANY)
        return -1;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return -1;
    int index = -1;
    for (const ifaddrs *i = list; i != nullptr && index < 0; i = i->ifa_next)
        if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr == wanted.s_addr)
            index = static_cast<int>(::if_nametoindex(i->ifa_name));
    ::freeifaddrs(list);
    return index > 0 ? index : -1;
}

} // namespace

std::vector<DnsSdInstance> announcements(const std::vector<ServedInstrument> &instruments, const Options &options,
                                         const std::string &host)
{
    const bool lanDoors = !loopback(options.listen);
    const auto [webAddress, webPort] = webDoor(options);
    const bool web = webPort != 0 && !loopback(webAddress);
    std::vector<DnsSdInstance> out;
    for (const ServedInstrument &i : instruments) {
        const std::string base = baseName(i);
        const bool shared = std::count_if(instruments.begin(), instruments.end(),
                                          [&](const ServedInstrument &j) { return baseName(j) == base; }) > 1;
        DnsSdInstance instance{base + (shared ? " (" + i.served.device + ")" : "") + " on " + host, {}};
        const std::vector<std::string> record = instrumentTxt(i.identity);
        if (lanDoors && i.served.socketPort != 0)
            instance.services.push_back({service::kScpiRaw, i.served.socketPort, record});
        if (lanDoors) {
            DnsSdService vxi11{service::kVxi11, discovery::kPortmapperPort, record};
            if (i.served.device.size() <= kLongestDeviceName)
                vxi11.txt.push_back(std::string(txt::kVxi11Device) + "=" + i.served.device);
            instance.services.push_back(std::move(vxi11));
        }
        if (web) {
            instance.services.push_back({service::kLxi, webPort, record});
            instance.services.push_back({service::kHttp, webPort, {pair(txt::kVersion, "1"), pair(txt::kPath, "/")}});
        }
        if (!instance.services.empty())
            out.push_back(std::move(instance));
    }
    return out;
}

std::unique_ptr<discovery::DnsSdPublisher> announce(const std::vector<ServedInstrument> &instruments,
                                                    const Options &options,
                                                    const std::function<void(const std::string &)> &log)
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        std::copy_n("qxgate", 7, host);
    std::string name(host);
    name = name.substr(0, name.find('.'));
    std::vector<DnsSdInstance> instances = announcements(instruments, options, name);
    if (instances.empty()) {
        log("every door listens on loopback only: nothing to announce on mDNS (see --allow, --listen)");
        return nullptr;
    }
    return std::make_unique<discovery::DnsSdPublisher>(std::move(instances), interfaceOf(options.listen), log);
}

} // namespace qx::gate
