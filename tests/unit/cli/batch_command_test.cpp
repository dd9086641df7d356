#include <nlohmann/json.hpp>

#include <atomic>
#include <set>
#include <thread>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "CommandRun.h"
#include "cli/ExitCode.h"
#include "cli/VersionOrder.h"
#include "cli/WakePipe.h"
#include "record/RecordFile.h"
#include "record/Sha256.h"

namespace lut::cli::test {
namespace {

using namespace std::chrono_literals;

#ifndef _WIN32
// The network fails under the tool: its sockets bound to the address become descriptors that can neither
// receive nor send, as the sockets of an adapter that has gone would.
void BreakSockets(const std::string& address) {
    const int broken = open("/dev/null", O_RDONLY);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in bound{};
        socklen_t size = sizeof bound;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) == 0 && bound.sin_family == AF_INET &&
            bound.sin_addr.s_addr == inet_addr(address.c_str())) {
            EXPECT_EQ(dup2(broken, fd), fd);
        }
    }
    close(broken);
}
#endif

// Loggers at 127.0.0.2, .3, ... on the ports of the first, each with its own script.
class Site {
  public:
    explicit Site(const std::vector<LoggerScript>& scripts) {
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            const std::string address = "127.0.0." + std::to_string(i + 2);
            loggers.push_back(i == 0 ? std::make_unique<FakeLogger>(address, scripts[i])
                                     : std::make_unique<FakeLogger>(address, scripts[i],
                                                                    loggers[0]->UpdatePort(),
                                                                    loggers[0]->DiscoveryPort()));
        }
    }
    FakeLogger& operator[](std::size_t i) { return *loggers[i]; }
    std::vector<std::unique_ptr<FakeLogger>> loggers;
};

class BatchCommand : public CommandRun {
  protected:
    UpdateOptions Options(Site& site, std::vector<std::string> loggers) {
        UpdateOptions options{LoopbackOptions(site[0], 1s), std::move(loggers), File("S1.02.bin", 900),
                              std::nullopt};
        options.verifyInterval = 50ms;
        options.parallel = 1;
        return options;
    }
};

// One logger at a time, in list order: which loggers start after a failure.
TEST_F(BatchCommand, FailuresAndCanariesDecideWhichLoggersStart) {
    const LoggerScript ok{};
    const LoggerScript refuses{.requestAnswer = "E81"};
    const LoggerScript silent{.identity = ""};
    const struct {
        const char* name;
        std::vector<LoggerScript> scripts;
        bool keepGoing;
        int canary;
        std::optional<int> maxFailures;
        std::vector<std::string> results;
        ExitCode failure = ExitCode::Refused;  // the exit code, unless the first two complete
    } cases[] = {
        {"the first failure stops", {ok, refuses, ok}, false, 0, {}, {"complete", "refused", "skipped"}},
        {"keep going", {ok, refuses, ok}, true, 0, {}, {"complete", "refused", "complete"}},
        {"a canary that fails stops even with keep going",
         {refuses, ok, ok},
         true,
         1,
         {},
         {"refused", "skipped (canary failed)", "skipped (canary failed)"}},
        {"a canary that completes lets the others start",
         {ok, ok, ok},
         false,
         1,
         {},
         {"complete", "complete", "complete"}},
        {"the second failure stops",
         {refuses, ok, refuses, ok},
         false,
         0,
         2,
         {"refused", "complete", "refused", "skipped"}},
        {"a logger that never answered the search is the first failure",
         {silent, ok},
         false,
         0,
         {},
         {"no-answer", "skipped"},
         ExitCode::NoAnswer},
    };
    for (const auto& c : cases) {
        Site site(c.scripts);
        std::vector<std::string> addresses;
        for (std::size_t i = 0; i < c.scripts.size(); ++i) {
            addresses.push_back("127.0.0." + std::to_string(i + 2));
        }
        auto options = Options(site, addresses);
        options.keepGoing = c.keepGoing;
        options.canary = c.canary;
        options.maxFailures = c.maxFailures;
        options.common.json = true;
        const std::size_t before = record::Read(RecordFile()).entries.size();
        const CommandResult result = Run(options);

        EXPECT_EQ(
            result.code,
            ToInt(c.results[1] == "complete" && c.results[0] == "complete" ? ExitCode::Complete : c.failure))
            << c.name << "\n"
            << result.out << result.err;
        std::vector<std::string> results;
        for (const auto& line : nlohmann::json::parse(result.out)) {
            results.push_back(line["result"]);
        }
        EXPECT_EQ(results, c.results) << c.name << "\n" << result.out;
        std::size_t started = 0;
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            const bool requested = !c.results[i].starts_with("skipped") && c.results[i] != "no-answer";
            started += requested ? 1 : 0;
            EXPECT_EQ(site[i].DistinctRequests().size(), requested ? 1U : 0U) << c.name << ": logger " << i;
            EXPECT_EQ(site[i].Image(), c.results[i] == "complete" ? Hex(900) : "")
                << c.name << ": logger " << i;
        }
        EXPECT_EQ(record::Read(RecordFile()).entries.size(), before + started) << c.name;
    }
}

// The record states what was sent: every line carries the facts of the bytes loaded once for the run,
// whatever the file holds by the time a later logger's line is written.
TEST_F(BatchCommand, EveryLineNamesTheImageLoadedEvenWhenTheFileChangesMeanwhile) {
    const std::string file = File("S1.02.bin", 900);
    std::ifstream in(file, std::ios::binary);
    const std::string loaded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Site site({{.onBlock = [file](int) { std::ofstream(file, std::ios::binary) << "changed"; }}, {}});
    const CommandResult result = Run(Options(site, {"127.0.0.2", "127.0.0.3"}));

    EXPECT_EQ(result.code, ToInt(ExitCode::Complete)) << result.out << result.err;
    const std::vector<record::Entry> lines = record::Read(RecordFile()).entries;
    ASSERT_EQ(lines.size(), 2U);
    for (const record::Entry& line : lines) {
        EXPECT_EQ(line.file, "S1.02.bin");
        EXPECT_EQ(line.fileSize, 900U);
        EXPECT_EQ(line.sha256, record::Sha256Hex(loaded));
    }
}

// Browse decides by its outcome, not by a box shown: one that chose no file (nothing shown) stops the run.
TEST_F(BatchCommand, ABrowseThatLoadedNothingStopsTheRunBeforeTheSearch) {
    Site site(std::vector<LoggerScript>(1));
    auto options = Options(site, {"127.0.0.2"});
    options.file = "";
    const CommandResult result = Run(options);
    EXPECT_EQ(result.code, ToInt(ExitCode::CheckFailed)) << result.out << result.err;
    EXPECT_NE(result.err.find("No update file was given"), std::string::npos) << result.err;
    EXPECT_EQ(site[0].Probes(), 0);
}

TEST_F(BatchCommand, AllWithBelowUpdatesOnlyTheLoggersWhoseVersionSortsBelow) {
    Site site({{.identity = "A#S1.9"}, {.identity = "B#S1.10"}, {.identity = "C#S1.02"}});
    auto options = Options(site, {});
    options.all = true;
    options.below = "S1.10";
    options.parallel = 8;
    const CommandResult result = Run(options);
    EXPECT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_EQ(site[0].DistinctRequests(), std::set<std::string>{"LUS1.020003"});
    EXPECT_TRUE(site[1].Requests().empty()) << "S1.10 is not below S1.10";
    EXPECT_TRUE(site[2].Requests().empty()) << "already at the file's version";
    EXPECT_NE(result.out.find("A   127.0.0.2  S1.9    S1.02  complete"), std::string::npos) << result.out;

    const struct {
        std::string_view version, limit;
        bool below;
    } order[] = {{"S1.9", "S1.10", true},  {"S1.10", "S1.9", false}, {"S1.10", "S1.10", false},
                 {"S1.09", "S1.10", true}, {"S2.0", "S1.10", false}, {"S1", "S1.0", true},
                 {"S1.2b", "S1.2c", true}, {"", "S1", true}};
    for (const auto& c : order) {
        EXPECT_EQ(VersionBelow(c.version, c.limit), c.below) << c.version << " < " << c.limit;
    }
}

// Two devices answer from 127.0.0.2 in turn; one logger at 127.0.0.3.
TEST_F(BatchCommand, AConflictingAddressIsNotUpdatedAndTooFewLoggersFoundUpdateNone) {
    using Result = std::pair<std::string, std::string>;
    const struct {
        std::optional<int> expect;
        ExitCode code;
        std::set<Result> results;  // per logger; empty when the run ends after the search
        std::size_t found;         // listed in the report of too few
    } cases[] = {
        {std::nullopt,
         ExitCode::AddressConflict,
         {{"127.0.0.2", "address-conflict"}, {"127.0.0.3", "complete"}},
         0},
        {4, ExitCode::FewerThanExpected, {}, 3},
    };
    for (const auto& c : cases) {
        Site site({{.identity = "1001#S1.00", .otherIdentity = "1002#S1.00"}, {.identity = "2001#S1.00"}});
        auto options = Options(site, {});
        options.all = true;
        options.keepGoing = true;
        options.expect = c.expect;
        options.common.json = true;
        const CommandResult result = Run(options);

        EXPECT_EQ(result.code, ToInt(c.code)) << result.out << result.err;
        const auto report = nlohmann::json::parse(result.out);
        std::set<Result> results;
        for (const auto& line : report.is_array() ? report : nlohmann::json::array()) {
            results.emplace(line["logger"], line["result"]);
        }
        EXPECT_EQ(results, c.results) << result.out;
        EXPECT_EQ(report.is_object() ? report["found"].size() : 0U, c.found) << result.out;
        EXPECT_TRUE(site[0].Requests().empty()) << "nothing reaches a conflicting address";
        EXPECT_EQ(site[1].DistinctRequests().size(), c.results.empty() ? 0U : 1U);
    }
}

TEST_F(BatchCommand, DryRunListsTheLoggersAndSendsNoUpdateFrame) {
    Site site({{}, {.identity = "B#S1.02"}});
    auto options = Options(site, {});
    options.all = true;
    options.dryRun = true;
    const CommandResult result = Run(options);
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_NE(result.out.find("Would update 12345 at 127.0.0.2 from S1.00 to S1.02"), std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("127.0.0.3 from"), std::string::npos) << result.out;
    EXPECT_TRUE(site[0].Requests().empty() && site[1].Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(RecordFile()));
}

// The sweep of --all cannot leave the machine: nothing is updated, and the run says why.
TEST_F(BatchCommand, AllWhoseProbesAllFailSaysWhyAndUpdatesNone) {
    Site site({LoggerScript{}});
    auto options = Options(site, {});
    options.all = true;
    options.common.localAddress = "no-address";
    const CommandResult result = Run(options);
    EXPECT_EQ(result.code, ToInt(ExitCode::EndpointFailed));
    EXPECT_NE(result.err.find("0 of 254 probes could be sent from no-address"), std::string::npos)
        << result.err;
    EXPECT_TRUE(site[0].Requests().empty());
}

// Ctrl-C, or the network failing under the run, while the first logger takes its blocks: the run ends in
// order. The running logger's result says what it holds, counting every block its workers had reported
// (also those still queued when the run stopped); the next one is skipped; both are in the report, the
// started one in the record.
TEST_F(BatchCommand, CtrlCOrANetworkFailureStopsTheRunningLoggerAndSkipsTheOthers) {
    const struct {
        const char* name;
        bool networkFails;  // else Ctrl-C
        bool json;
        ExitCode code;
        std::string said;  // on the standard error
    } cases[] = {
        {"Ctrl-C", false, false, ExitCode::Interrupted, ""},
#ifndef _WIN32
        {"a receive failure", true, false, ExitCode::EndpointFailed,
         "The network failed (receiving datagrams: "},
        {"a receive failure, JSON", true, true, ExitCode::EndpointFailed, "The network failed ("},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WakePipe interrupt;
        std::atomic<bool> failing = false;
        Site site({{.onBlock =
                        [&](int received) {
                            if (received != 2) {
                                return;
                            }
                            if (c.networkFails) {
                                failing = true;
                            } else {
                                interrupt.Notify();
                            }
                        }},
                   {}});
        // The sockets break on the tool's thread that pauses next (the worker after its block), which the
        // tool joins before it closes them, as it would close sockets that the system broke.
        const auto breakOnce = [&failing] {
#ifndef _WIN32
            if (failing.exchange(false)) {
                BreakSockets("127.0.0.1");
            }
#endif
        };
        auto options = Options(site, {"127.0.0.2", "127.0.0.3"});
        options.file = File("S1.02.bin", 300 * 50);
        options.common.json = c.json;
        const std::size_t before = record::Read(RecordFile()).entries.size();
        const CommandResult result = Run(options, false, interrupt.ReadHandle(), breakOnce);

        EXPECT_EQ(result.code, ToInt(c.code)) << result.out << result.err;
        EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
        EXPECT_TRUE(site[1].Requests().empty());
        const std::vector<record::Entry> lines = record::Read(RecordFile()).entries;
        ASSERT_EQ(lines.size(), before + 1);
        const record::Entry& line = lines.back();
        EXPECT_EQ(line.ip, "127.0.0.2");
        EXPECT_EQ(line.outcome, "interrupted");
        const std::string sent = std::to_string(line.blocksSent) + " of 50 sent";
        EXPECT_NE(line.message.find(sent), std::string::npos) << line.message;
        EXPECT_NE(line.message.find("holds a partial image"), std::string::npos) << line.message;
        EXPECT_EQ(line.message.starts_with("Interrupted by a network failure"), c.networkFails)
            << line.message;
        if (!c.networkFails) {
            // Every block the workers sent reached the logger: the count is exact.
            for (int wait = 0; wait < 500 && site[0].Blocks().size() < std::size_t(line.blocksSent); ++wait) {
                std::this_thread::sleep_for(10ms);
            }
            EXPECT_EQ(std::size_t(line.blocksSent), site[0].Blocks().size());
        }
        if (c.json) {
            const auto report = nlohmann::json::parse(result.out);
            ASSERT_EQ(report.size(), 2U) << result.out;
            EXPECT_EQ(report[0]["result"], "interrupted");
            EXPECT_EQ(report[0]["blocksSent"], line.blocksSent);
            EXPECT_EQ(report[0]["message"], line.message);
            EXPECT_EQ(report[1]["result"], "skipped");
        } else {
            EXPECT_NE(result.out.find("127.0.0.2: interrupted in "), std::string::npos) << result.out;
            EXPECT_NE(result.out.find(line.message), std::string::npos) << result.out;
            EXPECT_NE(result.out.find("127.0.0.3  S1.00   -      skipped"), std::string::npos) << result.out;
        }
    }
}

}  // namespace
}  // namespace lut::cli::test
