// doctor: one report of what a search and an update depend on here, and a verdict: the problems found,
// each with what to do, for a technician to act on or to paste into a support request. It sends nothing
// unless --probe. Every field of the JSON report has one type on every platform.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/HostFacts.h"
#include "cli/LinuxFirewallFacts.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "cli/WindowsNetworkFacts.h"
#include "link/HostSystem.h"
#include "link/LocalAddress.h"
#include "link/PortAccess.h"
#include "record/UpdateRecord.h"
#include "update/OpenFailure.h"
#include "update/search/LoggerList.h"
#include "update/search/SweepResult.h"

namespace lut::cli {
namespace {

// The report's layout; a change that a script reading it would notice raises it.
constexpr int ReportSchema = 1;

constexpr std::string_view Error = "error";
constexpr std::string_view Warning = "warning";

// The problems found so far, in the order the report finds them.
class Problems {
  public:
    void Add(std::string_view code, std::string_view severity, const std::string& what,
             const std::string& todo) {
        list_.push_back({{"code", code}, {"severity", severity}, {"what", what}, {"todo", todo}});
    }

    const Json& List() const { return list_; }

    ExitCode Verdict() const {
        const bool error = std::any_of(list_.begin(), list_.end(),
                                       [](const Json& problem) { return problem["severity"] == Error; });
        return error ? ExitCode::DoctorError : list_.empty() ? ExitCode::Complete : ExitCode::DoctorWarning;
    }

  private:
    Json list_ = Json::array();
};

std::optional<std::uint32_t> Ipv4(std::string_view dotted) {
    std::uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        unsigned byte = 0;
        const auto [end, error] = std::from_chars(dotted.data(), dotted.data() + dotted.size(), byte);
        if (error != std::errc() || byte > 255 ||
            (part < 3 && (end == dotted.data() + dotted.size() || *end != '.'))) {
            return std::nullopt;
        }
        value = value << 8 | byte;
        dotted.remove_prefix(static_cast<std::size_t>(end - dotted.data()) + (part < 3 ? 1 : 0));
    }
    return dotted.empty() ? std::optional(value) : std::nullopt;
}

std::string Dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
           std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool IsLoopback(const AdapterAddress& adapter) {
    return adapter.address.starts_with("127.");
}

// The addresses a technician may give --local-address or --bind: those of the adapters that are up.
std::string UpAddresses(const std::vector<AdapterAddress>& adapters) {
    std::string list;
    for (const AdapterAddress& adapter : adapters) {
        if (adapter.up && !IsLoopback(adapter)) {
            list += (list.empty() ? "" : ", ") + adapter.address + " (" + Printable(adapter.name) + ")";
        }
    }
    return list.empty() ? "none is up" : list;
}

Json Adapters(const std::vector<AdapterAddress>& adapters, Problems& problems) {
    Json list = Json::array();
    for (const AdapterAddress& adapter : adapters) {
        list.push_back({{"name", adapter.name},
                        {"address", adapter.address},
                        {"prefix", adapter.prefixLength},
                        {"up", adapter.up}});
    }
    if (std::none_of(adapters.begin(), adapters.end(),
                     [](const AdapterAddress& adapter) { return adapter.up && !IsLoopback(adapter); })) {
        problems.Add("only-loopback", Error,
                     "no network adapter but loopback is up, so no logger can be reached",
                     "connect the network cable or switch on the adapter of the loggers' network");
    }
    return list;
}

// What a sweep from an address on an adapter with another prefix than /24 covers (loopback, where tests and
// demonstrations search, aside).
void CheckPrefix(const std::string& local, const AdapterAddress& adapter, Problems& problems) {
    const auto address = Ipv4(local);
    if (adapter.prefixLength == 24 || !address || adapter.prefixLength <= 0 || adapter.prefixLength > 32 ||
        IsLoopback(adapter)) {
        return;
    }
    const std::uint32_t mask = ~std::uint32_t{0} << (32 - adapter.prefixLength);
    const std::string network = Dotted(*address & mask) + "/" + std::to_string(adapter.prefixLength);
    const std::string sweep = SubnetPrefix(local) + "1 to " + SubnetPrefix(local) + "254";
    if (adapter.prefixLength < 24) {
        problems.Add(
            "prefix-not-24", Warning,
            "the network of " + local + " on " + Printable(adapter.name) + " is " + network +
                ", wider than the /24 a search sweeps: only " + sweep + " are searched",
            "search from an address in the other loggers' /24 (--local-address), or name them: update "
            "--logger IP");
        return;
    }
    problems.Add("prefix-not-24", Warning,
                 "the network of " + local + " on " + Printable(adapter.name) + " is " + network + " (" +
                     Dotted(*address & mask) + " to " + Dotted((*address & mask) | ~mask) +
                     "); the sweep of " + sweep + " also probes the addresses outside it, through the router",
                 "nothing, when the loggers are inside " + network + "; otherwise search from their network");
}

Json SearchFacts(const CommonOptions& options, const std::vector<AdapterAddress>& adapters,
                 Problems& problems) {
    std::string local;
    try {
        local = options.localAddress ? *options.localAddress : LocalAddressText();
    } catch (const std::runtime_error& error) {
        problems.Add("no-local-address", Error,
                     std::string("no local address to search from: ") + error.what(),
                     "connect the adapter of the loggers' network, or give --local-address");
        return {{"localAddress", ""}, {"sweep", ""}, {"adapter", ""}};
    }
    const std::string prefix = SubnetPrefix(local);
    const auto adapter = std::find_if(adapters.begin(), adapters.end(),
                                      [&local](const AdapterAddress& a) { return a.address == local; });
    const Json facts{{"localAddress", local},
                     {"sweep", prefix + "1 to " + prefix + "254"},
                     {"adapter", adapter == adapters.end() ? std::string() : adapter->name}};
    if (adapter == adapters.end()) {
        problems.Add("local-address-not-on-adapter", Error,
                     "the local address " + local + " is on no adapter of this machine: the sweep of " +
                         prefix + "1 to " + prefix +
                         "254 leaves through a router, and the loggers there are not its own",
                     "give --local-address the address of the adapter on the loggers' network: " +
                         UpAddresses(adapters));
        return facts;
    }
    if (!adapter->up) {
        problems.Add("adapter-down", Error,
                     "the local address " + local + " is on " + Printable(adapter->name) + ", which is down",
                     "connect its cable or switch the adapter on");
    }
    if (local.starts_with("169.254.")) {
        problems.Add("link-local-address", Warning,
                     "the local address " + local + " is link-local: " + Printable(adapter->name) +
                         " got no address from a DHCP server, and only loggers in " + prefix +
                         "0/24 are found",
                     "give the adapter a fixed address on the loggers' subnet, or check the DHCP server");
    }
    CheckPrefix(local, *adapter, problems);
    return facts;
}

// What to do about the program that holds the port: one of ours, or another one.
std::string FreeThePort(const std::optional<PortHolder>& holder) {
    if (!holder) {
        return "find the program that holds it (as root: ss -uapn), and end it";
    }
    const std::string name = std::filesystem::path(holder->program).stem().string();
    if (name == "logger-update-tool") {
        return "close the Logger Update Tool window";
    }
    if (name == "logger-update") {
        return "wait for the other logger-update to end, or stop it (process " + std::to_string(holder->pid) +
               ")";
    }
    return "end that program, or move its service off the port: the loggers answer on this port only";
}

Json PortFacts(std::string_view use, const BindRecord& bind, const std::vector<AdapterAddress>& adapters,
               Problems& problems) {
    const std::error_code why = TryBind(bind);
    Json port{{"port", bind.port},
              {"use", use},
              {"address", bind.address},
              {"bindable", !why},
              {"problem", ""},
              {"message", ""},
              {"holder", {{"pid", 0}, {"program", ""}}}};
    if (!why) {
        return port;
    }
    const std::string where =
        "UDP " + std::to_string(bind.port) + " (" + std::string(use) + ") on " + bind.address;
    port["message"] = OpenFailure(use, bind, why, ProgramPath());
    if (why == std::errc::address_in_use) {
        port["problem"] = "in-use";
        const auto holder = UdpPortHolder(bind.port);
        if (holder) {
            port["holder"] = {{"pid", holder->pid}, {"program", holder->program}};
        }
        problems.Add(
            "port-in-use", Error,
            where + " is held by " +
                (holder ? "process " + std::to_string(holder->pid) + " (" + Printable(holder->program) + ")"
                        : std::string("a process this user cannot see")),
            FreeThePort(holder));
    } else if (why == std::errc::permission_denied) {
        port["problem"] = "no-permission";
        problems.Add("port-no-permission", Error, where + " needs a privilege this process lacks",
                     "run as root, or give the program the capability once: sudo setcap "
                     "cap_net_bind_service=+ep " +
                         ProgramPath());
    } else if (why == std::errc::address_not_available) {
        port["problem"] = "address-not-local";
        problems.Add("bind-address-not-local", Error,
                     where + ": " + bind.address + " is no address of this machine",
                     "give --bind the address of an adapter that is up: " + UpAddresses(adapters) +
                         ", or leave --bind out");
    } else {
        port["problem"] = "other";
        problems.Add("port-unbindable", Error, where + ": " + why.message(),
                     "see the system's reason; the endpoint cannot open until it is gone");
    }
    return port;
}

Json PrivilegeFacts(const ToolOptions& tool, Problems& problems) {
    const std::string program = ProgramPath();
    const BindPrivilege facts = BindPrivilegeFacts(program, std::min(tool.updatePort, tool.discoveryPort));
    const std::string grant = "sudo setcap cap_net_bind_service=+ep " + program;
    if (facts.needed && !facts.nosuidMount.empty() && facts.fileCapability == "yes") {
        problems.Add(
            "nosuid-mount", facts.root ? Warning : Error,
            "the program lies on " + facts.nosuidMount +
                ", mounted nosuid: the system ignores its capability cap_net_bind_service there",
            "copy it to a file system mounted without nosuid (such as /usr/local/bin), or install the "
            "package");
    } else if (facts.needed && facts.root && facts.processCapability == "yes" &&
               facts.fileCapability == "no") {
        problems.Add("no-file-capability", Warning,
                     "the program file lacks cap_net_bind_service: as root it binds port " +
                         std::to_string(std::min(tool.updatePort, tool.discoveryPort)) +
                         ", other users cannot",
                     "let every user search without root, once: " + grant);
    }
    return {{"needed", facts.needed},
            {"root", facts.root},
            {"unprivilegedPortStart", facts.unprivilegedPortStart},
            {"program", program},
            {"processCapability", facts.processCapability},
            {"fileCapability", facts.fileCapability},
            {"nosuidMount", facts.nosuidMount}};
}

#ifdef _WIN32

// The firewall's inbound rules for the program on each port, judged for the network profile of the
// adapter the search uses (every listed profile when it is not listed), and each adapter's profile.
void WindowsFacts(Json& report, const ToolOptions& tool, const std::string& searchAdapter,
                  Problems& problems) {
    const std::string program = ProgramPath();
    const auto listedProfiles = CommandOutput(ConnectionProfilesCommand);
    const auto profiles = listedProfiles ? ParseConnectionProfiles(*listedProfiles) : std::nullopt;
    Json profileList = Json::array();
    std::vector<ConnectionProfile> active;
    for (const ConnectionProfile& profile : profiles.value_or(std::vector<ConnectionProfile>{})) {
        profileList.push_back({{"adapter", profile.interfaceAlias},
                               {"profile", profile.category},
                               {"fix", profile.category == "Public" ? PrivateProfileFix(profile) : ""}});
        if (profile.interfaceAlias == searchAdapter) {
            active = {profile};
        }
    }
    if (active.empty() && profiles) {
        active = *profiles;
    }
    report["profiles"] = profileList;
    std::vector<std::string> categories;
    for (const ConnectionProfile& profile : active) {
        categories.push_back(profile.category);
    }

    const auto output = CommandOutput(FirewallRulesCommand);
    const auto rules = output ? ParseFirewallRules(*output) : std::nullopt;
    Json ports = Json::array();
    for (const std::uint16_t port : {tool.discoveryPort, tool.updatePort}) {
        if (!rules) {
            continue;
        }
        const PortRuling ruling = JudgeRules(*rules, port, program, categories);
        const std::string network = active.empty() ? std::string("this network")
                                                   : "the " + active.front().category + " network of " +
                                                         active.front().interfaceAlias;
        const std::string what = "Windows Firewall lets no datagram to UDP " + std::to_string(port) +
                                 " reach this program on " + network;
        const std::string rule = "\"" + ruling.rule + "\" (profiles " + ruling.profiles + ")";
        std::string by;
        if (ruling.verdict == RuleVerdict::Blocked) {
            by = "block rule " + rule;
            problems.Add("firewall-blocks", Error, what + ": the rule " + rule + " blocks it",
                         "remove or disable that rule (wf.msc, Inbound Rules)");
        } else if (ruling.verdict == RuleVerdict::OtherProfiles) {
            by = "rule " + rule + " is for other profiles";
            problems.Add("firewall-other-profile", Error,
                         what + ": the rule " + rule + " is for other profiles",
                         active.front().category == "Public"
                             ? "make the loggers' network Private: " + PrivateProfileFix(active.front())
                             : "let the rule cover every profile (wf.msc, the rule's Advanced tab)");
        } else if (ruling.verdict == RuleVerdict::NoRule) {
            by = "no rule for this program";
            problems.Add(
                "firewall-no-rule", Error, what + ": no inbound rule lets it in",
                "as administrator: " + FirewallRuleFix(program, tool.updatePort, tool.discoveryPort));
        }
        ports.push_back({{"port", port}, {"verdict", by.empty() ? "accepted" : "dropped"}, {"by", by}});
    }
    report["firewalls"] = Json::array(
        {{{"name", "Windows Firewall"}, {"read", rules.has_value()}, {"active", true}, {"ports", ports}}});
}

#else

std::string_view VerdictName(FilterVerdict verdict) {
    switch (verdict) {
        case FilterVerdict::Accepted:
            return "accepted";
        case FilterVerdict::AnswersOnly:
            return "answers-only";
        case FilterVerdict::Dropped:
            return "dropped";
    }
    return "";
}

// One firewall's verdict on each port, and a problem for each port it keeps out.
Json FirewallFacts(std::string_view name, const std::optional<InboundFilter>& filter, const ToolOptions& tool,
                   bool reportProblems, Problems& problems) {
    Json ports = Json::array();
    for (const std::uint16_t port : {tool.discoveryPort, tool.updatePort}) {
        if (!filter) {
            continue;
        }
        const FilterDecision decision = Decide(*filter, port);
        ports.push_back({{"port", port}, {"verdict", VerdictName(decision.verdict)}, {"by", decision.by}});
        const std::string what = std::string(name) + " drops new UDP datagrams to port " +
                                 std::to_string(port) + " (" + decision.by + ")";
        if (!reportProblems || decision.verdict == FilterVerdict::Accepted) {
            continue;
        }
        if (decision.verdict == FilterVerdict::Dropped) {
            problems.Add("firewall-drops", Error, what, "let them in: " + decision.fix);
        } else {
            problems.Add(
                "firewall-drops-new", Warning,
                what + "; an answer passes only when the logger answers from the port the tool sent to",
                "let them in: " + decision.fix);
        }
    }
    return {
        {"name", name}, {"read", filter.has_value()}, {"active", filter && filter->active}, {"ports", ports}};
}

// The front ends (ufw, firewalld) write their rules into the kernel's tables; when one is on, its own
// verdict and fix stand for the tables'.
void LinuxFirewalls(Json& report, const ToolOptions& tool, Problems& problems) {
    const auto read = [](std::string_view command, auto parse) {
        const auto output = CommandOutput(command);
        return output ? parse(*output) : std::nullopt;
    };
    const auto ufw = read(UfwStatusCommand, ParseUfwStatus);
    const auto firewalld = read(FirewalldZoneCommand, ParseFirewalldZone);
    const bool frontEnd = (ufw && ufw->active) || firewalld;
    auto tables = read(NftRulesetCommand, ParseNftRuleset);
    const bool nft = tables.has_value();
    if (!nft) {
        tables = read(IptablesCommand, ParseIptablesSave);
    }
    report["firewalls"] =
        Json::array({FirewallFacts(nft ? "nftables" : "iptables", tables, tool, !frontEnd, problems),
                     FirewallFacts("ufw", ufw, tool, true, problems),
                     FirewallFacts("firewalld", firewalld, tool, true, problems)});
    report["profiles"] = Json::array();
}

#endif

// One search, as search runs it, and what came of it.
Json Probe(const DoctorOptions& options, const RunContext& context, const std::string& localAddress,
           Problems& problems) {
    Json probe{{"ran", false},       {"problem", ""},        {"interrupted", false},
               {"probes", 0},        {"sendsFailed", 0},     {"sendFailure", ""},
               {"receiveErrors", 0}, {"receiveFailure", ""}, {"answers", Json::array()}};
    if (!options.probe) {
        return probe;
    }
    if (localAddress.empty()) {
        probe["problem"] = "no local address to sweep";
        return probe;
    }
    Session session(options.common.tool, localAddress, context.pacer, context.interruptHandle);
    if (const auto failure = session.Start()) {
        probe["problem"] = *failure;
        return probe;
    }
    const SweepResult sweep = session.Core().btnsearchClick();
    const auto end = session.Loop().Run([] { return false; },
                                        {EventLoop::Clock::now() + options.common.wait, std::nullopt});
    for (const LoggerRow& row : session.Core().Loggers()) {
        probe["answers"].push_back({{"sn", row.sn}, {"ip", row.ip}, {"version", row.version}});
    }
    const std::error_code receiveFailure = session.Core().ReceiveFailure();
    probe["ran"] = true;
    probe["interrupted"] = end == EventLoop::End::Interrupted;
    probe["probes"] = sweep.probes;
    probe["sendsFailed"] = sweep.failed;
    probe["sendFailure"] = sweep.failed > 0 ? SweepFailure(sweep) : "";
    probe["receiveErrors"] = session.Core().ReceiveErrors();
    probe["receiveFailure"] = receiveFailure ? receiveFailure.message() : "";
    if (sweep.probes > 0 && sweep.failed == sweep.probes) {
        problems.Add("probes-not-sent", Error, SweepFailure(sweep),
                     "check the adapter and the route to " + SubnetPrefix(localAddress) + "0/24");
    } else if (probe["answers"].empty() && end != EventLoop::End::Interrupted) {
        problems.Add("no-answer", Warning,
                     "no logger answered the search of " + SubnetPrefix(localAddress) + "0/24",
                     "check that the loggers are powered and cabled to this network, and the problems above");
    }
    return probe;
}

std::string Text(const Json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

void PrintText(std::ostream& out, const Json& report) {
    out << "Logger Update Tool " << Text(report["version"]) << " on " << Text(report["system"]) << "\n";
    out << "IPv4 adapters:\n";
    for (const Json& adapter : report["adapters"]) {
        out << "  " << Printable(Text(adapter["name"])) << "  " << Text(adapter["address"]) << "/"
            << adapter["prefix"].get<int>() << "  " << (adapter["up"].get<bool>() ? "up" : "down") << "\n";
    }
    const Json& search = report["search"];
    out << "Search: "
        << (search["localAddress"] == ""
                ? std::string("no local address")
                : "local address " + Text(search["localAddress"]) + ", sweeps " + Text(search["sweep"]))
        << "\n";
    out << "Ports:\n";
    for (const Json& port : report["ports"]) {
        if (port["bindable"].get<bool>()) {
            out << "  UDP " << port["port"].get<int>() << " (" << Text(port["use"]) << ") on "
                << Text(port["address"]) << ": can be bound\n";
            continue;
        }
        out << "  " << Text(port["message"]);
        const Json& holder = port["holder"];
        if (port["problem"] == "in-use") {
            out << (holder["pid"] == 0 ? "; the process holding it is not visible to this user"
                                       : "; held by process " + Text(holder["pid"]) + " (" +
                                             Printable(Text(holder["program"])) + ")");
        }
        out << "\n";
    }
    const Json& privilege = report["privilege"];
    if (privilege["needed"].get<bool>()) {
        out << "Ports below " << privilege["unprivilegedPortStart"].get<int>()
            << " need a privilege: cap_net_bind_service of this process "
            << Text(privilege["processCapability"]) << ", of the program file "
            << Text(privilege["fileCapability"])
            << (privilege["nosuidMount"] == ""
                    ? ""
                    : " (on " + Text(privilege["nosuidMount"]) + ", mounted nosuid)")
            << "\n";
    }
    out << "Firewalls:\n";
    for (const Json& firewall : report["firewalls"]) {
        out << "  " << Text(firewall["name"]) << ": ";
        if (!firewall["read"].get<bool>()) {
            out << "not read (not installed, not understood, or it needs root or administrator rights)\n";
            continue;
        }
        if (!firewall["active"].get<bool>()) {
            out << "inactive\n";
            continue;
        }
        std::string separator;
        for (const Json& port : firewall["ports"]) {
            out << separator << "UDP " << port["port"].get<int>() << " " << Text(port["verdict"])
                << (port["by"] == "" ? "" : " (" + Printable(Text(port["by"])) + ")");
            separator = "; ";
        }
        out << "\n";
    }
    if (!report["profiles"].empty()) {
        out << "Network profiles:\n";
        for (const Json& entry : report["profiles"]) {
            out << "  " << Printable(Text(entry["adapter"])) << ": " << Text(entry["profile"]) << "\n";
        }
    }
    const Json& probe = report["probe"];
    if (!probe["ran"].get<bool>()) {
        out << "Probe: not run"
            << (probe["problem"] == "" ? " (--probe runs one search)" : ": " + Text(probe["problem"]))
            << "\n";
    } else {
        out << "Probe: " << probe["sendsFailed"].get<int>() << " of " << probe["probes"].get<int>()
            << " probes could not be sent, " << probe["receiveErrors"].get<std::size_t>()
            << " receive errors, " << probe["answers"].size() << " answers"
            << (probe["interrupted"].get<bool>() ? " (interrupted)" : "") << "\n";
        for (const char* failure : {"sendFailure", "receiveFailure"}) {
            if (probe[failure] != "") {
                out << "  " << Text(probe[failure]) << "\n";
            }
        }
        for (const Json& answer : probe["answers"]) {
            out << "  " << Printable(Text(answer["sn"])) << "  " << Text(answer["ip"]) << "  "
                << Printable(Text(answer["version"])) << "\n";
        }
    }
    if (report["problems"].empty()) {
        out << "No problem found.\n";
        return;
    }
    out << "Problems:\n";
    for (const Json& problem : report["problems"]) {
        out << "  " << Text(problem["severity"]) << " " << Text(problem["code"]) << ": "
            << Text(problem["what"]) << ". To do: " << Text(problem["todo"]) << "\n";
    }
}

}  // namespace

int RunDoctor(const DoctorOptions& options, const RunContext& context) {
    const ToolOptions& tool = options.common.tool;
    const std::vector<AdapterAddress> adapters = Ipv4Adapters();
    Problems problems;
    Json report{{"schema", ReportSchema},
                {"version", record::ToolVersion()},
                {"system", SystemDescription()},
                {"adapters", Adapters(adapters, problems)},
                {"search", SearchFacts(options.common, adapters, problems)}};
    report["ports"] =
        Json::array({PortFacts("update", {tool.bindAddress, tool.updatePort}, adapters, problems),
                     PortFacts("discovery", {tool.bindAddress, tool.discoveryPort}, adapters, problems)});
    report["privilege"] = PrivilegeFacts(tool, problems);
#ifdef _WIN32
    WindowsFacts(report, tool, report["search"]["adapter"].get<std::string>(), problems);
#else
    LinuxFirewalls(report, tool, problems);
#endif
    report["probe"] = Probe(options, context, report["search"]["localAddress"].get<std::string>(), problems);
    report["problems"] = problems.List();
    if (options.common.json) {
        context.out << ToJsonText(report) << '\n';
    } else {
        PrintText(context.out, report);
    }
    return ToInt(problems.Verdict());
}

}  // namespace lut::cli
