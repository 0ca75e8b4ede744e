// The gateway's web face (cpp-httplib): the welcome page and identification document of the
// gateway and of each instrument, the live page of each QX source with its event stream, and
// control from the page after a login. Access by client address follows the gateway's rules:
// refused hosts get 403 on everything, read-only hosts see the pages but cannot log in or post.
//
// URLs: / and /lxi (welcome), /lxi/identification, /lxi/schemas/identification.xsd,
// /devices/NAME/ (the instrument's page), /devices/NAME/lxi/identification,
// /devices/NAME/events (Server-Sent Events), POST /devices/NAME/control, /login, POST /logout,
// /static/web.css and /static/web.js.
#pragma once

#include "options.h"
#include "served_instrument.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qx::gate::web {

struct WebOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = 80;
    serve::AccessRules access;
    std::string description;
    std::string passwordStore;   // a file made by setPassword(); pages are read-only without a usable one
    std::string tlsCert, tlsKey; // both: HTTPS
    std::string version;
    std::function<void(const std::string &)> log;
};

// The web face's settings from the gateway's command line (--http [ADDR:]PORT, ADDR defaulting
// to the --listen address).
WebOptions webOptions(const Options &options, std::function<void(const std::string &)> log);

class WebFace {
public:
    WebFace(const std::vector<ServedInstrument> &instruments, WebOptions options);
    ~WebFace(); // stop()
    WebFace(const WebFace &) = delete;
    WebFace &operator=(const WebFace &) = delete;

    // Listens and serves on a thread of its own; false, with the reason, when it cannot.
    bool start(std::string &problem);
    // Ends the event streams, the polls and the driver sessions, then the server.
    void stop();
    // "http://127.0.0.1:8080/"
    std::string url() const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace qx::gate::web
