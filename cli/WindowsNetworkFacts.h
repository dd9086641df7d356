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
