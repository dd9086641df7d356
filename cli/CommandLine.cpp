#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "cli/ExitCode.h"

namespace lut::cli {
namespace {

constexpr std::string_view Description =
    "Finds the data loggers on the local IPv4 /24 subnet and loads a new firmware image into one of them,\n"
    "over UDP, as the window of the Logger Update Tool does. Run logger-update COMMAND --help for a "
    "command's\n"
    "details.";

constexpr std::string_view SearchSummary = "List the loggers on the local /24 subnet (SN, IP, Version)";
constexpr std::string_view UpdateSummary =
    "Load an update file into one logger, a list of them, or a whole site";

constexpr std::string_view DoctorSummary =
    "Report what a search and an update depend on here, for a support request";

constexpr std::string_view DoctorDetails =
    "doctor prints one report to paste into a message, then its verdict: the problems found, one a line\n"
    "with its code, its severity and what to do. The report: the tool's version and the system; every IPv4\n"
    "adapter with its address, prefix and state; the local address a search would use and the /24 it would\n"
    "sweep; whether UDP ports 8000 and 23 can be bound now and, if not, why (the process holding the port,\n"
    "with its program's path, or the privilege missing); what lets the program bind port 23 (on Linux\n"
    "net.ipv4.ip_unprivileged_port_start, the capability cap_net_bind_service of the process and of the\n"
    "program file, a file system mounted nosuid); the firewalls' verdict on a new UDP datagram to each port\n"
    "(Linux: nftables or iptables, ufw, firewalld, read when run as root; Windows: the inbound rules for "
    "the\n"
    "program, judged for the network profile of the searching adapter) and each adapter's network profile.\n"
    "Problems of severity \"error\" stop a search or an update here (an adapter down or missing, a port "
    "held\n"
    "or without the privilege, a firewall that drops the loggers' datagrams); \"warning\" ones may cost "
    "some\n"
    "loggers or other users (a prefix other than /24, a link-local address, a program file without the\n"
    "capability when run as root). It sends nothing, unless --probe: then it runs one search and reports\n"
    "the probes that could not be sent, the receive errors and the answers. --json prints the report as one\n"
    "object (\"schema\": 1; every field has one type on every platform; \"problems\" is a list of objects\n"
    "with code, severity, what and todo). The exit code is 0 without a problem, 12 with an error, 13 with\n"
    "warnings only.\n";

constexpr std::string_view DoctorExamples =
    "  logger-update doctor\n"
    "  logger-update doctor --probe --json\n"
    "  logger-update doctor --probe --capture support.pcapng\n";

constexpr std::string_view CaptureNote =
    "--capture FILE records every datagram sent and received, whole, for Wireshark: as pcapng when FILE\n"
    "ends in .pcapng (with the tool's version, the command line and the system in its header, and each\n"
    "datagram the system refused to send, marked by a comment), else as classic pcap. The dissector\n"
    "logger_update.lua (installed with the tool) shows the logger's frames in it.\n";

constexpr std::string_view HistorySummary = "List the update record, newest first";

constexpr std::string_view HistoryDetails =
    "Every update attempt that reaches the update request appends one line to the update record:\n"
    "$XDG_STATE_HOME/logger-update-tool/updates.jsonl (by default ~/.local/state/...; on Windows\n"
    "%LOCALAPPDATA%\\LoggerUpdateTool\\updates.jsonl). The environment variable LOGGER_UPDATE_RECORD names\n"
    "another file, or turns the record off with \"off\". history lists it newest first: time (UTC), serial\n"
    "number, address, version before, version sent, version after, outcome and file; --json gives every\n"
    "field. A damaged line is skipped with a warning.\n";

constexpr std::string_view HistoryExamples =
    "  logger-update history\n"
    "  logger-update history --logger 192.168.1.30\n"
    "  logger-update history --logger SN0001 --json\n";

constexpr std::string_view SearchDetails =
    "search sends the probe to hosts 1 to 254 of the /24 subnet of the local address, in --rounds rounds\n"
    "300 ms apart (a logger whose answer was lost answers a later round), collects the answers until --wait\n"
    "seconds after the last round and prints the loggers found: serial number (SN), IP address and firmware\n"
    "version, as a table or, with --json, as [{\"sn\": ..., \"ip\": ..., \"version\": ..., \"conflict\": "
    "...}].\n"
    "Two serial numbers answering from one address are an address conflict: both are listed, flagged with\n"
    "\"!\" (\"conflict\": true) and named in a warning, and update refuses that address. --all-adapters\n"
    "sweeps the /24 of every adapter that is up (not loopback), each from its own address, and shows which\n"
    "local address found each logger (Via; \"via\" in JSON).\n";

constexpr std::string_view UpdateDetails =
    "update asks the logger at --logger for its serial number and version, then runs the checks of the\n"
    "window's Update button: the file name must begin with \"S\", the version sent is the file name without\n"
    "its extension (or --version), and the logger's own version must begin with \"S\". While no\n"
    "acceptance comes, it sends the request again, 3 times at most, 1.5 s apart (as pressing Update\n"
    "again does). It then sends the file in blocks of 300 bytes, 200 ms apart, asks the logger for the\n"
    "result and ends with the logger's verdict: \"Update complete\", or the failure and its message.\n"
    "After \"Update complete\" it probes the logger again, every second until it answers or --verify-wait\n"
    "runs out (a logger may restart into its new image), and compares the version it reports with the\n"
    "version sent (exit codes 8 and 9 below); --no-verify skips this. On a terminal a bar shows the\n"
    "blocks sent and the time left; otherwise one line per stage. With --json one object ends the run:\n"
    "result, exitCode, message, logger, file, version, blocks, blocksSent, blocksResent, sendFailures,\n"
    "seconds, verified (null when not checked), versionBefore, versionAfter, receiveErrors (receive\n"
    "errors skipped, such as ICMP answers). --sha256 HEX pins the file: one whose SHA-256 differs is\n"
    "refused before anything is sent, its own SHA-256 in the message (exit code 4).\n"
    "Ctrl-C stops at once and says what the logger may hold (a partial image needs a new update).\n"
    "\n"
    "Whole sites: with --all the tool searches first (as search does) and updates every logger found\n"
    "whose version differs from the file's; the summary says how many loggers the search found, and with\n"
    "--expect N fewer than N update none (exit code 11). A repeated --logger names a list instead, each\n"
    "address probed directly, so loggers behind a router are reached. An address from which two serial\n"
    "numbers answered is not updated (exit code 10). --below VERSION keeps only loggers whose version\n"
    "sorts below VERSION: versions compare piece by piece, runs of digits as numbers and the rest as\n"
    "text, so S1.9 < S1.10 < S2.0. Up to --parallel loggers (at most 254) are\n"
    "updated at once, each with its own dialogue at the specified pace. Each gets a record line and a\n"
    "result line as it ends; on a terminal one progress line shows the whole batch and only a failed logger\n"
    "gets a line of its own. A table ends the run (SN, IP, before, after, outcome, time), or with --json\n"
    "an array of one object per logger: sn and the fields above but file and version.\n"
    "The exit code is the first failure's (0 when all succeeded). The first failure starts no further\n"
    "logger; --max-failures K allows K failures, --keep-going any number. --canary N updates the first N\n"
    "loggers alone; the others start only when all N completed and verified, and are otherwise \"skipped\n"
    "(canary failed)\". Ctrl-C stops the running ones and reports the others as skipped. --dry-run lists\n"
    "the loggers that would be updated.\n";

constexpr std::string_view SearchExamples =
    "  logger-update search\n"
    "  logger-update search --local-address 192.168.1.20 --wait 5\n"
    "  logger-update search --json\n"
    "  logger-update search --all-adapters --rounds 5\n";

constexpr std::string_view UpdateExamples =
    "  logger-update update --logger 192.168.1.30 --file /media/usb/S1.03.bin\n"
    "  logger-update update --logger 192.168.1.30 --file S1.03.bin --version S1.03b --json\n"
    "  logger-update update --all --file S1.03.bin --below S1.03 --parallel 16 --keep-going\n"
    "  logger-update update --all --file S1.03.bin --canary 1 --parallel 254 --max-failures 3\n"
    "  logger-update update --all --expect 12 --all-adapters --file S1.03.bin\n"
    "  logger-update update --logger 192.168.1.30 --logger 192.168.1.31 --file S1.03.bin --dry-run\n";

constexpr std::string_view PortNote =
    "The tool uses UDP port 8000 (update) and port 23 (search) on this machine, as the window does, so the\n"
    "two cannot run at the same time. Port 23 needs root, or the capability given once by\n"
    "  sudo setcap cap_net_bind_service=+ep logger-update\n";

std::string Examples(std::string_view first, std::string_view second = {}) {
    return "Examples:\n" + std::string(first) + std::string(second);
}

std::string ExitCodeTable() {
    std::ostringstream table;
    table << "Exit codes:\n";
    for (const auto& entry : ExitCodeTexts) {
        table << "  " << ToInt(entry.code) << (ToInt(entry.code) < 10 ? "    " : "  ") << entry.meaning
              << '\n';
    }
    return table.str();
}

// Every adapter binds its own address, so this excludes the options that name one.
// More than nothing: with no time to answer, a search or a probe would end before any answer could come.
CLI::Validator WaitSeconds() {
    return CLI::Validator(
        [](const std::string& input) -> std::string {
            double seconds = 0;
            try {
                seconds = std::stod(input);
            } catch (const std::exception&) {
                return "--wait takes seconds, such as 3 or 0.5, not " + input;
            }
            if (seconds > 0 && seconds <= 3600) {
                return {};
            }
            return "--wait " + input +
                   ": the wait must be more than 0 and at most 3600 seconds, so that the loggers' answers "
                   "can "
                   "arrive";
        },
        "SECONDS");
}

CLI::Option* AddAllAdapters(CLI::App& command, CommonOptions& options) {
    return command
        .add_flag("--all-adapters", options.allAdapters,
                  "Search the /24 subnet of every network adapter that is up (not loopback), each from its "
                  "own address; the list shows which local address found each logger (Via)")
        ->excludes("--local-address")
        ->excludes("--bind");
}

void AddCommonOptions(CLI::App& command, CommonOptions& options, double& waitSeconds) {
    command
        .add_option("--local-address", options.localAddress,
                    "The address whose /24 subnet is swept, and whose own answers are ignored "
                    "(default: this machine's first IPv4 address)")
        ->type_name("IP")
        ->check(CLI::ValidIPV4);
    command
        .add_option("--bind", options.tool.bindAddress,
                    "The local address both endpoints bind (default: any)")
        ->type_name("IP")
        ->check(CLI::ValidIPV4);
    command
        .add_option("--wait", waitSeconds,
                    "Seconds to collect answers after the sweep, and to wait for the logger's answer to the "
                    "probe or to the last update request (default: 3)")
        ->type_name("SECONDS")
        ->check(WaitSeconds());
    command.add_flag("--json", options.json, "Print the result as JSON instead of text");
    command
        .add_option(
            "--capture", options.capture,
            "Record every datagram sent and received in this file for Wireshark: pcapng when it ends in "
            ".pcapng, else classic pcap")
        ->type_name("FILE");
    command
        .add_option("--rounds", options.tool.searchRounds,
                    "How often the search sends its probes, 300 ms apart: a logger whose answer was lost "
                    "answers a later round (1 to 10; default: 3)")
        ->type_name("N")
        ->check(CLI::Range(1, 10));
    // For tests on loopback only: a pair of high ports instead of 8000 and 23; hidden from the help.
    command.add_option("--update-port", options.tool.updatePort)->check(CLI::Range(1, 65535))->group("");
    command.add_option("--discovery-port", options.tool.discoveryPort)
        ->check(CLI::Range(1, 65535))
        ->group("");
}

std::chrono::milliseconds ToMilliseconds(double seconds) {
    return std::chrono::milliseconds(std::llround(seconds * 1000.0));
}

}  // namespace

ParseResult ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{std::string(Description), "logger-update"};
    app.footer(Examples(SearchExamples, UpdateExamples) + "\n" + std::string(PortNote) + "\n" +
               std::string(CaptureNote) + "\n" + ExitCodeTable());
    app.require_subcommand(1);

    SearchOptions search;
    double searchWait = 3.0;
    auto* searchCommand = app.add_subcommand("search", std::string(SearchSummary));
    AddCommonOptions(*searchCommand, search.common, searchWait);
    AddAllAdapters(*searchCommand, search.common);
    searchCommand->footer(std::string(SearchDetails) + "\n" + Examples(SearchExamples) + "\n" +
                          std::string(PortNote) + "\n" + ExitCodeTable());

    UpdateOptions update;
    double updateWait = 3.0;
    auto* updateCommand = app.add_subcommand("update", std::string(UpdateSummary));
    auto* loggerOption =
        updateCommand
            ->add_option("--logger", update.loggers,
                         "The IP address of the logger to update; repeat it for a list of loggers")
            ->type_name("IP")
            ->check(CLI::ValidIPV4);
    auto* allOption = updateCommand->add_flag(
        "--all", update.all,
        "Search first, then update every logger found whose version differs from the file's");
    allOption->excludes(loggerOption);
    updateCommand
        ->add_option("--below", update.below,
                     "Only loggers whose version sorts below VERSION (numbers compare as numbers: "
                     "S1.9 < S1.10)")
        ->type_name("VERSION");
    updateCommand
        ->add_option("--parallel", update.parallel, "Loggers updated at the same time (1 to 254; default: 8)")
        ->type_name("N")
        ->check(CLI::Range(1, 254));
    updateCommand
        ->add_option("--canary", update.canary,
                     "Update the first N loggers alone; the others start only when all N completed and "
                     "verified")
        ->type_name("N")
        ->check(CLI::Range(1, 254));
    auto* keepGoing = updateCommand->add_flag(
        "--keep-going", update.keepGoing,
        "Go on with the other loggers after any number of failures (default: the first failure stops the "
        "loggers not yet started)");
    updateCommand
        ->add_option("--max-failures", update.maxFailures, "Start no further logger once K have failed")
        ->type_name("K")
        ->check(CLI::Range(1, 254))
        ->excludes(keepGoing);
    updateCommand->add_flag("--dry-run", update.dryRun,
                            "List the loggers that would be updated; send nothing but the search");
    updateCommand->add_option("--file", update.file, "The update file; its name must begin with \"S\"")
        ->type_name("PATH")
        ->required();
    updateCommand
        ->add_option("--version", update.version,
                     "The version sent in the update request, instead of the file name "
                     "without its extension")
        ->type_name("TEXT");
    updateCommand
        ->add_option("--sha256", update.sha256,
                     "The file's approved SHA-256; a file whose SHA-256 differs is refused before anything "
                     "is sent (exit code 4)")
        ->type_name("HEX")
        ->transform(CLI::Validator(
            [](std::string& hex) {
                std::ranges::transform(hex, hex.begin(), [](unsigned char c) { return std::tolower(c); });
                return hex.size() == 64 && hex.find_first_not_of("0123456789abcdef") == std::string::npos
                           ? std::string()
                           : "expected 64 hexadecimal digits";
            },
            ""));
    double verifyWait = 60.0;
    updateCommand
        ->add_option("--verify-wait", verifyWait,
                     "Seconds to wait for the logger's answer to the version probe after \"Update "
                     "complete\" (default: 60)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 3600.0));
    updateCommand->add_flag("--no-verify{false}", update.verify,
                            "Do not ask the logger for its version after \"Update complete\"");
    updateCommand->add_flag("--no-record{false}", update.record,
                            "Do not append this update to the update record (see history)");
    AddCommonOptions(*updateCommand, update.common, updateWait);
    AddAllAdapters(*updateCommand, update.common)->needs(allOption);
    updateCommand
        ->add_option("--expect", update.expect,
                     "With --all: the number of loggers on the site; when the search finds fewer, no logger "
                     "is updated (exit code 11)")
        ->type_name("N")
        ->check(CLI::Range(1, 65535))
        ->needs(allOption);
    updateCommand->footer(std::string(UpdateDetails) + "\n" + Examples(UpdateExamples) + "\n" +
                          std::string(PortNote) + "\n" + ExitCodeTable());

    DoctorOptions doctor;
    double doctorWait = 3.0;
    auto* doctorCommand = app.add_subcommand("doctor", std::string(DoctorSummary));
    doctorCommand->add_flag("--probe", doctor.probe, "Also run one search and report what came of it");
    AddCommonOptions(*doctorCommand, doctor.common, doctorWait);
    doctorCommand->footer(std::string(DoctorDetails) + "\n" + Examples(DoctorExamples) + "\n" +
                          std::string(CaptureNote) + "\n" + std::string(PortNote) + "\n" + ExitCodeTable());

    HistoryOptions history;
    auto* historyCommand = app.add_subcommand("history", std::string(HistorySummary));
    historyCommand->add_option("--logger", history.logger, "Only the updates of this logger")
        ->type_name("IP|SN");
    historyCommand->add_flag("--json", history.json, "Print the record as a JSON array instead of a table");
    historyCommand->footer(std::string(HistoryDetails) + "\n" + Examples(HistoryExamples));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return {std::nullopt, code == 0 ? ToInt(ExitCode::Complete) : ToInt(ExitCode::BadArguments)};
    }

    if (searchCommand->parsed()) {
        search.common.wait = ToMilliseconds(searchWait);
        return {Invocation{search}, 0};
    }
    if (doctorCommand->parsed()) {
        doctor.common.wait = ToMilliseconds(doctorWait);
        return {Invocation{doctor}, 0};
    }
    if (historyCommand->parsed()) {
        return {Invocation{history}, 0};
    }
    if (update.loggers.empty() && !update.all) {
        err << "update: --logger or --all is required\nRun with --help for more information.\n";
        return {std::nullopt, ToInt(ExitCode::BadArguments)};
    }
    update.common.wait = ToMilliseconds(updateWait);
    update.verifyWait = ToMilliseconds(verifyWait);
    return {Invocation{update}, 0};
}

}  // namespace lut::cli
