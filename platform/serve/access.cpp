#include "serve/access.h"

#include <algorithm>
#include <charconv>

#include <arpa/inet.h>

namespace qx::serve {
namespace {

constexpr Cidr kLoopback{0x7F000000u, 8};

std::uint32_t maskOf(unsigned prefix) { return prefix == 0 ? 0 : ~0u << (32 - prefix); }

bool anyContains(const std::vector<Cidr> &ranges, std::uint32_t address)
{
    return std::any_of(ranges.begin(), ranges.end(), [&](const Cidr &c) { return c.contains(address); });
}

std::string list(const std::vector<Cidr> &ranges)
{
    std::string out;
    for (const Cidr &c : ranges)
        out += (out.empty() ? "" : ", ") + c.text();
    return out;
}

} // namespace

bool Cidr::contains(std::uint32_t address) const { return (address & maskOf(prefix)) == (network & maskOf(prefix)); }

std::string Cidr::text() const
{
    return prefix == 0 ? "any" : addressText(network) + (prefix == 32 ? "" : "/" + std::to_string(prefix));
}

std::optional<Cidr> parseCidr(std::string_view text)
{
    if (text == "any")
        return Cidr{0, 0};
    const auto slash = text.find('/');
    const std::string host(text.substr(0, slash));
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1)
        return std::nullopt;
    Cidr range{ntohl(address.s_addr), 32};
    if (slash != std::string_view::npos) {
        const std::string_view bits = text.substr(slash + 1);
        unsigned prefix = 0;
        const auto [end, ec] = std::from_chars(bits.data(), bits.data() + bits.size(), prefix);
        if (bits.empty() || ec != std::errc{} || end != bits.data() + bits.size() || prefix > 32)
            return std::nullopt;
        range.prefix = prefix;
    }
    range.network &= maskOf(range.prefix);
    return range;
}

Access AccessRules::of(std::uint32_t address) const
{
    if (kLoopback.contains(address) || anyContains(full_, address))
        return Access::Full;
    return anyContains(readOnly_, address) ? Access::ReadOnly : Access::Refused;
}

bool AccessRules::openToAll() const
{
    const auto all = [](const Cidr &c) { return c.prefix == 0; };
    return std::any_of(full_.begin(), full_.end(), all) || std::any_of(readOnly_.begin(), readOnly_.end(), all);
}

std::string AccessRules::describe() const
{
    std::string out = "loopback";
    if (!full_.empty())
        out += "; full: " + list(full_);
    if (!readOnly_.empty())
        out += "; read-only: " + list(readOnly_);
    return out;
}

std::string addressText(std::uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    const in_addr a{htonl(address)};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace qx::serve
