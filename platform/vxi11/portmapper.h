// The portmapper (rpcbind, port 111), version 2 over TCP: clients ask it for the core channel's
// port; servers register theirs.
#pragma once

#include <cstdint>
#include <string>

#include "vxi11/rpc_client.h"

namespace qx::vxi11 {

inline constexpr std::uint16_t kPortmapperPort = 111;

// The TCP port `program` `version` is registered under on `host`; 0 in `port` when it is not
// registered (the call itself succeeded).
CallResult lookUpPort(const std::string &host, std::uint32_t program, std::uint32_t version, long long timeoutMs,
                      std::uint16_t &port);

// Registers (replacing an earlier registration) or withdraws a TCP service with the local
// portmapper. False when the portmapper is unreachable or refuses.
bool registerTcpService(std::uint32_t program, std::uint32_t version, std::uint16_t port);
void withdrawService(std::uint32_t program, std::uint32_t version);

// A server's VXI-11 core channel registered for as long as this lives. Without a portmapper that
// takes it, a warning naming the port goes to stderr ("<program>: ...") and clients must be told.
class CoreChannelRegistration {
public:
    CoreChannelRegistration(const char *program, std::uint16_t port);
    ~CoreChannelRegistration();
    CoreChannelRegistration(const CoreChannelRegistration &) = delete;
    CoreChannelRegistration &operator=(const CoreChannelRegistration &) = delete;

private:
    bool registered_;
};

} // namespace qx::vxi11
