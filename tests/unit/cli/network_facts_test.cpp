// The reading of Windows' firewall rules and network profiles, on outputs recorded from netsh and
// PowerShell (CRLF line ends, as Windows writes them), and of Linux's packet filters, on outputs of nft,
// iptables-save, ufw and firewall-cmd.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/LinuxFirewallFacts.h"
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

// A rule counts only for the profiles it names: a block rule wins where it applies, and a rule for
// Private networks lets nothing in on a Public one.
TEST(FirewallRules, AreJudgedForTheActiveNetworksProfile) {
    using enum RuleVerdict;
    const struct {
        const char* file;
        std::uint16_t port;
        std::vector<std::string> categories;
        RuleVerdict verdict;
        const char* rule;
    } cases[] = {
        {"netsh_rules_in.txt", 23, {"Public"}, Blocked, "Block old tool"},
        {"netsh_rules_in.txt", 23, {"Private"}, Allowed, "Logger Update Tool"},
        {"netsh_rules_in.txt", 23, {"Private", "Public"}, Blocked, "Block old tool"},
        {"netsh_rules_in.txt", 8000, {"Public"}, Allowed, "Logger Update Tool"},
        {"netsh_rules_in.txt", 8001, {"Private"}, NoRule, ""},
        {"netsh_private_only.txt", 23, {"Public"}, OtherProfiles, "Logger Update Tool"},
        {"netsh_private_only.txt", 8000, {"DomainAuthenticated"}, OtherProfiles, "Logger Update Tool"},
        {"netsh_private_only.txt", 8000, {"Private"}, Allowed, "Logger Update Tool"},
        {"netsh_private_only.txt", 8000, {}, Allowed, "Logger Update Tool"},
    };
    for (const auto& c : cases) {
        const auto rules = ParseFirewallRules(Recorded(c.file));
        ASSERT_TRUE(rules) << c.file;
        const PortRuling ruling = JudgeRules(*rules, c.port, Program, c.categories);
        EXPECT_EQ(ruling.verdict, c.verdict) << c.file << ", port " << c.port;
        EXPECT_EQ(ruling.rule, c.rule) << c.file << ", port " << c.port;
    }
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

// What each listing does with a new datagram to each of the tool's ports, and the rule that decides.
TEST(LinuxFirewalls, TellWhetherANewDatagramToEachPortIsLetIn) {
    using enum FilterVerdict;
    const struct {
        const char* file;
        std::optional<InboundFilter> (*parse)(std::string_view);
        std::uint16_t port;
        FilterVerdict verdict;
        const char* by;
        const char* fix;
    } cases[] = {
        // inet filter lets both in before its UDP reject; iptables-nft's own table drops 8000 first.
        {"nft_ruleset.txt", ParseNftRuleset, 23, Accepted, "", ""},
        {"nft_ruleset.txt", ParseNftRuleset, 8000, Dropped, "udp dport 8000 counter packets 0 bytes 0 drop",
         "sudo nft insert rule ip filter INPUT udp dport 8000 accept"},
        // A jump to a chain that allows 20-30; 8000 returns and meets the policy, no answers rule before it.
        {"nft_policy_drop.txt", ParseNftRuleset, 23, Accepted, "", ""},
        {"nft_policy_drop.txt", ParseNftRuleset, 8000, Dropped, "inet fw input: policy drop",
         "sudo nft insert rule inet fw input udp dport 8000 accept"},
        {"iptables_save.txt", ParseIptablesSave, 23, Accepted, "", ""},
        {"iptables_save.txt", ParseIptablesSave, 8000, Dropped, "-A INPUT -p udp -m udp --dport 8000 -j DROP",
         "sudo iptables -I INPUT -p udp --dport 8000 -j ACCEPT"},
        // ufw and firewalld let answers in before their own rules.
        {"ufw_status.txt", ParseUfwStatus, 8000, Accepted, "", ""},
        {"ufw_status.txt", ParseUfwStatus, 23, AnswersOnly, "ufw: Default: deny (incoming)",
         "sudo ufw allow 23/udp"},
        {"ufw_inactive.txt", ParseUfwStatus, 23, Accepted, "", ""},
        {"firewalld_list_all.txt", ParseFirewalldZone, 23, Accepted, "", ""},
        {"firewalld_list_all.txt", ParseFirewalldZone, 8000, AnswersOnly, "public: target default",
         "sudo firewall-cmd --permanent --zone=public --add-port=8000/udp && sudo firewall-cmd --reload"},
    };
    for (const auto& c : cases) {
        const auto filter = c.parse(Recorded(c.file));
        ASSERT_TRUE(filter) << c.file;
        const FilterDecision decision = Decide(*filter, c.port);
        EXPECT_EQ(decision.verdict, c.verdict) << c.file << ", port " << c.port;
        EXPECT_EQ(decision.by, c.by) << c.file << ", port " << c.port;
        EXPECT_EQ(decision.fix, c.fix) << c.file << ", port " << c.port;
    }
}

TEST(LinuxFirewalls, AnEmptyRulesetLetsAllInButAnotherCommandsOutputIsNoListing) {
    for (const auto parse : {ParseNftRuleset, ParseIptablesSave}) {
        const auto empty = parse("");
        ASSERT_TRUE(empty);
        EXPECT_EQ(Decide(*empty, 23).verdict, FilterVerdict::Accepted);
        EXPECT_FALSE(parse("ERROR: You need to be root to run this script"));
    }
    EXPECT_FALSE(ParseUfwStatus("ERROR: You need to be root to run this script"));
    EXPECT_FALSE(ParseFirewalldZone("FirewallD is not running"));
}

}  // namespace
}  // namespace lut::cli
