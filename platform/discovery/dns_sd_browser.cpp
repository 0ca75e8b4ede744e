#include "discovery/dns_sd_browser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <algorithm>
#include <memory>
#include <strings.h>
#include <thread>

namespace qx::discovery {
namespace {

// A LAN that floods us with services is not followed beyond this.
constexpr std::size_t kMostFindings = 1024;

struct Browse {
    AvahiClient *client = nullptr;
    std::vector<DnsSdFinding> found;
    std::size_t resolving = 0;
};

std::vector<std::pair<std::string, std::string>> txtPairs(AvahiStringList *list)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (AvahiStringList *item = list; item != nullptr; item = avahi_string_list_get_next(item)) {
        char *key = nullptr;
        char *value = nullptr;
        if (avahi_string_list_get_pair(item, &key, &value, nullptr) != 0)
            continue;
        pairs.emplace_back(key, value != nullptr ? value : "");
        avahi_free(key);
        avahi_free(value);
    }
    return pairs;
}

bool sameService(const DnsSdFinding &a, const DnsSdFinding &b)
{
    return a.type == b.type && a.name == b.name && a.address == b.address && a.port == b.port;
}

void resolved(AvahiServiceResolver *resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event, const char *name,
              const char *type, const char *, const char *hostName, const AvahiAddress *address, uint16_t port,
              AvahiStringList *txt, AvahiLookupResultFlags, void *data)
{
    Browse &b = *static_cast<Browse *>(data);
    --b.resolving;
    if (event == AVAHI_RESOLVER_FOUND && address != nullptr && b.found.size() < kMostFindings) {
        char text[AVAHI_ADDRESS_STR_MAX] = {};
        avahi_address_snprint(text, sizeof text, address);
        DnsSdFinding f{type, name, hostName != nullptr ? hostName : "", text, port, txtPairs(txt)};
        if (std::none_of(b.found.begin(), b.found.end(), [&](const DnsSdFinding &g) { return sameService(f, g); }))
            b.found.push_back(std::move(f));
    }
    avahi_service_resolver_free(resolver);
}

void browsed(AvahiServiceBrowser *, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
             const char *name, const char *type, const char *domain, AvahiLookupResultFlags, void *data)
{
    Browse &b = *static_cast<Browse *>(data);
    if (event != AVAHI_BROWSER_NEW || b.resolving + b.found.size() >= kMostFindings)
        return;
    if (avahi_service_resolver_new(b.client, interface, protocol, name, type, domain, AVAHI_PROTO_INET,
                                   static_cast<AvahiLookupFlags>(0), resolved, &b) != nullptr)
        ++b.resolving;
}

struct PollDeleter {
    void operator()(AvahiThreadedPoll *poll) const { avahi_threaded_poll_free(poll); }
};

} // namespace

std::vector<DnsSdFinding> browseDnsSd(const std::vector<std::string> &types, std::chrono::milliseconds timeout,
                                      std::string &problem)
{
    problem.clear();
    const std::unique_ptr<AvahiThreadedPoll, PollDeleter> poll(avahi_threaded_poll_new());
    if (!poll) {
        problem = "cannot start Avahi";
        return {};
    }
    Browse b;
    int error = AVAHI_OK;
    // Without AVAHI_CLIENT_NO_FAIL: no daemon is told at once rather than waited for.
    b.client = avahi_client_new(avahi_threaded_poll_get(poll.get()), static_cast<AvahiClientFlags>(0), nullptr,
                                nullptr, &error);
    if (b.client == nullptr) {
        problem = std::string("no Avahi daemon to ask (") + avahi_strerror(error) + ")";
        return {};
    }
    for (const std::string &type : types)
        if (avahi_service_browser_new(b.client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, type.c_str(), nullptr,
                                      static_cast<AvahiLookupFlags>(0), browsed, &b) == nullptr)
            problem = "cannot browse " + type + ": " + avahi_strerror(avahi_client_errno(b.client));
    if (avahi_threaded_poll_start(poll.get()) < 0) {
        avahi_client_free(b.client);
        problem = "cannot start Avahi's thread";
        return {};
    }
    std::this_thread::sleep_for(timeout);
    avahi_threaded_poll_stop(poll.get()); // joins the thread: what it found is ours alone now
    avahi_client_free(b.client);          // with its browsers and resolvers
    return std::move(b.found);
}

std::string txtValue(const DnsSdFinding &finding, const std::string &key)
{
    for (const auto &[k, value] : finding.txt)
        if (strcasecmp(k.c_str(), key.c_str()) == 0)
            return value;
    return {};
}

} // namespace qx::discovery
