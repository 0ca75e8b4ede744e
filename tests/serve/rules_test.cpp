// What a message asks of the instrument, and which hosts may ask.
#include <gtest/gtest.h>

#include <string>

#include "serve/access.h"
#include "serve/scpi_message.h"

namespace {

using namespace qx::serve;

struct Message {
    const char *text;
    bool hasQuery;
    bool onlyQueries;
};

TEST(MessageScan, TellsQueriesFromSettingsOutsideQuotedStringsWholeOrInPieces)
{
    const Message messages[] = {
        {"*IDN?", true, true},
        {"*IDN?\n", true, true},
        {"MEAS:VOLT? 2", true, true},
        {"*IDN?;:LIM:VOLT?", true, true},
        {" *IDN? ; SYST:ERR? ;", true, true},
        {"VOLT 120", false, false},
        {"*RST;*IDN?", true, false},
        {"*IDN?;OUTP 1", true, false},
        {"SYST:ERR?\nVOLT 1\n", true, false},
        {"DISP:TEXT \"ready?\"", false, false},
        {"DISP:TEXT 'a;b?'", false, false},
        {"DISP:TEXT \"say \"\"hi?\"\"\";*IDN?", true, false},
        {"", false, true},
        {";;", false, true},
        {"VOLT? MAX;VOLT 1", true, false},
    };
    for (const Message &m : messages) {
        const std::string text = m.text;
        for (std::size_t cut = 0; cut <= text.size(); ++cut) {
            MessageScan scan;
            scan.feed(text.substr(0, cut));
            scan.feed(text.substr(cut));
            EXPECT_EQ(scan.hasQuery(), m.hasQuery) << text << " cut at " << cut;
            EXPECT_EQ(scan.onlyQueries(), m.onlyQueries) << text << " cut at " << cut;
        }
    }
    MessageScan scan;
    scan.feed("VOLT 1");
    scan.reset();
    scan.feed("*IDN?");
    EXPECT_TRUE(scan.onlyQueries());
}

TEST(AccessRules, LoopbackAlwaysOthersOnlyAsAllowedFullAccessWinning)
{
    const auto at = [](const char *text) { return parseCidr(text)->network; };
    AccessRules rules;
    EXPECT_EQ(rules.of(at("127.0.0.1")), Access::Full);
    EXPECT_EQ(rules.of(at("127.9.9.9")), Access::Full);
    EXPECT_EQ(rules.of(at("10.0.0.2")), Access::Refused);
    EXPECT_FALSE(rules.openToAll());

    rules.allowRead(*parseCidr("10.0.0.0/16"));
    rules.allow(*parseCidr("10.0.7.3"));
    EXPECT_EQ(rules.of(at("10.0.200.1")), Access::ReadOnly);
    EXPECT_EQ(rules.of(at("10.0.7.3")), Access::Full);
    EXPECT_EQ(rules.of(at("10.0.7.4")), Access::ReadOnly);
    EXPECT_EQ(rules.of(at("10.1.0.1")), Access::Refused);
    EXPECT_EQ(rules.describe(), "loopback; full: 10.0.7.3; read-only: 10.0.0.0/16");
    rules.allow(*parseCidr("any"));
    EXPECT_TRUE(rules.openToAll());
    EXPECT_EQ(rules.of(at("192.168.1.1")), Access::Full);
}

TEST(AccessRules, RangesParseOnlyWhenWhole)
{
    EXPECT_EQ(parseCidr("192.168.1.77/24")->text(), "192.168.1.0/24");
    EXPECT_EQ(parseCidr("0.0.0.0/0")->text(), "any");
    EXPECT_EQ(parseCidr("10.0.0.1/32")->text(), "10.0.0.1");
    for (const char *bad :
         {"", "bench", "10.0.0", "10.0.0.1/", "10.0.0.1/33", "10.0.0.1/8x", "10.0.0.1/-1", "::1", "anyone"})
        EXPECT_FALSE(parseCidr(bad).has_value()) << bad;
}

} // namespace
