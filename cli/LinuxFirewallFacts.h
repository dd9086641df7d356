// What Linux's packet filters do with a datagram that arrives for the tool, read from the listings of their
// own commands (nft, iptables-save, ufw, firewall-cmd), so that the reading can be checked on recorded
// outputs anywhere. Each listing becomes the same model of chains and rules, reduced to what decides the
// fate of a new UDP datagram from another host to one port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lut::cli {

// The commands whose outputs the parsers below read.
inline constexpr std::string_view NftRulesetCommand = "nft list ruleset";
inline constexpr std::string_view IptablesCommand = "iptables-save -t filter";
inline constexpr std::string_view UfwStatusCommand = "ufw status verbose";
inline constexpr std::string_view FirewalldZoneCommand = "firewall-cmd --list-all";

enum class FilterAction { None, Accept, Drop, Return, Jump, Goto };

struct FilterRule {
    std::string text{};                                  // as the listing shows it
    bool appliesToNew = true;                            // false: loopback only, IPv6 only, invalid state
    bool answersOnly = false;                            // only datagrams that answer the tool's own
    std::string protocol{};                              // "udp", "tcp", ...; empty: any
    std::vector<std::pair<unsigned, unsigned>> ports{};  // destination port ranges; empty: any
    FilterAction action = FilterAction::None;
    std::string target{};  // the chain of a jump or goto
};

struct FilterChain {
    std::string name{};  // as the fix names it: "inet filter input", "INPUT", "public"
    bool input = false;  // a base chain that sees every datagram for this machine
    bool dropsByDefault = false;
    std::string policy{};  // the text that says so: "policy drop", "Default: deny (incoming)"
    std::vector<FilterRule> rules{};
};

enum class Firewall { Nftables, Iptables, Ufw, Firewalld };

struct InboundFilter {
    Firewall firewall = Firewall::Nftables;
    bool active = true;  // ufw and firewalld can be installed and off
    std::vector<FilterChain> chains{};
};

enum class FilterVerdict {
    Accepted,     // a rule lets it in, or nothing stops it
    AnswersOnly,  // a new datagram is dropped; one answering the tool's own datagram passes (connection
                  // state)
    Dropped,      // dropped or rejected
};

struct FilterDecision {
    FilterVerdict verdict = FilterVerdict::Accepted;
    std::string by{};   // the rule or the policy that drops it; empty when accepted
    std::string fix{};  // the command (as root) that lets the port in
};

// Nothing when the text is no such listing. An empty ruleset is a listing that holds no rule.
std::optional<InboundFilter> ParseNftRuleset(std::string_view text);
std::optional<InboundFilter> ParseIptablesSave(std::string_view text);
std::optional<InboundFilter> ParseUfwStatus(std::string_view text);
std::optional<InboundFilter> ParseFirewalldZone(std::string_view text);

// What the filter does with a new UDP datagram from another host to the port. A match this reading does not
// understand (addresses, interfaces but loopback) counts as matching.
FilterDecision Decide(const InboundFilter& filter, std::uint16_t port);

}  // namespace lut::cli
