#include "cli/WindowsNetworkFacts.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "update/TrimText.h"

namespace lut::cli {
namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "Key:   value" lines in blocks; a line without the separator or with an empty key is not a field.
template <typename OnField>
void ForEachField(std::string_view text, char separator, OnField onField) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto at = line.find(separator);
        if (at != std::string_view::npos && !TrimBlankAndControl(line.substr(0, at)).empty()) {
            onField(TrimBlankAndControl(line.substr(0, at)), TrimBlankAndControl(line.substr(at + 1)));
        }
    }
}

bool PortInList(std::string_view list, std::uint16_t port) {
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view item = TrimBlankAndControl(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (SameLetters(item, "Any")) {
            return true;
        }
        const auto dash = item.find('-');
        const std::string_view first = item.substr(0, dash);
        const std::string_view last = dash == std::string_view::npos ? first : item.substr(dash + 1);
        unsigned low = 0;
        unsigned high = 0;
        if (std::from_chars(first.data(), first.data() + first.size(), low).ec == std::errc() &&
            std::from_chars(last.data(), last.data() + last.size(), high).ec == std::errc() && low <= port &&
            port <= high) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::vector<FirewallRule>> ParseFirewallRules(std::string_view text) {
    std::vector<FirewallRule> rules;
    ForEachField(text, ':', [&rules](std::string_view key, std::string_view value) {
        if (key == "Rule Name") {
            rules.emplace_back().name = value;
        } else if (rules.empty()) {
            return;
        } else if (key == "Enabled") {
            rules.back().enabled = value == "Yes";
        } else if (key == "Direction") {
            rules.back().inbound = value == "In";
        } else if (key == "Action") {
            rules.back().allow = value == "Allow";
        } else if (key == "Protocol") {
            rules.back().protocol = value;
        } else if (key == "LocalPort") {
            rules.back().localPorts = value;
        } else if (key == "Program") {
            rules.back().program = value;
        } else if (key == "Profiles") {
            rules.back().profiles = value;
        }
    });
    if (rules.empty() && text.find("No rules match the specified criteria.") == std::string_view::npos) {
        return std::nullopt;
    }
    return rules;
}

bool RuleCovers(const FirewallRule& rule, std::uint16_t port, std::string_view programPath) {
    const bool anyProgram = rule.program.empty() || SameLetters(rule.program, "Any");
    return rule.enabled && rule.inbound &&
           (SameLetters(rule.protocol, "UDP") || SameLetters(rule.protocol, "Any")) &&
           (rule.localPorts.empty() || PortInList(rule.localPorts, port)) &&
           (anyProgram || SameLetters(rule.program, programPath));
}

namespace {

// Windows names the domain profile "DomainAuthenticated" in a connection and "Domain" in a rule.
bool RuleHasProfile(const FirewallRule& rule, std::string_view category) {
    const std::string_view profile = category == "DomainAuthenticated" ? "Domain" : category;
    return rule.profiles.empty() || rule.profiles.find("Any") != std::string::npos ||
           rule.profiles.find(profile) != std::string::npos;
}

}  // namespace

PortRuling JudgeRules(const std::vector<FirewallRule>& rules, std::uint16_t port,
                      std::string_view programPath, const std::vector<std::string>& categories) {
    PortRuling allowed{RuleVerdict::NoRule};
    PortRuling otherProfiles{RuleVerdict::NoRule};
    for (const FirewallRule& rule : rules) {
        if (!RuleCovers(rule, port, programPath)) {
            continue;
        }
        const auto covers = [&rule](const std::string& category) { return RuleHasProfile(rule, category); };
        // Unsure which network a datagram comes through, a block for any of them counts, an allow for all.
        if (!rule.allow) {
            if (categories.empty() || std::any_of(categories.begin(), categories.end(), covers)) {
                return {RuleVerdict::Blocked, rule.name, rule.profiles};
            }
            continue;
        }
        const bool here = std::all_of(categories.begin(), categories.end(), covers);
        PortRuling& ruling = here ? allowed : otherProfiles;
        if (ruling.verdict == RuleVerdict::NoRule) {
            ruling = {here ? RuleVerdict::Allowed : RuleVerdict::OtherProfiles, rule.name, rule.profiles};
        }
    }
    return allowed.verdict != RuleVerdict::NoRule ? allowed : otherProfiles;
}

std::optional<std::vector<ConnectionProfile>> ParseConnectionProfiles(std::string_view text) {
    std::vector<ConnectionProfile> profiles;
    std::optional<std::string> alias;
    ForEachField(text, ':', [&](std::string_view key, std::string_view value) {
        if (key == "InterfaceAlias") {
            alias = std::string(value);
        } else if (key == "NetworkCategory" && alias) {
            profiles.push_back({*alias, std::string(value)});
            alias.reset();
        }
    });
    if (profiles.empty()) {
        return std::nullopt;
    }
    return profiles;
}

std::string PrivateProfileFix(const ConnectionProfile& profile) {
    return "Set-NetConnectionProfile -InterfaceAlias \"" + profile.interfaceAlias +
           "\" -NetworkCategory Private";
}

std::string FirewallRuleFix(std::string_view programPath, std::uint16_t updatePort,
                            std::uint16_t discoveryPort) {
    return "netsh advfirewall firewall add rule name=\"Logger Update Tool\" dir=in action=allow program=\"" +
           std::string(programPath) + "\" protocol=UDP localport=" + std::to_string(discoveryPort) + "," +
           std::to_string(updatePort);
}

}  // namespace lut::cli
