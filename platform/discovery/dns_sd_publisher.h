// Announces services on the LAN through the local Avahi daemon for as long as the publisher lives.
//
// - Each instance's services go into one entry group under one name. When the name is taken (by
//   another host, or another program here), the group takes Avahi's alternative ("NAME #2") and
//   is published again under it.
// - Where no Avahi daemon runs, the log says so once and the instances are published as soon as one
//   appears; after the daemon restarts they are published again. Without a system bus at all the
//   log says so once and nothing more happens.
// - Destruction withdraws everything.
// Avahi runs its work on a thread of its own; `log` is called there (and in the constructor).
#pragma once

#include "discovery/dns_sd.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qx::discovery {

class DnsSdPublisher {
public:
    using Log = std::function<void(const std::string &)>;
    // `interfaceIndex` < 0: every interface. The records go out over IPv4 only.
    DnsSdPublisher(std::vector<DnsSdInstance> instances, int interfaceIndex, Log log);
    ~DnsSdPublisher();
    DnsSdPublisher(const DnsSdPublisher &) = delete;
    DnsSdPublisher &operator=(const DnsSdPublisher &) = delete;

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace qx::discovery
