#include "discovery/dns_sd_publisher.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

namespace qx::discovery {
namespace {

// A name taken again and again (a flood of equal names) is given up, not renamed for ever.
constexpr int kMostRenames = 100;

struct Group {
    DnsSdInstance instance; // its name follows the renames
    AvahiEntryGroup *entries = nullptr; // owned by the client: freed with it
    DnsSdPublisher::State *state = nullptr;
    bool toldFailure = false;
};

} // namespace

struct DnsSdPublisher::State {
    Log log;
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    std::vector<std::unique_ptr<Group>> groups;
    AvahiThreadedPoll *poll = nullptr;
    AvahiClient *client = nullptr;
    bool connecting = false; // inside avahi_client_new
    bool toldAbsent = false;
};

namespace {

using State = DnsSdPublisher::State;

std::string quoted(const std::string &name) { return "\"" + name + "\""; }

std::string clientError(AvahiClient *client) { return avahi_strerror(avahi_client_errno(client)); }

void rename(Group &g)
{
    char *next = avahi_alternative_service_name(g.instance.name.c_str());
    if (next == nullptr)
        return;
    g.state->log(quoted(g.instance.name) + " is taken on the LAN: renamed " + quoted(next));
    g.instance.name = next;
    avahi_free(next);
}

// The list in the order given: avahi_string_list_add puts each new string in front of the others,
// and the record is written from the last one added.
AvahiStringList *txtRecord(const std::vector<std::string> &pairs)
{
    AvahiStringList *list = nullptr;
    for (const std::string &pair : pairs)
        list = avahi_string_list_add(list, pair.c_str());
    return list;
}

int addServices(State &st, Group &g)
{
    for (const DnsSdService &service : g.instance.services) {
        AvahiStringList *txt = txtRecord(service.txt);
        const int error = avahi_entry_group_add_service_strlst(
            g.entries, st.interface, AVAHI_PROTO_INET, static_cast<AvahiPublishFlags>(0), g.instance.name.c_str(),
            service.type.c_str(), nullptr, nullptr, service.port, txt);
        avahi_string_list_free(txt);
        if (error != AVAHI_OK)
            return error;
    }
    return avahi_entry_group_commit(g.entries);
}

void groupChanged(AvahiEntryGroup *entries, AvahiEntryGroupState state, void *data);

void publish(State &st, Group &g)
{
    if (g.entries == nullptr)
        g.entries = avahi_entry_group_new(st.client, groupChanged, &g);
    if (g.entries == nullptr) {
        st.log("cannot publish " + quoted(g.instance.name) + ": " + clientError(st.client));
        return;
    }
    if (!avahi_entry_group_is_empty(g.entries))
        return;
    for (int tries = 0; tries < kMostRenames; ++tries) {
        const int error = addServices(st, g);
        if (error == AVAHI_OK)
            return;
        avahi_entry_group_reset(g.entries);
        if (error != AVAHI_ERR_COLLISION) {
            st.log("cannot publish " + quoted(g.instance.name) + ": " + avahi_strerror(error));
            return;
        }
        rename(g);
    }
}

void groupChanged(AvahiEntryGroup *entries, AvahiEntryGroupState state, void *data)
{
    Group &g = *static_cast<Group *>(data);
    g.entries = entries; // the first call may come before avahi_entry_group_new returns
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED: {
        std::string types;
        for (const DnsSdService &service : g.instance.services)
            types += (types.empty() ? "" : ", ") + service.type + " " + std::to_string(service.port);
        g.state->log("published " + quoted(g.instance.name) + " (" + types + ")");
        g.toldFailure = false;
        break;
    }
    case AVAHI_ENTRY_GROUP_COLLISION:
        rename(g);
        avahi_entry_group_reset(entries);
        publish(*g.state, g);
        break;
    case AVAHI_ENTRY_GROUP_FAILURE:
        if (!g.toldFailure)
            g.state->log("publishing " + quoted(g.instance.name) + " failed: " +
                         clientError(avahi_entry_group_get_client(entries)));
        g.toldFailure = true;
        break;
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
}

void connect(State &st);

void clientChanged(AvahiClient *client, AvahiClientState state, void *data)
{
    State &st = *static_cast<State *>(data);
    st.client = client; // the first call may come before avahi_client_new returns
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        for (const auto &g : st.groups)
            publish(st, *g);
        break;
    case AVAHI_CLIENT_S_COLLISION: // the host's own name is being changed: publish again after
    case AVAHI_CLIENT_S_REGISTERING:
        for (const auto &g : st.groups)
            if (g->entries != nullptr)
                avahi_entry_group_reset(g->entries);
        break;
    case AVAHI_CLIENT_CONNECTING:
        if (!st.toldAbsent)
            st.log("no Avahi daemon runs: the doors are published on mDNS once one starts");
        st.toldAbsent = true;
        break;
    case AVAHI_CLIENT_FAILURE:
        if (st.connecting) // avahi_client_new fails and says why
            break;
        if (avahi_client_errno(client) != AVAHI_ERR_DISCONNECTED) {
            st.log("Avahi failed: " + clientError(client) + "; the doors are no longer published on mDNS");
            break;
        }
        // The daemon went away (restarted): a new client publishes everything again once it is back.
        for (const auto &g : st.groups)
            g->entries = nullptr; // freed with the client
        avahi_client_free(client);
        st.client = nullptr;
        st.log("the Avahi daemon went away: the doors are published again when it is back");
        st.toldAbsent = true;
        connect(st);
        break;
    }
}

void connect(State &st)
{
    int error = AVAHI_OK;
    st.connecting = true;
    AvahiClient *client =
        avahi_client_new(avahi_threaded_poll_get(st.poll), AVAHI_CLIENT_NO_FAIL, clientChanged, &st, &error);
    st.connecting = false;
    st.client = client;
    if (client == nullptr)
        st.log(std::string("no Avahi daemon can be reached (") + avahi_strerror(error) +
               "): the doors are not published on mDNS");
}

} // namespace

DnsSdPublisher::DnsSdPublisher(std::vector<DnsSdInstance> instances, int interfaceIndex, Log log)
    : state_(std::make_unique<State>())
{
    State &st = *state_;
    st.log = log ? std::move(log) : [](const std::string &) {};
    st.interface = interfaceIndex < 0 ? AVAHI_IF_UNSPEC : interfaceIndex;
    for (DnsSdInstance &instance : instances) {
        if (instance.name.empty() || instance.services.empty())
            continue;
        instance.name = cutUtf8(instance.name, kLongestInstanceName);
        st.groups.push_back(std::make_unique<Group>(Group{std::move(instance), nullptr, &st, false}));
    }
    if (st.groups.empty())
        return;
    st.poll = avahi_threaded_poll_new();
    if (st.poll == nullptr) {
        st.log("cannot start Avahi: the doors are not published on mDNS");
        return;
    }
    connect(st); // before the poll thread runs: nothing else touches the state yet
    if (avahi_threaded_poll_start(st.poll) < 0)
        st.log("cannot start Avahi's thread: the doors are not published on mDNS");
}

DnsSdPublisher::~DnsSdPublisher()
{
    State &st = *state_;
    if (st.poll != nullptr)
        avahi_threaded_poll_stop(st.poll);
    if (st.client != nullptr)
        avahi_client_free(st.client); // frees its entry groups: the daemon withdraws them
    if (st.poll != nullptr)
        avahi_threaded_poll_free(st.poll);
}

} // namespace qx::discovery
