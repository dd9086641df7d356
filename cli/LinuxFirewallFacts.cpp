#include "cli/LinuxFirewallFacts.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "update/TrimText.h"

namespace lut::cli {
namespace {

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(TrimBlankAndControl(text.substr(0, end)));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

// Words apart from blanks and commas, braces and quotes dropped: `udp dport { 23, 8000 }` gives "udp",
// "dport", "{", "23", "8000", "}".
std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    const auto flush = [&] {
        if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    };
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == ',') {
            flush();
        } else if (c == '{' || c == '}') {
            flush();
            words.emplace_back(1, c);
        } else if (c != '"') {
            word += c;
        }
    }
    flush();
    return words;
}

std::optional<unsigned> Number(std::string_view text) {
    unsigned value = 0;
    if (text == "telnet") {  // nft -S and ufw may name the port
        return 23U;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

// "23", "20-30", "20:30"; nothing for a word that is no port.
std::optional<std::pair<unsigned, unsigned>> PortRange(std::string_view word) {
    const auto dash = word.find_first_of("-:");
    const auto low = Number(word.substr(0, dash));
    const auto high = dash == std::string_view::npos ? low : Number(word.substr(dash + 1));
    return low && high ? std::optional(std::pair(*low, *high)) : std::nullopt;
}

// The value after words[at]: one word, or every word of a { set }; `at` moves past it.
std::vector<std::string> Value(const std::vector<std::string>& words, std::size_t& at) {
    std::vector<std::string> values;
    if (at + 1 >= words.size()) {
        return values;
    }
    if (words[++at] != "{") {
        values.push_back(words[at]);
        return values;
    }
    while (++at < words.size() && words[at] != "}") {
        values.push_back(words[at]);
    }
    return values;
}

void AddPorts(FilterRule& rule, const std::vector<std::string>& values) {
    for (const std::string& value : values) {
        if (const auto range = PortRange(value)) {
            rule.ports.push_back(*range);
        }
    }
    if (rule.ports.empty()) {
        rule.appliesToNew = false;  // a port by a name this reading does not know: not ours
    }
}

void SetState(FilterRule& rule, const std::vector<std::string>& states) {
    const auto has = [&states](std::string_view state) {
        return std::find(states.begin(), states.end(), state) != states.end();
    };
    if (!has("new")) {
        rule.answersOnly = has("established") || has("related");
        rule.appliesToNew = rule.answersOnly;
    }
}

FilterRule NftRule(std::string_view line) {
    FilterRule rule{std::string(line)};
    const std::vector<std::string> words = Words(line);
    for (std::size_t at = 0; at < words.size(); ++at) {
        const std::string& word = words[at];
        if ((word == "iif" || word == "iifname") && at + 1 < words.size()) {
            rule.appliesToNew = rule.appliesToNew && words[++at] != "lo";
        } else if (word == "ct" && at + 1 < words.size() && words[at + 1] == "state") {
            ++at;
            SetState(rule, Value(words, at));
        } else if (word == "udp" || word == "tcp" || word == "th") {
            if (word != "th") {
                rule.protocol = word;
            }
            if (at + 1 < words.size() && words[at + 1] == "dport") {
                ++at;
                AddPorts(rule, Value(words, at));
            }
        } else if ((word == "l4proto" || word == "protocol") && at + 1 < words.size()) {
            const std::vector<std::string> protocols = Value(words, at);
            const bool udp = std::find(protocols.begin(), protocols.end(), "udp") != protocols.end();
            rule.protocol = udp || protocols.empty() ? "udp" : protocols.front();
        } else if (word == "ip6" || word == "icmpv6" || word == "icmp") {
            rule.appliesToNew = false;
        } else if (word == "accept") {
            rule.action = FilterAction::Accept;
        } else if (word == "drop" || word == "reject") {
            rule.action = FilterAction::Drop;
        } else if (word == "return") {
            rule.action = FilterAction::Return;
        } else if ((word == "jump" || word == "goto") && at + 1 < words.size()) {
            rule.action = word == "jump" ? FilterAction::Jump : FilterAction::Goto;
            rule.target = words[++at];
        }
    }
    return rule;
}

FilterRule IptablesRule(std::string_view line) {
    FilterRule rule{std::string(line)};
    const std::vector<std::string> words = Words(line);
    bool negated = false;
    for (std::size_t at = 2; at + 1 < words.size(); ++at) {
        const std::string& word = words[at];
        const std::string& value = words[at + 1];
        if (word == "!") {
            negated = true;
            continue;
        }
        if (word == "-i" && !negated) {
            rule.appliesToNew = rule.appliesToNew && value != "lo";
        } else if (word == "-p" && !negated) {
            rule.protocol = value;
        } else if ((word == "--dport" || word == "--dports") && !negated) {
            std::vector<std::string> values;
            for (std::size_t next = at + 1; next < words.size() && PortRange(words[next]); ++next) {
                values.push_back(words[next]);
            }
            AddPorts(rule, values);
        } else if ((word == "--ctstate" || word == "--state") && !negated) {
            std::vector<std::string> states;
            for (std::size_t next = at + 1; next < words.size() && words[next].front() != '-'; ++next) {
                std::string state = words[next];
                std::transform(state.begin(), state.end(), state.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                states.push_back(state);
            }
            SetState(rule, states);
        } else if (word == "-j" || word == "-g") {
            rule.action = value == "ACCEPT"                      ? FilterAction::Accept
                          : value == "DROP" || value == "REJECT" ? FilterAction::Drop
                          : value == "RETURN"                    ? FilterAction::Return
                          : value == "LOG" || value == "NFLOG"   ? FilterAction::None
                          : word == "-g"                         ? FilterAction::Goto
                                                                 : FilterAction::Jump;
            rule.target = value;
        }
        negated = false;
    }
    return rule;
}

// A rule the front ends put before their own: answers to the machine's own datagrams pass.
FilterRule AnswersPass(std::string text) {
    FilterRule rule{std::move(text)};
    rule.answersOnly = true;
    rule.action = FilterAction::Accept;
    return rule;
}

bool Applies(const FilterRule& rule, std::uint16_t port) {
    return rule.appliesToNew && (rule.protocol.empty() || rule.protocol == "udp" || rule.protocol == "all") &&
           (rule.ports.empty() ||
            std::any_of(rule.ports.begin(), rule.ports.end(),
                        [port](const auto& range) { return range.first <= port && port <= range.second; }));
}

struct Walk {
    const InboundFilter& filter;
    std::uint16_t port;
    bool answersPass = false;
    std::optional<std::string> droppedBy{};

    // The chain a jump names: in nftables one of the same table ("inet filter" + " " + name).
    const FilterChain* Find(const FilterChain& from, const std::string& name) const {
        const auto space = from.name.rfind(' ');
        const std::string sameTable =
            space == std::string::npos ? name : from.name.substr(0, space + 1) + name;
        const auto chain = std::find_if(filter.chains.begin(), filter.chains.end(),
                                        [&sameTable](const FilterChain& c) { return c.name == sameTable; });
        return chain == filter.chains.end() ? nullptr : &*chain;
    }

    // True when a verdict ends the base chain (accept or drop); false when the chain ran out or returned.
    bool Run(const FilterChain& chain, int depth) {
        for (const FilterRule& rule : chain.rules) {
            if (!Applies(rule, port)) {
                continue;
            }
            if (rule.answersOnly) {
                answersPass = answersPass || rule.action == FilterAction::Accept;
                continue;
            }
            switch (rule.action) {
                case FilterAction::None:
                    continue;
                case FilterAction::Accept:
                    return true;
                case FilterAction::Drop:
                    droppedBy = rule.text;
                    return true;
                case FilterAction::Return:
                    return false;
                case FilterAction::Jump:
                case FilterAction::Goto: {
                    const FilterChain* target = Find(chain, rule.target);
                    if (target != nullptr && depth < 16 && Run(*target, depth + 1)) {
                        return true;
                    }
                    if (rule.action == FilterAction::Goto) {
                        return false;
                    }
                    continue;
                }
            }
        }
        return false;
    }
};

std::string FixFor(const InboundFilter& filter, const FilterChain& chain, std::uint16_t port) {
    const std::string number = std::to_string(port);
    switch (filter.firewall) {
        case Firewall::Nftables:
            return "sudo nft insert rule " + chain.name + " udp dport " + number + " accept";
        case Firewall::Iptables:
            return "sudo iptables -I " + chain.name + " -p udp --dport " + number + " -j ACCEPT";
        case Firewall::Ufw:
            return "sudo ufw allow " + number + "/udp";
        case Firewall::Firewalld:
            return "sudo firewall-cmd --permanent --zone=" + chain.name + " --add-port=" + number +
                   "/udp && sudo firewall-cmd --reload";
    }
    return {};
}

}  // namespace

std::optional<InboundFilter> ParseNftRuleset(std::string_view text) {
    InboundFilter filter{Firewall::Nftables};
    std::string table;
    bool ipv4 = false;
    FilterChain* chain = nullptr;
    for (const std::string_view line : Lines(text)) {
        const std::vector<std::string> words = Words(line);
        if (words.empty() || line.starts_with("#")) {
            continue;
        }
        if (words[0] == "table" && words.size() >= 3) {
            ipv4 = words[1] == "ip" || words[1] == "inet";
            table = words[1] + " " + words[2];
            chain = nullptr;
        } else if (words[0] == "chain" && words.size() >= 2) {
            chain = ipv4 ? &filter.chains.emplace_back(FilterChain{table + " " + words[1]}) : nullptr;
        } else if (words[0] == "}") {
            continue;
        } else if (chain != nullptr && words[0] == "type") {
            chain->input = line.find("hook input") != std::string_view::npos;
            chain->dropsByDefault = line.find("policy drop") != std::string_view::npos;
            chain->policy = chain->dropsByDefault ? "policy drop" : "policy accept";
        } else if (chain != nullptr) {
            chain->rules.push_back(NftRule(line));
        } else if (table.empty()) {
            return std::nullopt;  // text before any table: no ruleset
        }
    }
    return filter;
}

std::optional<InboundFilter> ParseIptablesSave(std::string_view text) {
    InboundFilter filter{Firewall::Iptables};
    bool inFilterTable = false;
    for (const std::string_view line : Lines(text)) {
        if (line.empty() || line.starts_with("#")) {
            continue;
        }
        if (line.starts_with("*")) {
            inFilterTable = line == "*filter";
        } else if (line == "COMMIT") {
            continue;
        } else if (!line.starts_with(":") && !line.starts_with("-A ")) {
            return std::nullopt;  // no such listing
        } else if (!inFilterTable) {
            continue;
        } else if (line.starts_with(":")) {
            const std::vector<std::string> words = Words(line.substr(1));
            if (words.size() < 2) {
                return std::nullopt;
            }
            FilterChain& chain = filter.chains.emplace_back(FilterChain{words[0], words[0] == "INPUT"});
            chain.dropsByDefault = words[1] == "DROP";
            chain.policy = "policy " + words[1];
        } else {
            const std::vector<std::string> words = Words(line);
            const auto chain = std::find_if(filter.chains.begin(), filter.chains.end(),
                                            [&words](const FilterChain& c) { return c.name == words[1]; });
            if (chain == filter.chains.end()) {
                return std::nullopt;
            }
            chain->rules.push_back(IptablesRule(line));
        }
    }
    return filter;
}

std::optional<InboundFilter> ParseUfwStatus(std::string_view text) {
    InboundFilter filter{Firewall::Ufw};
    FilterChain chain{"ufw", true};
    chain.rules.push_back(AnswersPass("ufw-before-input: RELATED,ESTABLISHED ACCEPT"));
    bool status = false;
    bool table = false;
    for (const std::string_view line : Lines(text)) {
        if (line.starts_with("Status:")) {
            status = true;
            filter.active = TrimBlankAndControl(line.substr(7)) == "active";
        } else if (line.starts_with("Default:")) {
            const auto incoming = line.find("(incoming)");
            const std::string_view policy =
                TrimBlankAndControl(line.substr(8, incoming == std::string_view::npos ? 0 : incoming - 8));
            chain.dropsByDefault = policy != "allow";
            chain.policy = "Default: " + std::string(policy) + " (incoming)";
        } else if (line.starts_with("--")) {
            table = true;
        } else if (table && !line.empty() && line.find("(v6)") == std::string_view::npos) {
            // Columns stand apart by runs of blanks: To, Action (two words), From.
            const std::vector<std::string> words = Words(line);
            const auto action = std::find_if(words.begin(), words.end(), [](const std::string& word) {
                return word == "ALLOW" || word == "DENY" || word == "REJECT" || word == "LIMIT";
            });
            if (action == words.begin() || action == words.end() || action + 1 == words.end() ||
                action[1] != "IN") {
                continue;
            }
            FilterRule rule{std::string(line)};
            rule.action =
                *action == "DENY" || *action == "REJECT" ? FilterAction::Drop : FilterAction::Accept;
            // "23,8000/udp": the protocol ends the last port.
            const std::string& last = action[-1];
            if (const auto slash = last.find('/'); slash != std::string::npos) {
                rule.protocol = last.substr(slash + 1);
            }
            if (!words.front().starts_with("Anywhere")) {
                std::vector<std::string> ports;
                for (auto word = words.begin(); word != action; ++word) {
                    ports.push_back(word->substr(0, word->find('/')));
                }
                AddPorts(rule, ports);
            }
            chain.rules.push_back(rule);
        }
    }
    if (!status) {
        return std::nullopt;
    }
    filter.chains.push_back(chain);
    return filter;
}

std::optional<InboundFilter> ParseFirewalldZone(std::string_view text) {
    const std::vector<std::string_view> lines = Lines(text);
    const auto first =
        std::find_if(lines.begin(), lines.end(), [](std::string_view l) { return !l.empty(); });
    if (first == lines.end() || first->find(' ') == std::string_view::npos || !first->ends_with(")")) {
        return std::nullopt;
    }
    InboundFilter filter{Firewall::Firewalld};
    FilterChain chain{std::string(first->substr(0, first->find(' '))), true};
    chain.rules.push_back(AnswersPass("firewalld: ct state established,related accept"));
    chain.dropsByDefault = true;  // "default" rejects what no port or service lets in
    chain.policy = "target default";
    for (const std::string_view line : lines) {
        if (line.starts_with("target:")) {
            const std::string_view target = TrimBlankAndControl(line.substr(7));
            chain.dropsByDefault = target != "ACCEPT";
            chain.policy = "target " + std::string(target);
        } else if (line.starts_with("ports:")) {
            for (const std::string& port : Words(line.substr(6))) {
                FilterRule rule{"zone " + chain.name + ": port " + port};
                rule.protocol = port.substr(port.find('/') + 1);
                AddPorts(rule, {port.substr(0, port.find('/'))});
                rule.action = FilterAction::Accept;
                chain.rules.push_back(rule);
            }
        }
    }
    filter.chains.push_back(chain);
    return filter;
}

FilterDecision Decide(const InboundFilter& filter, std::uint16_t port) {
    if (!filter.active) {
        return {};
    }
    for (const FilterChain& chain : filter.chains) {
        if (!chain.input) {
            continue;
        }
        Walk walk{filter, port};
        if (!walk.Run(chain, 0) && chain.dropsByDefault) {
            walk.droppedBy = chain.name + ": " + chain.policy;
        }
        if (walk.droppedBy) {
            return {walk.answersPass ? FilterVerdict::AnswersOnly : FilterVerdict::Dropped, *walk.droppedBy,
                    FixFor(filter, chain, port)};
        }
    }
    return {};
}

}  // namespace lut::cli
