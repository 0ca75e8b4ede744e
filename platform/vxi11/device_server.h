// A VXI-11 device server: the core channel (links, I/O, locks) and the abort channel over TCP,
// one thread per client connection, serving instruments by device name.
//
// - Device names match without regard to case ("inst0", "gpib0,5").
// - A link belongs to the connection that created it; when the connection closes, its links are
//   destroyed and their locks released.
// - Calls of different links reach an instrument one at a time. device_lock gives one link the
//   instrument across calls: other links wait up to their lock_timeout (with the waitlock flag)
//   or get "device locked by another link" at once.
// - device_abort on the abort channel ends the link's call in progress with "abort".
// - A malformed record or call closes its connection (or is answered with the RPC error that
//   says why); other clients are not disturbed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vxi11/instrument.h"

namespace qx::vxi11 {

// One name of an instrument; names given the same instrument share its lock.
struct ServedDevice {
    std::string name;
    std::shared_ptr<Instrument> instrument;
};

struct ServerOptions {
    std::string listenAddress = "127.0.0.1"; // numeric IPv4; "0.0.0.0" for every interface
    std::uint16_t corePort = 0;               // 0: any free port
    std::uint32_t maxRecvSize = 64 * 1024;    // told to clients in create_link
    std::size_t maxConnections = 64;
    // One line per request and per error, for a trace (may be empty).
    std::function<void(const std::string &)> log;
};

class DeviceServer {
public:
    DeviceServer(std::vector<ServedDevice> devices, ServerOptions options);
    ~DeviceServer();
    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    // Opens the two channels and starts serving. False with the problem in words.
    bool start(std::string &problem);
    // Closes every connection (ending calls in progress) and waits for their threads.
    void stop();

    std::uint16_t corePort() const;
    std::uint16_t abortPort() const;
    std::size_t linkCount() const;

    class State;

private:
    std::unique_ptr<State> state_;
};

} // namespace qx::vxi11
