#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

namespace lut::cli {
namespace {

struct Parsed {
    ParseResult result;
    std::string out;
    std::string err;
};

Parsed Parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "logger-update");
    std::ostringstream out;
    std::ostringstream err;
    ParseResult result = ParseCommandLine(static_cast<int>(arguments.size()), arguments.data(), out, err);
    return {std::move(result), out.str(), err.str()};
}

TEST(CommandLine, AWrongCommandLineEndsWithOneAndSaysWhy) {
    const std::vector<std::vector<const char*>> cases = {
        {},
        {"frobnicate"},
        {"search", "extra"},
        {"search", "--wait", "-1"},
        {"search", "--wait", "soon"},
        {"search", "--local-address", "300.1.1.1"},
        {"search", "--bind", "1.2.3"},
        {"search", "--update-port", "0"},
        {"update", "--file", "S1.bin"},
        {"update", "--logger", "127.0.0.2"},
        {"update", "--logger", "logger.local", "--file", "S1.bin"},
        {"update", "--logger", "127.0.0.2", "--file"},
        {"search", "update"},
        {"update", "--all", "--logger", "127.0.0.2", "--file", "S1.bin"},
        {"update", "--all", "--file", "S1.bin", "--parallel", "255"},
        {"update", "--all", "--file", "S1.bin", "--canary", "0"},
        {"update", "--all", "--file", "S1.bin", "--max-failures", "2", "--keep-going"},
        {"update", "--all", "--file", "S1.bin", "--parallel", "0"},
        {"update", "--logger", "127.0.0.2", "--file", "S1.bin", "--verify-wait", "-1"},
        {"history", "--logger"},
        {"search", "--capture"},
        {"doctor", "--probe", "extra"},
        {"history", "--capture", "x.pcap"},
        {"search", "--rounds", "0"},
        {"search", "--wait", "0"},
        {"update", "--logger", "127.0.0.2", "--file", "S1.bin", "--wait", "0"},
        {"search", "--rounds", "11"},
        {"search", "--all-adapters", "--local-address", "127.0.0.1"},
        {"search", "--all-adapters", "--bind", "127.0.0.1"},
        {"update", "--logger", "127.0.0.2", "--file", "S1.bin", "--expect", "2"},
        {"update", "--logger", "127.0.0.2", "--file", "S1.bin", "--all-adapters"},
        {"update", "--all", "--file", "S1.bin", "--expect", "0"},
        {"update", "--all", "--file", "S1.bin", "--sha256", "abc"},
        {"update", "--all", "--file", "S1.bin", "--sha256",
         "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdeg"},
    };
    for (const auto& arguments : cases) {
        const Parsed parsed = Parse(arguments);
        std::string line;
        for (const char* argument : arguments) {
            line += std::string(argument) + " ";
        }
        EXPECT_EQ(parsed.result.exitCode, ToInt(ExitCode::BadArguments)) << line;
        EXPECT_FALSE(parsed.result.invocation) << line;
        EXPECT_FALSE(parsed.err.empty()) << line;
    }
}

TEST(CommandLine, HelpExplainsCommandsExamplesAndEveryExitCode) {
    for (const auto& arguments : std::vector<std::vector<const char*>>{{"--help"}, {"update", "--help"}}) {
        const Parsed parsed = Parse(arguments);
        EXPECT_EQ(parsed.result.exitCode, 0);
        EXPECT_FALSE(parsed.result.invocation);
        EXPECT_NE(parsed.out.find("Examples:"), std::string::npos) << parsed.out;
        for (const auto& entry : ExitCodeTexts) {
            EXPECT_NE(parsed.out.find(entry.meaning), std::string::npos) << entry.name;
        }
        EXPECT_EQ(parsed.out.find("--update-port"), std::string::npos) << "the test-only ports stay hidden";
    }
    EXPECT_NE(Parse({"update", "--help"}).out.find("--logger"), std::string::npos);
}

TEST(CommandLine, SearchDefaultsAreThoseOfTheWindow) {
    const Parsed parsed = Parse({"search"});
    ASSERT_TRUE(parsed.result.invocation);
    const auto& search = std::get<SearchOptions>(*parsed.result.invocation);
    EXPECT_FALSE(search.common.localAddress);
    EXPECT_EQ(search.common.tool.bindAddress, "0.0.0.0");
    EXPECT_EQ(search.common.tool.updatePort, 8000);
    EXPECT_EQ(search.common.tool.discoveryPort, 23);
    EXPECT_EQ(search.common.wait, std::chrono::milliseconds(3000));
    EXPECT_FALSE(search.common.json);
    EXPECT_EQ(search.common.tool.searchRounds, 3);
    EXPECT_FALSE(search.common.allAdapters);
}

TEST(CommandLine, UpdateTakesEveryOption) {
    const Parsed parsed =
        Parse({"update",    "--logger",        "127.0.0.2",     "--file", "/tmp/S1.bin",      "--version",
               "S2",        "--local-address", "127.0.0.1",     "--bind", "127.0.0.1",        "--wait",
               "0.25",      "--json",          "--update-port", "47000",  "--discovery-port", "47001",
               "--capture", "/tmp/run.pcap"});
    ASSERT_TRUE(parsed.result.invocation) << parsed.err;
    const auto& update = std::get<UpdateOptions>(*parsed.result.invocation);
    EXPECT_EQ(update.loggers, std::vector<std::string>{"127.0.0.2"});
    EXPECT_TRUE(update.Single());
    EXPECT_TRUE(update.verify);
    EXPECT_TRUE(update.record);
    EXPECT_EQ(update.verifyWait, std::chrono::seconds(60));
    EXPECT_EQ(update.file, "/tmp/S1.bin");
    EXPECT_EQ(update.version, "S2");
    EXPECT_EQ(update.common.localAddress, "127.0.0.1");
    EXPECT_EQ(update.common.tool.bindAddress, "127.0.0.1");
    EXPECT_EQ(update.common.wait, std::chrono::milliseconds(250));
    EXPECT_TRUE(update.common.json);
    EXPECT_EQ(update.common.tool.updatePort, 47000);
    EXPECT_EQ(update.common.tool.discoveryPort, 47001);
    EXPECT_EQ(update.common.capture, "/tmp/run.pcap");
}

TEST(CommandLine, DoctorSendsNothingUnlessAskedToProbe) {
    const Parsed quiet = Parse({"doctor"});
    ASSERT_TRUE(quiet.result.invocation) << quiet.err;
    EXPECT_FALSE(std::get<DoctorOptions>(*quiet.result.invocation).probe);
    const Parsed probe = Parse({"doctor", "--probe", "--json", "--local-address", "127.0.0.1", "--bind",
                                "127.0.0.1", "--capture", "doctor.pcap", "--wait", "1"});
    ASSERT_TRUE(probe.result.invocation) << probe.err;
    const auto& doctor = std::get<DoctorOptions>(*probe.result.invocation);
    EXPECT_TRUE(doctor.probe && doctor.common.json);
    EXPECT_EQ(doctor.common.capture, "doctor.pcap");
    EXPECT_EQ(doctor.common.wait, std::chrono::milliseconds(1000));
}

TEST(CommandLine, ABatchTakesItsOptionsAndARepeatedLoggerIsAList) {
    const Parsed all = Parse({"update", "--all", "--file", "S1.bin", "--below", "S1.10", "--parallel", "30",
                              "--keep-going", "--dry-run", "--no-verify", "--no-record", "--verify-wait", "5",
                              "--expect", "12", "--rounds", "5", "--all-adapters"});
    ASSERT_TRUE(all.result.invocation) << all.err;
    const auto& batch = std::get<UpdateOptions>(*all.result.invocation);
    EXPECT_TRUE(batch.all && batch.keepGoing && batch.dryRun);
    EXPECT_FALSE(batch.verify || batch.record || batch.Single());
    EXPECT_EQ(batch.below, "S1.10");
    EXPECT_EQ(batch.parallel, 30);
    EXPECT_EQ(batch.verifyWait, std::chrono::seconds(5));
    EXPECT_EQ(batch.expect, 12);
    EXPECT_EQ(batch.common.tool.searchRounds, 5);
    EXPECT_TRUE(batch.common.allAdapters);

    const Parsed pinned = Parse({"update", "--all", "--file", "S1.bin", "--sha256",
                                 "89F4FF56A25DD1DB06A4CE6033603775D705FB96F30F8693733FEF602A1CA532"});
    ASSERT_TRUE(pinned.result.invocation) << pinned.err;
    EXPECT_EQ(std::get<UpdateOptions>(*pinned.result.invocation).sha256,
              "89f4ff56a25dd1db06a4ce6033603775d705fb96f30f8693733fef602a1ca532");

    const Parsed list =
        Parse({"update", "--logger", "127.0.0.2", "--logger", "127.0.0.3", "--file", "S1.bin"});
    ASSERT_TRUE(list.result.invocation) << list.err;
    const auto& listed = std::get<UpdateOptions>(*list.result.invocation);
    EXPECT_EQ(listed.loggers, (std::vector<std::string>{"127.0.0.2", "127.0.0.3"}));
    EXPECT_EQ(listed.parallel, 8);
    EXPECT_FALSE(listed.Single());
    EXPECT_EQ(listed.canary, 0);
    EXPECT_FALSE(listed.maxFailures);

    const Parsed waves = Parse(
        {"update", "--all", "--file", "S1.bin", "--parallel", "254", "--canary", "2", "--max-failures", "3"});
    ASSERT_TRUE(waves.result.invocation) << waves.err;
    const auto& wave = std::get<UpdateOptions>(*waves.result.invocation);
    EXPECT_EQ(std::tie(wave.parallel, wave.canary, wave.maxFailures), std::tuple(254, 2, std::optional(3)));

    const Parsed history = Parse({"history", "--logger", "SN0001", "--json"});
    ASSERT_TRUE(history.result.invocation) << history.err;
    EXPECT_EQ(std::get<HistoryOptions>(*history.result.invocation).logger, "SN0001");
}

}  // namespace
}  // namespace lut::cli
