// What Windows tells of its firewall and network profiles, read from the output of its own commands
// (netsh and PowerShell), so that the reading can be checked on recorded outputs anywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lut::cli {

// The command whose output ParseFirewallRules reads.
inline constexpr std::string_view FirewallRulesCommand =
    "netsh advfirewall firewall show rule name=all dir=in verbose";
// The command whose output ParseConnectionProfiles reads.
inline constexpr std::string_view ConnectionProfilesCommand =
    "powershell -NoProfile -NonInteractive -Command Get-NetConnectionProfile";

struct FirewallRule {
    std::string name;
    bool enabled = false;
    bool inbound = false;
    bool allow = false;      // else it blocks
    std::string protocol;    // "UDP", "TCP", "Any", ...
    std::string localPorts;  // "Any", or ports and ranges: "23,8000-8010"
    std::string program;     // "Any", or the program's path
    std::string profiles;    // "Domain,Private,Public", "Any", or some of them
};

// The rules of netsh's listing, in its order; nothing when the text is no such listing (another language,
// an error, or a system without the command). A listing that matches no rule gives an empty list.
std::optional<std::vector<FirewallRule>> ParseFirewallRules(std::string_view text);

// The rule is enabled, inbound, for UDP, and applies to the port and to the program at this path.
bool RuleCovers(const FirewallRule& rule, std::uint16_t port, std::string_view programPath);

// What the firewall does with a datagram for the program on a port.
enum class RuleVerdict {
    Allowed,        // an allow rule covers the network's profile, and no block rule does
    Blocked,        // a block rule covers it (block wins over allow)
    OtherProfiles,  // rules allow it, but only on networks of other profiles
    NoRule,         // no rule covers it: the firewall's default blocks inbound datagrams
};

struct PortRuling {
    RuleVerdict verdict = RuleVerdict::NoRule;
    std::string rule{};      // the name of the rule that decides; empty for NoRule
    std::string profiles{};  // that rule's profiles
};

// The rules judged for a datagram to the port for the program on a network of each of the categories
// that Get-NetConnectionProfile names ("Public", "Private", "DomainAuthenticated"): an allow rule counts when
// it covers all of them, a block rule when it covers any. No category: every rule counts.
PortRuling JudgeRules(const std::vector<FirewallRule>& rules, std::uint16_t port,
                      std::string_view programPath, const std::vector<std::string>& categories);

struct ConnectionProfile {
    std::string interfaceAlias;  // the adapter's name
    std::string category;        // "Public", "Private" or "DomainAuthenticated"
};

// The profiles that Get-NetConnectionProfile lists, in its order; nothing when the text lists none.
std::optional<std::vector<ConnectionProfile>> ParseConnectionProfiles(std::string_view text);

// The one PowerShell line (as administrator) that makes the adapter's network Private.
std::string PrivateProfileFix(const ConnectionProfile& profile);

// The netsh line that lets the program receive on the two ports.
std::string FirewallRuleFix(std::string_view programPath, std::uint16_t updatePort,
                            std::uint16_t discoveryPort);

}  // namespace lut::cli
