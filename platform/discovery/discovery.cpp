#include "discovery/discovery.h"

#include "discovery/dns_sd.h"
#include "discovery/dns_sd_browser.h"
#include "discovery/vxi11_broadcast.h"

#include <arpa/inet.h>

#include <algorithm>
#include <future>
#include <sstream>
#include <tuple>

namespace qx::discovery {
namespace {

using std::chrono::milliseconds;

// Instruments answer a broadcast within a second.
constexpr milliseconds kLongestAnswerWindow{1000};
constexpr char kDefaultDevice[] = "inst0";

struct Identity {
    std::string manufacturer, model, serialNumber, firmware;
};

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n\"");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t\r\n\"") - first + 1);
}

Identity parseIdentity(const std::string &answer)
{
    std::vector<std::string> fields;
    std::stringstream in(answer);
    for (std::string field; fields.size() < 4 && std::getline(in, field, ',');)
        fields.push_back(trimmed(field));
    fields.resize(4);
    return {fields[0], fields[1], fields[2], fields[3]};
}

void fillIdentity(FoundInstrument &i, const Identity &id)
{
    for (auto [mine, theirs] : {std::pair{&i.manufacturer, &id.manufacturer}, std::pair{&i.model, &id.model},
                                std::pair{&i.serialNumber, &id.serialNumber}, std::pair{&i.firmware, &id.firmware}})
        if (mine->empty())
            *mine = *theirs;
}

void addResource(FoundInstrument &i, const std::string &resource)
{
    if (std::find(i.resources.begin(), i.resources.end(), resource) == i.resources.end())
        i.resources.push_back(resource);
}

std::string instrResource(const std::string &address, const std::string &device)
{
    return "TCPIP::" + address + "::" + device + "::INSTR";
}

FoundInstrument &entryFor(std::vector<FoundInstrument> &found, const DnsSdFinding &f)
{
    const auto same = [&](const FoundInstrument &i) { return i.address == f.address && i.name == f.name; };
    if (const auto it = std::find_if(found.begin(), found.end(), same); it != found.end())
        return *it;
    found.push_back({f.address, f.hostName, f.name, {}, {}, {}, {}, {}, false, true});
    return found.back();
}

// One entry per service-instance name and address: the resource strings of its doors, and what
// its TXT records say it is.
void takeMdns(std::vector<FoundInstrument> &found, const std::vector<DnsSdFinding> &findings)
{
    for (const DnsSdFinding &f : findings) {
        FoundInstrument &i = entryFor(found, f);
        fillIdentity(i, {txtValue(f, txt::kManufacturer), txtValue(f, txt::kModel), txtValue(f, txt::kSerialNumber),
                         txtValue(f, txt::kFirmwareVersion)});
        if (f.type == service::kVxi11) {
            const std::string device = txtValue(f, txt::kVxi11Device);
            addResource(i, instrResource(f.address, device.empty() ? kDefaultDevice : device));
        } else if (f.type == service::kScpiRaw) {
            addResource(i, "TCPIP::" + f.address + "::" + std::to_string(f.port) + "::SOCKET");
        }
    }
}

struct Answered {
    Vxi11Host host;
    std::string identity; // "" when inst0 did not answer
};

// A host found by broadcast joins the instrument mDNS found there that is the same (by its inst0
// resource, or by model and serial number); a host mDNS already lists whose inst0 did not answer
// adds nothing; any other is an instrument of its own.
void takeBroadcast(std::vector<FoundInstrument> &found, const std::vector<Answered> &answers)
{
    for (const Answered &a : answers) {
        const std::string resource = a.identity.empty() ? "TCPIP::" + a.host.address + "::INSTR"
                                                        : instrResource(a.host.address, kDefaultDevice);
        const Identity id = parseIdentity(a.identity);
        const auto listed = [&](const FoundInstrument &i) {
            return i.address == a.host.address &&
                   std::find(i.resources.begin(), i.resources.end(), resource) != i.resources.end();
        };
        const auto alike = [&](const FoundInstrument &i) {
            return i.address == a.host.address && !id.model.empty() && i.model == id.model &&
                   i.serialNumber == id.serialNumber;
        };
        auto it = std::find_if(found.begin(), found.end(), listed);
        if (it == found.end())
            it = std::find_if(found.begin(), found.end(), alike);
        const bool hostListed = std::any_of(found.begin(), found.end(), [&](const FoundInstrument &i) {
            return i.address == a.host.address;
        });
        if (it == found.end() && a.identity.empty() && hostListed)
            continue;
        FoundInstrument &i = it != found.end() ? *it : found.emplace_back();
        i.address = a.host.address;
        i.byBroadcast = true;
        fillIdentity(i, id);
        addResource(i, resource);
    }
}

std::uint32_t numeric(const std::string &address)
{
    in_addr a{};
    return ::inet_pton(AF_INET, address.c_str(), &a) == 1 ? ntohl(a.s_addr) : 0;
}

// VXI-11 links first, then sockets; each kind in the order found.
void order(std::vector<FoundInstrument> &found)
{
    for (FoundInstrument &i : found)
        std::stable_partition(i.resources.begin(), i.resources.end(),
                              [](const std::string &r) { return r.ends_with("::INSTR"); });
    std::sort(found.begin(), found.end(), [](const FoundInstrument &a, const FoundInstrument &b) {
        return std::tuple(numeric(a.address), a.name) < std::tuple(numeric(b.address), b.name);
    });
}

std::vector<Answered> broadcastAndAsk(milliseconds timeout, std::string &problem)
{
    const auto start = std::chrono::steady_clock::now();
    const std::vector<Vxi11Host> hosts = findVxi11Hosts(std::min(timeout / 2, kLongestAnswerWindow), problem);
    const auto left = std::max(milliseconds(1), timeout - std::chrono::duration_cast<milliseconds>(
                                                              std::chrono::steady_clock::now() - start));
    std::vector<std::future<std::string>> asked;
    for (const Vxi11Host &host : hosts)
        asked.push_back(std::async(std::launch::async, askVxi11Identity, host, kDefaultDevice, left));
    std::vector<Answered> answers;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        answers.push_back({hosts[i], asked[i].get()});
    return answers;
}

} // namespace

Discovery discoverInstruments(milliseconds timeout)
{
    timeout = std::max(timeout, milliseconds(1));
    std::string mdnsProblem;
    auto browsing = std::async(std::launch::async, [&] {
        return browseDnsSd({service::kLxi, service::kVxi11, service::kScpiRaw}, timeout, mdnsProblem);
    });
    std::string broadcastProblem;
    const std::vector<Answered> answers = broadcastAndAsk(timeout, broadcastProblem);
    const std::vector<DnsSdFinding> findings = browsing.get();
    Discovery d;
    for (const auto &[problem, part] : {std::pair{&mdnsProblem, "mDNS"}, std::pair{&broadcastProblem, "VXI-11 broadcast"}})
        if (!problem->empty())
            d.notes.push_back(std::string(part) + ": " + *problem);
    takeMdns(d.instruments, findings);
    takeBroadcast(d.instruments, answers);
    order(d.instruments);
    return d;
}

} // namespace qx::discovery
