#include "host_facts.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace qx::gate::web {
namespace {

using Addresses = std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)>;

Addresses interfaces()
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        list = nullptr;
    return Addresses(list, &::freeifaddrs);
}

std::string ipv4Text(const sockaddr *address)
{
    char text[INET_ADDRSTRLEN] = {};
    const auto *in = reinterpret_cast<const sockaddr_in *>(address);
    return ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr ? text : "";
}

std::string macOf(const ifaddrs *list, const std::string &name)
{
    for (const ifaddrs *i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_PACKET || name != i->ifa_name)
            continue;
        const auto *link = reinterpret_cast<const sockaddr_ll *>(i->ifa_addr);
        if (link->sll_halen != 6)
            return {};
        char text[18];
        std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", link->sll_addr[0], link->sll_addr[1],
                      link->sll_addr[2], link->sll_addr[3], link->sll_addr[4], link->sll_addr[5]);
        return text;
    }
    return {};
}

} // namespace

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

InterfaceFacts interfaceFor(const std::string &address)
{
    InterfaceFacts facts;
    facts.address = address;
    const Addresses list = interfaces();
    for (const ifaddrs *i = list.get(); i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET || ipv4Text(i->ifa_addr) != address)
            continue;
        facts.name = i->ifa_name;
        if (i->ifa_netmask != nullptr)
            facts.subnetMask = ipv4Text(i->ifa_netmask);
        facts.mac = macOf(list.get(), facts.name);
        break;
    }
    return facts;
}

} // namespace qx::gate::web
