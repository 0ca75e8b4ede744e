// The web face's pages, as HTML text. Every text that comes from outside (the instrument's
// answers, the user's description, names) is escaped here; scripts and styles come from
// /static/ only, so the pages run under a policy that forbids inline code.
#pragma once

#include "host_facts.h"
#include "identity.h"

#include <string>
#include <vector>

namespace qx::gate::web {

struct InstrumentFacts {
    std::string device; // served name: "inst0", "gpib0,5"
    Identity identity;
    std::vector<std::string> visaStrings; // the resource strings that reach it
    std::string pageUrl;                  // "/devices/inst0/"
    bool live = false;                    // a QX source: its page shows the live state
};

struct PageFacts {
    std::string hostname;
    std::string description;
    std::string version;
    InterfaceFacts iface; // of the address the request came in on
    std::vector<InstrumentFacts> instruments;
    // The visitor's session
    std::string csrf;
    bool loggedIn = false;
    std::string notice;
    // What the visitor may do
    bool passwordSet = false; // a password store is in place
    bool mayControl = false;  // the client's address has full access
};

std::string welcomePage(const PageFacts &facts);
std::string devicePage(const PageFacts &facts, const InstrumentFacts &instrument);
// `problem`: why the last attempt failed, or ""; `next`: where to go once logged in.
std::string loginPage(const PageFacts &facts, const std::string &problem, const std::string &next);
std::string messagePage(const std::string &title, const std::string &text);

const std::string &styleSheet();
const std::string &script();

} // namespace qx::gate::web
