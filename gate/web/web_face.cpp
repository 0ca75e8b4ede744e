#include "web_face.h"

#include "host_facts.h"
#include "identification.h"
#include "live_instrument.h"
#include "pages.h"
#include "password_store.h"
#include "sessions.h"

#include <httplib.h>

#include <arpa/inet.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace qx::gate::web {
namespace {

constexpr int kThreads = 64;     // of the server: every open event stream holds one
constexpr int kMostStreams = 48; // so that pages are served however many streams are open
constexpr std::size_t kLongestBody = 16384;
constexpr std::chrono::milliseconds kKeepAlive{10000}; // a comment on a quiet stream shows a gone client
constexpr char kSchemaPath[] = "/lxi/schemas/identification.xsd";
constexpr char kDevicePattern[] = "/devices/([a-z0-9,_.]{1,64})";
constexpr char kHtml[] = "text/html; charset=utf-8";

const httplib::Headers kSecurityHeaders = {
    {"Content-Security-Policy", "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                                "img-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

// The access rules' verdict on a client address as httplib gives it.
serve::Access accessOf(const serve::AccessRules &rules, const std::string &address)
{
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        return serve::Access::Refused;
    return rules.of(ntohl(parsed.s_addr));
}

std::string cookieValue(const httplib::Request &req, const std::string &name)
{
    const std::string header = req.get_header_value("Cookie");
    for (std::size_t at = 0; at < header.size();) {
        const std::size_t end = std::min(header.find(';', at), header.size());
        std::string pair = header.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.size() > name.size() && pair.compare(0, name.size(), name) == 0 && pair[name.size()] == '=')
            return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return {};
}

// Where a login may lead: a path on this server, nothing else.
std::string localPath(const std::string &next)
{
    const bool plain = next.size() < 200 && next.starts_with('/') && !next.starts_with("//") &&
                       next.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789/,_.-") == std::string::npos;
    return plain ? next : "/";
}

} // namespace

class WebFace::Impl {
public:
    Impl(const std::vector<ServedInstrument> &instruments, WebOptions options) : options_(std::move(options))
    {
        for (std::size_t i = 0; i < instruments.size(); ++i) {
            Entry entry{instruments[i], nullptr};
            if (instruments[i].served.driver == "qx70") {
                LiveInstrument::Settings settings;
                settings.index = i;
                settings.device = instruments[i].served.device;
                settings.phases = instruments[i].identity.model.find("7101") != std::string::npos ? 1 : 3;
                entry.live = std::make_unique<LiveInstrument>(instruments[i].conversation, settings, options_.log);
            }
            entries_.push_back(std::move(entry));
        }
        tls_ = !options_.tlsCert.empty();
        cookieName_ = tls_ ? "__Host-qxgate" : "qxgate_session";
    }

    ~Impl() { stop(); }

    bool start(std::string &problem)
    {
        if (tls_) {
            server_ = std::make_unique<httplib::SSLServer>(options_.tlsCert.c_str(), options_.tlsKey.c_str());
            if (!server_->is_valid()) {
                problem =
                    "the web face cannot use the certificate " + options_.tlsCert + " with the key " + options_.tlsKey;
                return false;
            }
        } else {
            server_ = std::make_unique<httplib::Server>();
        }
        server_->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
        server_->set_payload_max_length(kLongestBody);
        server_->set_keep_alive_timeout(2); // an idle connection holds a thread, and the stop waits for it
        server_->set_default_headers(kSecurityHeaders);
        routes();
        if (!server_->bind_to_port(options_.address, options_.port)) {
            problem = "the web face cannot listen on " + options_.address + ":" + std::to_string(options_.port);
            return false;
        }
        std::string why;
        const bool controls = storeUsable(options_.passwordStore, why);
        std::fprintf(stderr, "qxgate: web face on %s%s%s\n", url().c_str(),
                     controls ? "" : "; read-only: ", why.c_str());
        if (!controls && options_.log)
            options_.log("web face: read-only: " + why);
        listener_ = std::thread([this] { server_->listen_after_bind(); });
        return true;
    }

    void stop()
    {
        for (Entry &entry : entries_)
            if (entry.live)
                entry.live->stop();
        if (server_)
            server_->stop();
        if (listener_.joinable())
            listener_.join();
    }

    std::string url() const
    {
        return std::string(tls_ ? "https" : "http") + "://" + options_.address + ":" + std::to_string(options_.port) +
               "/";
    }

private:
    struct Entry {
        ServedInstrument instrument;
        std::unique_ptr<LiveInstrument> live;
    };

    using Request = httplib::Request;
    using Response = httplib::Response;

    void routes()
    {
        server_->set_pre_routing_handler([this](const Request &req, Response &res) { return admit(req, res); });
        const auto welcome = [this](const Request &req, Response &res) {
            page(req, res, welcomePage(facts(req, session(req, res))));
        };
        server_->Get("/", welcome);
        server_->Get("/lxi/?", welcome);
        server_->Get("/lxi/identification", [this](const Request &req, Response &res) { topIdentification(req, res); });
        server_->Get(kSchemaPath, [](const Request &, Response &res) {
            res.set_content(identificationSchema(), "application/xml");
        });
        server_->Get("/static/web.css",
                     [](const Request &, Response &res) { res.set_content(styleSheet(), "text/css"); });
        server_->Get("/static/web.js",
                     [](const Request &, Response &res) { res.set_content(script(), "text/javascript"); });
        server_->Get(kDevicePattern, [](const Request &req, Response &res) { res.set_redirect(req.path + "/", 301); });
        server_->Get(std::string(kDevicePattern) + "/",
                     [this](const Request &req, Response &res) { devicePage(req, res); });
        server_->Get(std::string(kDevicePattern) + "/lxi/identification",
                     [this](const Request &req, Response &res) { deviceIdentification(req, res); });
        server_->Get(std::string(kDevicePattern) + "/events",
                     [this](const Request &req, Response &res) { events(req, res); });
        server_->Post(std::string(kDevicePattern) + "/control",
                      [this](const Request &req, Response &res) { control(req, res); });
        server_->Get("/login", [this](const Request &req, Response &res) {
            const SessionView s = session(req, res);
            page(req, res, loginPage(facts(req, s), {}, localPath(req.get_param_value("next"))));
        });
        server_->Post("/login", [this](const Request &req, Response &res) { logIn(req, res); });
        server_->Post("/logout", [this](const Request &req, Response &res) { logOut(req, res); });
        server_->set_error_handler([](const Request &, Response &res) {
            if (res.body.empty())
                res.set_content(messagePage(std::to_string(res.status), "Nothing here."), kHtml);
        });
        server_->set_exception_handler([](const Request &, Response &res, std::exception_ptr) {
            res.status = 500;
            res.set_content(messagePage("Not done", "The gateway could not answer this request."), kHtml);
        });
    }

    // Refused hosts get 403 on everything; read-only hosts may not post.
    httplib::Server::HandlerResponse admit(const Request &req, Response &res)
    {
        const serve::Access access = accessOf(options_.access, req.remote_addr);
        const bool refused = access == serve::Access::Refused ||
                             (access == serve::Access::ReadOnly && req.method != "GET" && req.method != "HEAD");
        if (!refused)
            return httplib::Server::HandlerResponse::Unhandled;
        if (options_.log)
            options_.log("web face: refused " + req.remote_addr + " " + req.method + " " + req.path);
        res.status = 403;
        res.set_content(messagePage("Forbidden", access == serve::Access::Refused ? "This host may not use the gateway."
                                                                                  : "This host may look, not change."),
                        kHtml);
        return httplib::Server::HandlerResponse::Handled;
    }

    SessionView session(const Request &req, Response &res)
    {
        const std::string token = cookieValue(req, cookieName_);
        SessionView view = sessions_.view(token);
        if (view.token != token)
            setCookie(res, view.token);
        return view;
    }

    void setCookie(Response &res, const std::string &token) const
    {
        res.set_header("Set-Cookie", cookieName_ + "=" + token + "; Path=/; HttpOnly; SameSite=Strict; Max-Age=86400" +
                                         (tls_ ? "; Secure" : ""));
    }

    void page(const Request &, Response &res, const std::string &html) { res.set_content(html, kHtml); }

    std::string host(const Request &req) const { return req.local_addr; }

    std::string baseUrl(const Request &req) const
    {
        return std::string(tls_ ? "https" : "http") + "://" + req.local_addr + ":" + std::to_string(req.local_port);
    }

    InstrumentFacts instrumentFacts(const Request &req, const Entry &entry) const
    {
        const Served &served = entry.instrument.served;
        InstrumentFacts f;
        f.device = served.device;
        f.identity = entry.instrument.identity;
        f.visaStrings.push_back("TCPIP::" + host(req) + "::" + served.device + "::INSTR");
        if (served.socketPort != 0)
            f.visaStrings.push_back("TCPIP::" + host(req) + "::" + std::to_string(served.socketPort) + "::SOCKET");
        f.pageUrl = "/devices/" + served.device + "/";
        f.live = entry.live != nullptr;
        return f;
    }

    PageFacts facts(const Request &req, const SessionView &s) const
    {
        PageFacts f;
        f.hostname = hostName();
        f.description = options_.description;
        f.version = options_.version;
        f.iface = interfaceFor(req.local_addr);
        for (const Entry &entry : entries_)
            f.instruments.push_back(instrumentFacts(req, entry));
        f.csrf = s.csrf;
        f.loggedIn = s.loggedIn;
        f.notice = s.notice;
        std::string why;
        f.passwordSet = storeUsable(options_.passwordStore, why);
        f.mayControl = accessOf(options_.access, req.remote_addr) == serve::Access::Full;
        return f;
    }

    const Entry *entry(const Request &req) const
    {
        const std::string name = req.matches.size() > 1 ? req.matches[1].str() : std::string();
        for (const Entry &e : entries_)
            if (e.instrument.served.device == name)
                return &e;
        return nullptr;
    }

    void notFound(Response &res) const
    {
        res.status = 404;
        res.set_content(messagePage("Not found", "No such instrument here."), kHtml);
    }

    void devicePage(const Request &req, Response &res)
    {
        const Entry *e = entry(req);
        if (e == nullptr)
            return notFound(res);
        const PageFacts f = facts(req, session(req, res));
        page(req, res, web::devicePage(f, instrumentFacts(req, *e)));
    }

    IdentificationDoc documentOf(const Request &req, const Entry &e) const
    {
        const InstrumentFacts i = instrumentFacts(req, e);
        IdentificationDoc doc;
        doc.manufacturer = i.identity.manufacturer;
        doc.model = i.identity.model;
        doc.serialNumber = i.identity.serialNumber;
        doc.firmwareRevision = i.identity.firmware;
        doc.userDescription = options_.description;
        doc.identificationUrl = baseUrl(req) + i.pageUrl + "lxi/identification";
        doc.addressStrings = i.visaStrings;
        return withInterface(req, doc);
    }

    IdentificationDoc withInterface(const Request &req, IdentificationDoc doc) const
    {
        const InterfaceFacts iface = interfaceFor(req.local_addr);
        doc.schemaUrl = baseUrl(req) + kSchemaPath;
        doc.interfaceName = iface.name;
        doc.hostname = hostName();
        doc.ipAddress = iface.address;
        doc.subnetMask = iface.subnetMask;
        doc.macAddress = iface.mac;
        return doc;
    }

    void deviceIdentification(const Request &req, Response &res)
    {
        const Entry *e = entry(req);
        if (e == nullptr)
            return notFound(res);
        res.set_content(identificationXml(documentOf(req, *e)), "application/xml");
    }

    // One instrument that said what it is: the document names it. Otherwise the gateway, with
    // the base URL of each instrument.
    void topIdentification(const Request &req, Response &res)
    {
        IdentificationDoc doc;
        if (entries_.size() == 1 && entries_.front().instrument.identity.known()) {
            doc = documentOf(req, entries_.front());
        } else {
            doc.manufacturer = "QX Series controller";
            doc.model = "qxgate";
            doc.serialNumber = hostName();
            doc.firmwareRevision = options_.version;
            doc.manufacturerDescription = "LAN gateway for instruments on serial lines and GPIB";
            doc.userDescription = options_.description;
            for (const Entry &e : entries_) {
                const InstrumentFacts i = instrumentFacts(req, e);
                doc.deviceUris.push_back(baseUrl(req) + i.pageUrl);
                doc.addressStrings.insert(doc.addressStrings.end(), i.visaStrings.begin(), i.visaStrings.end());
            }
            doc = withInterface(req, doc);
        }
        doc.identificationUrl = baseUrl(req) + "/lxi/identification";
        res.set_content(identificationXml(doc), "application/xml");
    }

    void events(const Request &req, Response &res)
    {
        const Entry *e = entry(req);
        if (e == nullptr || !e->live)
            return notFound(res);
        if (streams_.fetch_add(1) >= kMostStreams) {
            streams_.fetch_sub(1);
            res.status = 503;
            res.set_header("Retry-After", "10");
            res.set_content(messagePage("Busy", "Too many live pages are open."), kHtml);
            return;
        }
        LiveInstrument *live = e->live.get();
        live->watch();
        auto seen = std::make_shared<std::uint64_t>(0);
        res.set_chunked_content_provider(
            "text/event-stream",
            [live, seen](std::size_t offset, httplib::DataSink &sink) {
                std::string out = offset == 0 ? "retry: 3000\n\n" : "";
                const std::optional<EventFeed::Message> message = live->feed().next(*seen, kKeepAlive);
                if (live->feed().closed())
                    return false;
                if (message) {
                    *seen = message->number;
                    out += sseMessage(*message);
                } else {
                    out += ": still here\n\n";
                }
                return sink.write(out.data(), out.size());
            },
            [this, live](bool) {
                live->unwatch();
                streams_.fetch_sub(1);
            });
    }

    // Checks the form's CSRF token against the session of its cookie; false, with 403, if it fails.
    bool formAccepted(const Request &req, Response &res, std::string &token)
    {
        token = cookieValue(req, cookieName_);
        if (sessions_.csrfMatches(token, req.get_param_value("csrf")))
            return true;
        if (options_.log)
            options_.log("web face: refused a form without its session's token from " + req.remote_addr);
        res.status = 403;
        res.set_content(
            messagePage("Refused", "The form's token is missing or out of date: reload the page and try again."),
            kHtml);
        return false;
    }

    void control(const Request &req, Response &res)
    {
        std::string token;
        if (!formAccepted(req, res, token))
            return;
        const Entry *e = entry(req);
        if (e == nullptr || !e->live)
            return notFound(res);
        if (!sessions_.loggedIn(token)) {
            res.status = 403;
            res.set_content(messagePage("Refused", "Log in first."), kHtml);
            return;
        }
        const ControlResult result = e->live->control({req.get_param_value("action"), req.get_param_value("value")});
        sessions_.setNotice(token, result.message);
        res.set_redirect("/devices/" + e->instrument.served.device + "/", 303);
    }

    void logIn(const Request &req, Response &res)
    {
        std::string token;
        if (!formAccepted(req, res, token))
            return;
        const std::string next = localPath(req.get_param_value("next"));
        const auto refuse = [&](int status, const std::string &problem) {
            res.status = status;
            const SessionView s = sessions_.view(token);
            page(req, res, loginPage(facts(req, s), problem, next));
        };
        if (const auto wait = throttle_.wait(req.remote_addr)) {
            res.set_header("Retry-After", std::to_string(wait->count() / 1000 + 1));
            return refuse(429, "Too many failed logins from this address: try again in " +
                                   std::to_string(wait->count() / 1000 + 1) + " s.");
        }
        switch (checkPassword(options_.passwordStore, req.get_param_value("password"))) {
        case PasswordCheck::NoStore:
            return refuse(403, "No password is set: the pages are read-only.");
        case PasswordCheck::Mismatch:
            throttle_.failed(req.remote_addr);
            if (options_.log)
                options_.log("web face: wrong password from " + req.remote_addr);
            return refuse(403, "Wrong password.");
        case PasswordCheck::Match:
            break;
        }
        throttle_.succeeded(req.remote_addr);
        const std::string fresh = sessions_.logIn(token);
        if (fresh.empty())
            return refuse(403, "The session expired: try again.");
        setCookie(res, fresh);
        if (options_.log)
            options_.log("web face: " + req.remote_addr + " logged in");
        res.set_redirect(next, 303);
    }

    void logOut(const Request &req, Response &res)
    {
        std::string token;
        if (!formAccepted(req, res, token))
            return;
        sessions_.logOut(token);
        res.set_header("Set-Cookie",
                       cookieName_ + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0" + (tls_ ? "; Secure" : ""));
        res.set_redirect("/", 303);
    }

    const WebOptions options_;
    std::vector<Entry> entries_;
    bool tls_ = false;
    std::string cookieName_;
    Sessions sessions_;
    LoginThrottle throttle_;
    std::atomic<int> streams_{0};
    std::unique_ptr<httplib::Server> server_;
    std::thread listener_;
};

WebOptions webOptions(const Options &o, std::function<void(const std::string &)> log)
{
    WebOptions w;
    const auto colon = o.http.rfind(':');
    w.address = colon == std::string::npos ? o.listen : o.http.substr(0, colon);
    w.port = static_cast<std::uint16_t>(std::stoul(colon == std::string::npos ? o.http : o.http.substr(colon + 1)));
    w.access = o.access;
    w.description = o.description;
    w.passwordStore = o.passwordStore.empty() ? defaultPasswordStore() : o.passwordStore;
    w.tlsCert = o.tlsCert;
    w.tlsKey = o.tlsKey;
    w.version = QX_VERSION;
    w.log = std::move(log);
    return w;
}

WebFace::WebFace(const std::vector<ServedInstrument> &instruments, WebOptions options)
    : impl_(std::make_unique<Impl>(instruments, std::move(options)))
{
}

WebFace::~WebFace() = default;

bool WebFace::start(std::string &problem)
{
    try {
        return impl_->start(problem);
    } catch (const std::exception &e) {
        problem = std::string("the web face did not start: ") + e.what();
        return false;
    }
}

void WebFace::stop() { impl_->stop(); }

std::string WebFace::url() const { return impl_->url(); }

} // namespace qx::gate::web
