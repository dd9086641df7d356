// The reading of Windows' firewall rules and network profiles, on outputs recorded from netsh and
// PowerShell (CRLF line ends, as Windows writes them).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/WindowsNetworkFacts.h"

namespace lut::cli {
namespace {

std::string Recorded(const std::string& name) {
    std::ifstream in(std::string(LUT_CLI_TEST_DATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr char Program[] = "C:\\Program Files\\Logger Update Tool\\logger-update.exe";

TEST(FirewallRules, TellWhichRulesLetThisProgramReceiveOnEachPort) {
    const auto rules = ParseFirewallRules(Recorded("netsh_rules_in.txt"));
    ASSERT_TRUE(rules);
    ASSERT_EQ(rules->size(), 4U);
    EXPECT_EQ((*rules)[0].program, Program);
    EXPECT_EQ((*rules)[1].localPorts, "20-30");

    const struct {
        const char* rule;
        std::uint16_t port;
        const char* program;
        bool covers;
    } cases[] = {
        {"Logger Update Tool", 23, Program, true},
        {"Logger Update Tool", 8000, "c:\\program files\\logger update tool\\LOGGER-UPDATE.EXE", true},
        {"Logger Update Tool", 8001, Program, false},
        {"Logger Update Tool", 23, "C:\\other\\logger-update.exe", false},
        {"Block old tool", 23, Program, true},  // a range, any program
        {"Block old tool", 8000, Program, false},
        {"Disabled rule for 8000", 8000, Program, false},
        {"Web server", 8000, Program, false},  // TCP only
    };
    for (const auto& c : cases) {
        const auto rule = std::find_if(rules->begin(), rules->end(),
                                       [&c](const FirewallRule& r) { return r.name == c.rule; });
        ASSERT_NE(rule, rules->end()) << c.rule;
        EXPECT_EQ(RuleCovers(*rule, c.port, c.program), c.covers) << c.rule << ", port " << c.port;
    }
    EXPECT_FALSE((*rules)[1].allow);
}

TEST(FirewallRules, NoRuleIsKnownButAnOutputNotUnderstoodIsUnknown) {
    const auto none = ParseFirewallRules(Recorded("netsh_no_rules.txt"));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_FALSE(ParseFirewallRules(Recorded("netsh_german.txt")));
    EXPECT_FALSE(ParseFirewallRules(""));
}

TEST(ConnectionProfiles, EachAdapterWithItsCategoryAndTheFixForPublic) {
    const auto profiles = ParseConnectionProfiles(Recorded("get_netconnectionprofile.txt"));
    ASSERT_TRUE(profiles);
    ASSERT_EQ(profiles->size(), 2U);
    EXPECT_EQ((*profiles)[0].interfaceAlias, "Ethernet");
    EXPECT_EQ((*profiles)[0].category, "Public");
    EXPECT_EQ((*profiles)[1].interfaceAlias, "Ethernet 3");
    EXPECT_EQ((*profiles)[1].category, "Private");
    EXPECT_EQ(PrivateProfileFix((*profiles)[0]),
              "Set-NetConnectionProfile -InterfaceAlias \"Ethernet\" -NetworkCategory Private");
    EXPECT_FALSE(
        ParseConnectionProfiles("'powershell' is not recognized as an internal or external command"));
}

}  // namespace
}  // namespace lut::cli
