#include <nlohmann/json.hpp>

#include <atomic>
#include <set>
#include <tuple>

#include "CommandRun.h"
#include "cli/Attempt.h"
#include "cli/ExitCode.h"
#include "cli/WakePipe.h"
#include "link/Endpoint.h"
#include "record/RecordFile.h"
#include "update/Messages.h"
#include "update/dialogue/RequestRetries.h"

namespace lut::cli::test {
namespace {

using namespace std::chrono_literals;

constexpr auto Patient = 10s;  // never reached when the logger answers
constexpr auto Brief = 1s;     // for the cases where it does not

class UpdateCommand : public CommandRun {
  protected:
    UpdateOptions Options(const FakeLogger& logger, const std::string& file,
                          std::chrono::milliseconds wait = Patient) {
        UpdateOptions options{LoopbackOptions(logger, wait), {"127.0.0.2"}, file, std::nullopt};
        options.verifyInterval = 50ms;
        return options;
    }
};

TEST_F(UpdateCommand, EveryWayAnUpdateEndsHasItsExitCodeAndMessage) {
    const struct {
        const char* name;
        LoggerScript script;
        std::string fileName;
        std::size_t bytes;
        std::chrono::milliseconds wait;
        ExitCode code;
        std::string_view message;
        std::size_t requests = 1;  // sent again while no acceptance comes; a late acceptance adds one
        std::optional<std::string> sha256{};
    } cases[] = {
        {"complete", {}, "S1.02.bin", 1000, Patient, ExitCode::Complete, text::UpdateComplete},
        {"acceptance lost once",
         {.requestsLost = 1},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::Complete,
         text::UpdateComplete,
         2},
        {"the answers to two probes lost",
         {.probesLost = 2},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::Complete,
         text::UpdateComplete},
        {"no flash",
         {.requestAnswer = "E80"},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::Refused,
         text::FlashNotExists},
        {"same version",
         {.requestAnswer = "E81xyz"},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::Refused,
         text::SameVersion},
        {"refusal without a reason",
         {.requestAnswer = "X"},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::Refused,
         "without giving a reason"},
        {"failed at the end",
         {.finalAnswer = "F"},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::UnknownError,
         text::UpdateUnknownError},
        {"queries unanswered",
         {.finalAnswer = ""},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::UpdateFail,
         text::UpdateFail},
        {"request unanswered",
         {.requestAnswer = ""},
         "S1.02.bin",
         1000,
         Brief,
         ExitCode::NoAnswer,
         "to the update request, sent 3 times 1.5 s apart",
         3},
        {"probe unanswered", {.identity = ""}, "S1.02.bin", 1000, Brief, ExitCode::NoAnswer, "to the probe"},
        // The second device answers only the second probe: the attempt hears it before it decides.
        {"two loggers at the address",
         {.otherIdentity = "67890#S1.00"},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::AddressConflict,
         "loggers 12345 and 67890 answer from it"},
        {"unreadable acceptance",
         {.requestAnswer = "RZZZZ"},
         "S1.02.bin",
         1000,
         Brief,
         ExitCode::UnknownError,
         "cannot be read",
         3},
        {"logger's version not S",
         {.identity = "12345#V1.0"},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::CheckFailed,
         text::VersionNotMatch},
        {"logger without version",
         {.identity = "12345"},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::CheckFailed,
         text::VersionNotMatch},
        {"file name not S",
         {},
         "s1.02.bin",
         1000,
         Patient,
         ExitCode::CheckFailed,
         text::VersionMustBeginWithS},
        {"empty file", {}, "S1.02.bin", 0, Patient, ExitCode::CheckFailed, text::ReadUpdateFileFail},
        {"the approved file's SHA-256",
         {},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::Complete,
         text::UpdateComplete,
         1,
         "89f4ff56a25dd1db06a4ce6033603775d705fb96f30f8693733fef602a1ca532"},
        {"another file than the approved one",
         {},
         "S1.02.bin",
         1000,
         Patient,
         ExitCode::CheckFailed,
         "its SHA-256 is 89f4ff56a25dd1db06a4ce6033603775d705fb96f30f8693733fef602a1ca532, not 0000",
         1,
         std::string(64, '0')},
    };
    for (const auto& c : cases) {
        FakeLogger logger("127.0.0.2", c.script);
        const std::size_t recorded = record::Read(RecordFile()).entries.size();
        UpdateOptions options = Options(logger, File(c.fileName, c.bytes), c.wait);
        options.sha256 = c.sha256;
        const CommandResult result = Run(options);
        EXPECT_EQ(result.code, ToInt(c.code)) << c.name << "\n" << result.out << result.err;
        const std::string& said = c.code == ExitCode::Complete ? result.out : result.err;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.name << ": " << said;

        // One line for each attempt that reached the update request, none for the others.
        const record::Contents contents = record::Read(RecordFile());
        EXPECT_TRUE(contents.warnings.empty()) << c.name;
        if (logger.Requests().empty()) {
            EXPECT_EQ(contents.entries.size(), recorded) << c.name;
            continue;
        }
        EXPECT_GE(logger.Requests().size(), c.requests) << c.name;
        EXPECT_LE(logger.Requests().size(), static_cast<std::size_t>(RequestRetries::Requests)) << c.name;
        ASSERT_EQ(contents.entries.size(), recorded + 1) << c.name;
        const record::Entry& line = contents.entries.back();
        EXPECT_EQ(line.outcome, NameOf(c.code)) << c.name;
        const std::string_view message = c.code == ExitCode::Complete ? "Verified: " : c.message;
        EXPECT_NE(line.message.find(message), std::string::npos) << c.name << ": " << line.message;
        EXPECT_EQ(std::tie(line.sn, line.ip, line.versionBefore, line.versionSent, line.file, line.fileSize),
                  std::tuple("12345", "127.0.0.2", "S1.00", "S1.02", c.fileName, std::uint64_t{c.bytes}))
            << c.name;
        EXPECT_EQ(line.blocks, 4) << c.name;
        EXPECT_EQ(line.sha256, "89f4ff56a25dd1db06a4ce6033603775d705fb96f30f8693733fef602a1ca532") << c.name;
        EXPECT_EQ(line.verified, c.code == ExitCode::Complete ? std::optional(true) : std::nullopt) << c.name;
        EXPECT_FALSE(line.time.empty() || line.host.empty() || line.user.empty() || line.toolVersion.empty());
    }
}

TEST_F(UpdateCommand, AfterUpdateCompleteTheLoggersVersionIsAskedAgainAndCompared) {
    const struct {
        const char* name;
        LoggerScript script;
        bool verify;
        std::chrono::milliseconds verifyWait;
        ExitCode code;
        std::string_view message;
        nlohmann::json verified;
        nlohmann::json versionAfter;
    } cases[] = {
        {"verified after a silent restart",
         {.probesIgnoredAfterUpdate = 3},
         true,
         Patient,
         ExitCode::Complete,
         "Verified: 12345 at 127.0.0.2 now runs S1.02",
         true,
         "S1.02"},
        {"the old version still runs, asked until the wait is over",
         {.adoptVersion = false},
         true,
         1s,
         ExitCode::NotVerified,
         "Not verified: 12345 at 127.0.0.2 reports S1.00 after the update (expected S1.02)",
         false,
         "S1.00"},
        {"no answer within the wait",
         {.probesIgnoredAfterUpdate = 1000},
         true,
         300ms,
         ExitCode::NoVerifyAnswer,
         "did not answer the version probe within 0.3 s",
         false,
         nullptr},
        {"not asked",
         {.adoptVersion = false},
         false,
         Patient,
         ExitCode::Complete,
         "Update complete",
         nullptr,
         nullptr},
    };
    for (const auto& c : cases) {
        FakeLogger logger("127.0.0.2", c.script);
        auto options = Options(logger, File("S1.02.bin", 600));
        options.verify = c.verify;
        options.verifyWait = c.verifyWait;
        const CommandResult text = Run(options);
        EXPECT_EQ(text.code, ToInt(c.code)) << c.name << "\n" << text.out << text.err;
        EXPECT_NE((text.out + text.err).find(c.message), std::string::npos)
            << c.name << ": " << text.out << text.err;
        EXPECT_NE(text.out.find("Update complete\n"), std::string::npos) << c.name;
        // The probe finds the logger in rounds; the check asks again after "Update complete".
        EXPECT_EQ(logger.Probes() > options.common.tool.searchRounds, c.verify) << c.name;

        FakeLogger again("127.0.0.2", c.script);
        options.common = LoopbackOptions(again, Patient);
        options.common.json = true;
        const auto report = nlohmann::json::parse(Run(options).out);
        EXPECT_EQ(report["verified"], c.verified) << c.name;
        EXPECT_EQ(report["versionBefore"], "S1.00") << c.name;
        EXPECT_EQ(report["versionAfter"], c.versionAfter) << c.name;
    }
}

TEST_F(UpdateCommand, MissingFileIsACheckFailureThatNamesTheFileAndSendsNothing) {
    FakeLogger logger("127.0.0.2", {});
    const CommandResult result = Run(Options(logger, Path("S7.bin")));
    EXPECT_EQ(result.code, ToInt(ExitCode::CheckFailed));
    EXPECT_NE(result.err.find("S7.bin"), std::string::npos) << result.err;
    EXPECT_TRUE(logger.Requests().empty());
}

TEST_F(UpdateCommand, LoggerReceivesTheWholeImageAfterARequestWithVersionAndBlockCount) {
    FakeLogger logger("127.0.0.2", {});
    const CommandResult result = Run(Options(logger, File("S1.02.bin", 1000)));
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(logger.DistinctRequests(), std::set<std::string>{"LUS1.020004"});
    EXPECT_EQ(logger.Blocks(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(logger.Image(), Hex(1000));
}

TEST_F(UpdateCommand, VersionOptionReplacesTheFileNamesVersionAndIsTrimmed) {
    FakeLogger logger("127.0.0.2", {});
    auto options = Options(logger, File("S1.02.bin", 300));
    options.version = " S9.9 ";
    ASSERT_EQ(Run(options).code, 0);
    EXPECT_EQ(logger.DistinctRequests(), std::set<std::string>{"LUS9.90001"});
}

// Each probe's answer follows a datagram too long to take in: a receive error skipped and counted. A
// resend list that comes later than the next query (150 ms of real time at the tests' speed-up) is asked
// for and answered twice, so the lost blocks may go twice: the report counts what the logger saw.
TEST_F(UpdateCommand, LostBlocksAreResentAndTheJsonReportCountsThem) {
    FakeLogger logger("127.0.0.2", {.lose = {1, 3}, .oversizedBeforeIdentity = 1});
    auto options = Options(logger, File("S1.02.bin", 1000));
    options.common.json = true;
    const CommandResult result = Run(options);

    const std::vector<int> blocks = logger.Blocks();
    ASSERT_GE(blocks.size(), 6U);
    EXPECT_EQ(std::vector(blocks.begin(), blocks.begin() + 4), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(std::set(blocks.begin() + 4, blocks.end()), (std::set<int>{1, 3}))
        << "only the lost ones again";
    EXPECT_EQ(logger.Image(), Hex(1000));
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << "one line of JSON and nothing else";
    const auto report = nlohmann::json::parse(result.out);
    EXPECT_EQ(report["result"], "complete");
    EXPECT_EQ(report["exitCode"], 0);
    EXPECT_EQ(report["message"], "Verified: 12345 at 127.0.0.2 now runs S1.02");
    EXPECT_EQ(report["logger"], "127.0.0.2");
    EXPECT_EQ(report["version"], "S1.02");
    EXPECT_EQ(report["blocks"], 4);
    EXPECT_EQ(report["blocksSent"], blocks.size());
    EXPECT_EQ(report["blocksResent"], blocks.size() - 4);
    EXPECT_GT(report["seconds"].get<double>(), 0.0);
    // The probe and the version check at least; a probe sent again while the answer was on its way may
    // end the run with its error unread.
    EXPECT_GE(report["receiveErrors"], 2);
    EXPECT_LE(report["receiveErrors"], logger.Probes());
    EXPECT_NE(result.err.find(" receive error"), std::string::npos) << result.err;
}

TEST_F(UpdateCommand, JsonReportsAFailureBeforeTheTransferToo) {
    FakeLogger logger("127.0.0.2", {.requestAnswer = "E81"});
    auto options = Options(logger, File("S1.02.bin", 1000));
    options.common.json = true;
    const CommandResult result = Run(options);
    ASSERT_EQ(result.code, ToInt(ExitCode::Refused));
    const auto report = nlohmann::json::parse(result.out);
    EXPECT_EQ(report["result"], "refused");
    EXPECT_EQ(report["message"], text::SameVersion);
    EXPECT_EQ(report["blocks"], 4);
    EXPECT_EQ(report["blocksSent"], 0);
}

// Unanswered queries, so that every stage comes from the worker's thread in its own order.
TEST_F(UpdateCommand, WithoutTerminalEachStageIsOneLineAndTheSystemsMessageComesLast) {
    FakeLogger logger("127.0.0.2", {.finalAnswer = ""});
    const CommandResult result = Run(Options(logger, File("S1.02.bin", 300)));
    ASSERT_EQ(result.code, ToInt(ExitCode::UpdateFail)) << result.err;
    EXPECT_NE(result.out.find("Request Update\nUpdating\nQuery Update result\nUpdate Fail\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find('\r'), std::string::npos);
    EXPECT_EQ(result.err, "Update Fail\n");
    EXPECT_EQ(logger.Queries(), 5);
}

TEST_F(UpdateCommand, OnATerminalABarShowsBlocksAndTimeLeft) {
    FakeLogger logger("127.0.0.2", {});
    const CommandResult result = Run(Options(logger, File("S1.02.bin", 1000)), true);
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_NE(result.out.find("\r[##############################] 4/4 blocks, 0:05 left  Updating"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(result.out.ends_with("\nUpdate complete\nVerified: 12345 at 127.0.0.2 now runs S1.02\n"))
        << result.out;
}

TEST_F(UpdateCommand, EndpointInUseEndsWithCreateSocketFailAndTheReason) {
    FakeLogger logger("127.0.0.2", {});
    Endpoint holder;
    ASSERT_FALSE(holder.Open({"127.0.0.1", logger.UpdatePort()}));
    const CommandResult result = Run(Options(logger, File("S1.02.bin", 1000)));
    EXPECT_EQ(result.code, ToInt(ExitCode::EndpointFailed));
    EXPECT_NE(result.err.find(text::CreateSocketFail), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("update endpoint 127.0.0.1:" + std::to_string(logger.UpdatePort())),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("in use"), std::string::npos) << result.err;
    EXPECT_TRUE(logger.Requests().empty());
}

TEST_F(UpdateCommand, CtrlCDuringTheBlocksStopsAtOnceAndSaysWhatTheLoggerHolds) {
    constexpr int Blocks = 200;
    WakePipe interrupt;
    FakeLogger logger("127.0.0.2", {.onBlock = [&interrupt](int received) {
                          if (received == 2) {
                              interrupt.Notify();
                          }
                      }});
    const CommandResult result =
        Run(Options(logger, File("S1.02.bin", Blocks * 300)), false, interrupt.ReadHandle());

    EXPECT_EQ(result.code, ToInt(ExitCode::Interrupted));
    EXPECT_NE(result.err.find("of " + std::to_string(Blocks) + " sent"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("partial image"), std::string::npos) << result.err;
    EXPECT_LT(logger.Blocks().size(), static_cast<std::size_t>(Blocks));
    EXPECT_EQ(logger.Queries(), 0);
}

}  // namespace
}  // namespace lut::cli::test
