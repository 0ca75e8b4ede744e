// Who may reach a served instrument, by client address (IPv4). Loopback clients always may; others
// only as the rules say: full access, or read-only access (queries only), or none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::serve {

enum class Access { Refused, ReadOnly, Full };

struct Cidr {
    std::uint32_t network = 0; // host byte order
    unsigned prefix = 32;
    bool contains(std::uint32_t address) const;
    std::string text() const;
};

// "10.0.0.0/24", "192.168.1.7" (one host) or "any" (every address); nullopt if it is none of them.
std::optional<Cidr> parseCidr(std::string_view text);

class AccessRules {
public:
    void allow(const Cidr &range) { full_.push_back(range); }
    void allowRead(const Cidr &range) { readOnly_.push_back(range); }
    // A full-access range wins over a read-only one that also holds the address.
    Access of(std::uint32_t address) const;
    // True when some range opens the servers to every address.
    bool openToAll() const;
    // "loopback; full: 10.0.0.0/24; read-only: 10.0.1.0/24", for the log.
    std::string describe() const;

private:
    std::vector<Cidr> full_;
    std::vector<Cidr> readOnly_;
};

// "a.b.c.d" for an address in host byte order.
std::string addressText(std::uint32_t address);

} // namespace qx::serve
