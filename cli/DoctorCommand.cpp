// doctor: one report of what a search and an update depend on here, for a technician to paste into a
// support request. It sends nothing unless --probe.
#include <ostream>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/HostFacts.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "cli/WindowsNetworkFacts.h"
#include "link/LocalAddress.h"
#include "link/PortAccess.h"
#include "record/UpdateRecord.h"
#include "update/LoggerList.h"
#include "update/OpenFailure.h"
#include "update/SweepResult.h"

namespace lut::cli {
namespace {

constexpr std::string_view Unknown = "unknown";

Json Adapters() {
    Json list = Json::array();
    for (const AdapterAddress& adapter : Ipv4Adapters()) {
        list.push_back({{"name", adapter.name},
                        {"address", adapter.address},
                        {"prefix", adapter.prefixLength},
                        {"up", adapter.up}});
    }
    return list;
}

Json SearchFacts(const CommonOptions& options) {
    try {
        const std::string local = options.localAddress ? *options.localAddress : LocalAddressText();
        const std::string prefix = SubnetPrefix(local);
        return {{"localAddress", local}, {"sweep", prefix + "1 to " + prefix + "254"}};
    } catch (const std::runtime_error& error) {
        return {{"localAddress", nullptr}, {"sweep", nullptr}, {"problem", error.what()}};
    }
}

Json PortFacts(std::string_view use, const BindRecord& bind) {
    const std::error_code why = TryBind(bind);
    Json port{{"port", bind.port}, {"use", use}, {"address", bind.address}, {"bindable", !why}};
    if (!why) {
        return port;
    }
    port["problem"] = why == std::errc::address_in_use      ? "in-use"
                      : why == std::errc::permission_denied ? "no-permission"
                                                            : "other";
    port["message"] = OpenFailure(use, bind, why, ProgramPath());
    if (why == std::errc::address_in_use) {
        const auto holder = UdpPortHolder(bind.port);
        port["holder"] = holder ? Json{{"pid", holder->pid}, {"program", holder->program}} : Json();
    }
    return port;
}

#ifdef _WIN32
// The firewall's inbound rules for the program on each port, and each adapter's network profile.
void WindowsFacts(Json& report, const ToolOptions& tool) {
    const std::string program = ProgramPath();
    const auto output = CommandOutput(FirewallRulesCommand);
    const auto rules = output ? ParseFirewallRules(*output) : std::nullopt;
    Json firewall = Json::array();
    for (const std::uint16_t port : {tool.updatePort, tool.discoveryPort}) {
        Json entry{{"port", port}};
        if (!rules) {
            entry["rule"] = Unknown;
        } else {
            Json covering = Json::array();
            for (const FirewallRule& rule : *rules) {
                if (RuleCovers(rule, port, program)) {
                    covering.push_back({{"name", rule.name}, {"action", rule.allow ? "allow" : "block"}});
                }
            }
            entry["rule"] = covering;
            if (covering.empty()) {
                entry["fix"] = FirewallRuleFix(program, tool.updatePort, tool.discoveryPort);
            }
        }
        firewall.push_back(entry);
    }
    report["firewall"] = firewall;

    const auto listed = CommandOutput(ConnectionProfilesCommand);
    const auto profiles = listed ? ParseConnectionProfiles(*listed) : std::nullopt;
    if (!profiles) {
        report["profiles"] = Unknown;
        return;
    }
    Json list = Json::array();
    for (const ConnectionProfile& profile : *profiles) {
        Json entry{{"adapter", profile.interfaceAlias}, {"profile", profile.category}};
        if (profile.category == "Public") {
            entry["fix"] = PrivateProfileFix(profile);
        }
        list.push_back(entry);
    }
    report["profiles"] = list;
}
#endif

// One search, as search runs it, and what came of it.
Json Probe(const DoctorOptions& options, const RunContext& context, const std::string& localAddress) {
    Session session(options.common.tool, localAddress, context.pacer, context.interruptHandle);
    if (const auto failure = session.Start()) {
        return {{"ran", false}, {"problem", *failure}};
    }
    const SweepResult sweep = session.Core().btnsearchClick();
    const auto end = session.Loop().Run([] { return false; },
                                        {EventLoop::Clock::now() + options.common.wait, std::nullopt});
    Json answers = Json::array();
    for (const LoggerRow& row : session.Core().Loggers()) {
        answers.push_back({{"sn", row.sn}, {"ip", row.ip}, {"version", row.version}});
    }
    const std::error_code receiveFailure = session.Core().ReceiveFailure();
    return {{"ran", true},
            {"interrupted", end == EventLoop::End::Interrupted},
            {"probes", sweep.probes},
            {"sendsFailed", sweep.failed},
            {"sendFailure", sweep.failed > 0 ? Json(SweepFailure(sweep)) : Json()},
            {"receiveErrors", session.Core().ReceiveErrors()},
            {"receiveFailure", receiveFailure ? Json(receiveFailure.message()) : Json()},
            {"answers", answers}};
}

std::string Text(const Json& value) {
    return value.is_string() ? value.get<std::string>()
           : value.is_null() ? std::string(Unknown)
                             : value.dump();
}

void PrintText(std::ostream& out, const Json& report) {
    out << "Logger Update Tool " << Text(report["version"]) << " on " << Text(report["system"]) << "\n";
    out << "IPv4 adapters:\n";
    for (const Json& adapter : report["adapters"]) {
        out << "  " << Printable(Text(adapter["name"])) << "  " << Text(adapter["address"]) << "/"
            << adapter["prefix"].get<int>() << "  " << (adapter["up"].get<bool>() ? "up" : "down") << "\n";
    }
    const Json& search = report["search"];
    out << "Search: local address " << Text(search["localAddress"]) << ", sweeps " << Text(search["sweep"]);
    out << (search.contains("problem") ? " (" + Text(search["problem"]) + ")" : std::string()) << "\n";
    out << "Ports:\n";
    for (const Json& port : report["ports"]) {
        if (port["bindable"].get<bool>()) {
            out << "  UDP " << port["port"].get<int>() << " (" << Text(port["use"]) << ") on "
                << Text(port["address"]) << ": can be bound\n";
            continue;
        }
        out << "  " << Text(port["message"]);
        if (port.contains("holder")) {
            const Json& holder = port["holder"];
            out << (holder.is_null() ? "; the process holding it is not visible to this user"
                                     : "; held by process " + Text(holder["pid"]) + " (" +
                                           Printable(Text(holder["program"])) + ")");
        }
        out << "\n";
    }
    if (report.contains("capNetBindService")) {
        out << "Capability cap_net_bind_service of this program: "
            << (report["capNetBindService"].is_null()     ? std::string(Unknown)
                : report["capNetBindService"].get<bool>() ? "yes"
                                                          : "no")
            << "\n";
    }
    if (report.contains("firewall")) {
        out << "Windows firewall, inbound rules for this program:\n";
        for (const Json& entry : report["firewall"]) {
            out << "  UDP " << entry["port"].get<int>() << ": ";
            if (!entry["rule"].is_array()) {
                out << Unknown << "\n";
                continue;
            }
            if (entry["rule"].empty()) {
                out << "no rule; fix (as administrator): " << Text(entry["fix"]) << "\n";
                continue;
            }
            std::string separator;
            for (const Json& rule : entry["rule"]) {
                out << separator << Text(rule["action"]) << " by \"" << Printable(Text(rule["name"])) << "\"";
                separator = ", ";
            }
            out << "\n";
        }
        out << "Network profiles:";
        if (!report["profiles"].is_array()) {
            out << " " << Unknown << "\n";
        } else {
            out << "\n";
            for (const Json& entry : report["profiles"]) {
                out << "  " << Printable(Text(entry["adapter"])) << ": " << Text(entry["profile"]);
                out << (entry.contains("fix")
                            ? "; fix (PowerShell as administrator): " + Printable(Text(entry["fix"]))
                            : std::string())
                    << "\n";
            }
        }
    }
    const Json& probe = report["probe"];
    if (probe.is_null()) {
        out << "Probe: not run (--probe runs one search)\n";
    } else if (!probe["ran"].get<bool>()) {
        out << "Probe: not run: " << Text(probe["problem"]) << "\n";
    } else {
        out << "Probe: " << probe["sendsFailed"].get<int>() << " of " << probe["probes"].get<int>()
            << " probes could not be sent, " << probe["receiveErrors"].get<std::size_t>()
            << " receive errors, " << probe["answers"].size() << " answers"
            << (probe["interrupted"].get<bool>() ? " (interrupted)" : "") << "\n";
        for (const char* failure : {"sendFailure", "receiveFailure"}) {
            if (!probe[failure].is_null()) {
                out << "  " << Text(probe[failure]) << "\n";
            }
        }
        for (const Json& answer : probe["answers"]) {
            out << "  " << Printable(Text(answer["sn"])) << "  " << Text(answer["ip"]) << "  "
                << Printable(Text(answer["version"])) << "\n";
        }
    }
}

}  // namespace

int RunDoctor(const DoctorOptions& options, const RunContext& context) {
    const ToolOptions& tool = options.common.tool;
    Json report{{"version", record::ToolVersion()},
                {"system", SystemDescription()},
                {"adapters", Adapters()},
                {"search", SearchFacts(options.common)}};
    report["ports"] = Json::array({PortFacts("update", {tool.bindAddress, tool.updatePort}),
                                   PortFacts("discovery", {tool.bindAddress, tool.discoveryPort})});
#ifdef _WIN32
    WindowsFacts(report, tool);
#else
    const auto capability = HoldsBindCapability();
    report["capNetBindService"] = capability ? Json(*capability) : Json();
#endif
    report["probe"] = nullptr;
    if (options.probe) {
        const Json& local = report["search"]["localAddress"];
        report["probe"] = local.is_null() ? Json{{"ran", false}, {"problem", "no local address to sweep"}}
                                          : Probe(options, context, local.get<std::string>());
    }
    if (options.common.json) {
        context.out << ToJsonText(report) << '\n';
    } else {
        PrintText(context.out, report);
    }
    return ToInt(ExitCode::Complete);
}

}  // namespace lut::cli
