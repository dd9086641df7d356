#include <nlohmann/json.hpp>

#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "CommandRun.h"
#include "record/RecordFile.h"
#include "record/Sha256.h"
#include "record/WindowRecord.h"

namespace lut::cli::test {
namespace {

record::Entry Line(const std::string& sn, const std::string& ip, const std::string& outcome) {
    record::Entry entry;
    entry.time = "2024-05-01T09:30:12Z";
    entry.sn = sn;
    entry.ip = ip;
    entry.versionBefore = "S1.00";
    entry.versionSent = "S1.02";
    entry.outcome = outcome;
    return entry;
}

// History and the record's lines talk to no logger: they run wherever the record can be kept.
class History : public CommandRun {
  protected:
    void SetUp() override { KeepRecord(); }
};

TEST_F(History, ListsNewestFirstPerLoggerAndSkipsADamagedLineWithAWarning) {
    ASSERT_FALSE(record::Append(RecordFile(), Line("SN0001", "127.0.0.2", "complete")));
    std::ofstream(RecordFile(), std::ios::app) << R"({"time":"2024-05-01T09:31:00Z","sn":"SN00)" << '\n';
    ASSERT_FALSE(record::Append(RecordFile(), Line("SN0002", "127.0.0.3", "refused")));
    ASSERT_FALSE(record::Append(RecordFile(), Line("SN0001", "127.0.0.2", "not-verified")));

    const struct {
        std::optional<std::string> logger;
        std::vector<std::string> outcomes;
    } cases[] = {
        {std::nullopt, {"not-verified", "refused", "complete"}},
        {"127.0.0.2", {"not-verified", "complete"}},
        {"SN0002", {"refused"}},
        {"127.0.0.9", {}},
    };
    for (const auto& c : cases) {
        const CommandResult json = Run(HistoryOptions{c.logger, true});
        EXPECT_EQ(json.code, 0);
        std::vector<std::string> outcomes;
        for (const auto& line : nlohmann::json::parse(json.out)) {
            outcomes.push_back(line["outcome"]);
        }
        EXPECT_EQ(outcomes, c.outcomes) << c.logger.value_or("all");
        EXPECT_NE(json.err.find("line 2 of " + RecordFile().string() + " is damaged and was skipped"),
                  std::string::npos)
            << json.err;
    }

    const CommandResult table = Run(HistoryOptions{"SN0001", false});
    EXPECT_NE(table.out.find("Time (UTC)"), std::string::npos) << table.out;
    EXPECT_LT(table.out.find("not-verified"), table.out.find("complete")) << table.out;
}

// A late "R" after "Update Fail" is written as a second line that corrects the first: history shows each
// attempt once, as it ended, however many corrections follow and however close in time. Lines of older
// records have no identity and name the line they correct by its time alone.
TEST_F(History, ACorrectionStandsInPlaceOfTheLinesItCorrects) {
    const auto line = [](const std::string& outcome, const std::string& attempt, const std::string& time,
                         std::optional<std::string> corrects = std::nullopt) {
        record::Entry entry = Line("SN0001", "127.0.0.2", outcome);
        entry.attempt = attempt;
        entry.time = time;
        entry.corrects = std::move(corrects);
        return entry;
    };
    const std::string t0 = "2024-05-01T09:30:12Z";
    const struct {
        const char* name;
        std::vector<record::Entry> lines;  // after one of another logger
        std::vector<std::string> shown;
    } cases[] = {
        {"a late R after Update Fail",
         {line("update-fail", "a1", t0), line("complete", "a1", "2024-05-01T09:32:00Z", t0)},
         {"complete", "refused"}},
        {"two requests in one second, then a correction",
         {line("superseded", "a1", t0), line("update-fail", "a2", t0),
          line("complete", "a2", "2024-05-01T09:30:40Z", t0)},
         {"complete", "superseded", "refused"}},
        {"a chain of corrections in one second",
         {line("update-fail", "a1", t0), line("unknown-error", "a1", t0, t0), line("complete", "a1", t0, t0)},
         {"complete", "refused"}},
        {"an older record: a late R after Update Fail",
         {line("update-fail", "", t0), line("complete", "", "2024-05-01T09:32:00Z", t0)},
         {"complete", "refused"}},
        {"an older record: two requests in one second, then a correction",
         {line("superseded", "", t0), line("update-fail", "", t0),
          line("complete", "", "2024-05-01T09:30:40Z", t0)},
         {"complete", "superseded", "refused"}},
        {"an older record: a chain of corrections",
         {line("update-fail", "", t0), line("unknown-error", "", "2024-05-01T09:31:00Z", t0),
          line("complete", "", "2024-05-01T09:32:00Z", t0)},
         {"complete", "refused"}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(RecordFile());
        record::Entry other = Line("SN0002", "127.0.0.3", "refused");
        other.time = "2024-05-01T09:29:00Z";
        ASSERT_FALSE(record::Append(RecordFile(), other));
        for (const record::Entry& entry : c.lines) {
            ASSERT_FALSE(record::Append(RecordFile(), entry));
        }
        const CommandResult json = Run(HistoryOptions{std::nullopt, true});
        std::vector<std::string> outcomes;
        for (const auto& shown : nlohmann::json::parse(json.out)) {
            outcomes.push_back(shown["outcome"]);
        }
        EXPECT_EQ(outcomes, c.shown) << c.name << "\n" << json.out;
    }
}

// Every attempt of a window that sent a request leaves exactly one line, however it ends, and its file
// facts are those of the bytes loaded at Browse, also when the file has changed or gone since. The
// version check's verdict corrects the line of a complete attempt.
TEST_F(History, AWindowLeavesOneLinePerAttemptWhateverEndsIt) {
    namespace d = dialogue;
    const LoggerRow logger{"SN0001", "127.0.0.2", "S1.00"};
    const d::RequestSent request{logger, "S1.02", 2, false};
    const std::vector<DialogueEvent> complete{request, d::Accepted{0}, d::BlockSent{0}, d::BlockSent{1},
                                              d::Complete{}};
    const auto checked = [&complete](const d::VersionChecked& verdict) {
        std::vector<DialogueEvent> events = complete;
        events.push_back(verdict);
        return events;
    };
    struct Case {
        const char* name;
        std::vector<DialogueEvent> events;  // then the window closes
        std::vector<std::string> outcomes;
        std::int64_t blocksSent;
        std::vector<std::string> shown;  // by history: each attempt once, newest first
        std::optional<bool> verified = std::nullopt;
        std::optional<std::string> versionAfter = std::nullopt;
    };
    const std::vector<Case> cases = {
        {"no answer to the request", {request}, {"no-answer"}, 0, {"no-answer"}},
        {"closed during the transfer",
         {request, d::Accepted{0}, d::RunBegins{2, 0, false}, d::BlockSent{0}},
         {"interrupted"},
         1,
         {"interrupted"}},
        {"Update pressed again in LU",
         {request, request, d::Accepted{0}, d::BlockSent{0}, d::BlockSent{1}, d::Complete{}},
         {"superseded", "complete"},
         2,
         {"complete", "superseded"}},
        {"a late R after Update Fail",
         {request, d::Accepted{0}, d::BlockSent{0}, d::BlockSent{1}, d::QueriesUnanswered{}, d::RunEnds{},
          d::Complete{}},
         {"update-fail", "complete"},
         2,
         {"complete"}},
        {"Update double-clicked, then a late R after Update Fail",
         {request, request, d::Accepted{0}, d::BlockSent{0}, d::BlockSent{1}, d::QueriesUnanswered{},
          d::RunEnds{}, d::Complete{}},
         {"superseded", "update-fail", "complete"},
         2,
         {"complete", "superseded"}},
        {"closed during the version check", complete, {"complete"}, 2, {"complete"}},
        {"the new version confirmed",
         checked({true, "S1.02", "Verified"}),
         {"complete", "complete"},
         2,
         {"complete"},
         true,
         "S1.02"},
        {"the old version until the end of the check",
         checked({false, "S1.00", "Not verified"}),
         {"complete", "complete"},
         2,
         {"complete"},
         false,
         "S1.00"},
        {"no answer to the version probe",
         checked({false, "", "Not verified"}),
         {"complete", "complete"},
         2,
         {"complete"},
         false},
    };
    const std::string bytes = "\x01\x02\xFE";
    const std::filesystem::path file = File("S1.02.bin", 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(RecordFile());
        std::vector<std::string> warnings;
        record::WindowRecord window([&warnings](const std::string& text) { warnings.push_back(text); });
        window.Loaded(file, ShareImage(HexText(bytes)));
        std::filesystem::remove(file);
        for (const DialogueEvent& event : c.events) {
            window.OnDialogueEvent(event);
        }
        window.Close();
        window.Close();

        const std::vector<record::Entry> lines = record::Read(RecordFile()).entries;
        std::vector<std::string> outcomes;
        for (const record::Entry& line : lines) {
            outcomes.push_back(line.outcome);
        }
        EXPECT_EQ(outcomes, c.outcomes);
        EXPECT_TRUE(warnings.empty());
        ASSERT_FALSE(lines.empty());
        const record::Entry& last = lines.back();
        EXPECT_EQ(last.blocksSent, c.blocksSent);
        EXPECT_EQ(last.file, "S1.02.bin");
        EXPECT_EQ(last.fileSize, 3U);
        EXPECT_EQ(last.sha256, record::Sha256Hex(bytes));
        EXPECT_EQ(last.verified, c.verified);
        EXPECT_EQ(last.versionAfter, c.versionAfter);
        const bool corrected = lines.size() > c.shown.size();
        EXPECT_EQ(last.corrects.has_value(), corrected);
        std::set<std::string> attempts;
        for (const record::Entry& line : lines) {
            attempts.insert(line.attempt);
        }
        EXPECT_EQ(attempts.size(), c.shown.size()) << "the lines of one attempt carry its identity";
        if (corrected) {
            EXPECT_EQ(*last.corrects, lines[lines.size() - 2].time);
        }
        std::vector<std::string> shown;
        for (const record::Entry& line : record::FinalLines(lines)) {
            shown.push_back(line.outcome);
        }
        EXPECT_EQ(shown, c.shown);
    }
}

// A record that cannot be written is told where the user looks, once per run.
TEST_F(History, AWindowTellsOnceThatItsRecordCannotBeWritten) {
    const std::filesystem::path blocked = std::filesystem::path(File("plainfile", 1)) / "updates.jsonl";
    lut::test::SetEnvironmentPath(record::RecordVariable, blocked);
    std::vector<std::string> warnings;
    record::WindowRecord window([&warnings](const std::string& text) { warnings.push_back(text); });
    const dialogue::RequestSent request{{"SN0001", "127.0.0.2", "S1.00"}, "S1.02", 1, false};
    for (int attempt = 0; attempt < 2; ++attempt) {
        window.OnDialogueEvent(request);
        window.OnDialogueEvent(dialogue::Refused{dialogue::Refusal::SameVersion, "E81"});
    }
    lut::test::UnsetEnvironment(record::RecordVariable);
    ASSERT_EQ(warnings.size(), 1U);
    EXPECT_EQ(warnings[0].rfind("The update record " + PathText(blocked) + " could not be written: ", 0), 0U)
        << warnings[0];
}

// A folder named outside the ANSI code page (a user name in Chinese, say) keeps its record.
TEST_F(History, ARecordInAFolderNamedInAnotherScriptKeepsItsLines) {
    const std::filesystem::path file =
        RecordFile().parent_path() / std::filesystem::path(u8"\u8bb0\u5f55") / "updates.jsonl";
    lut::test::SetEnvironmentPath(record::RecordVariable, file);
    ASSERT_EQ(record::RecordPath(), file);
    ASSERT_FALSE(record::Append(file, Line("SN0001", "127.0.0.2", "complete")));
    lut::test::UnsetEnvironment(record::RecordVariable);
    EXPECT_EQ(record::Read(file).entries.size(), 1U);
}

TEST_F(History, TwoToolsAppendingAtOnceLoseNoLineAndTearNone) {
    if (lut::test::UnderWine()) {
        GTEST_SKIP() << "Wine lets two appending writers overlap; Windows does not";
    }
    constexpr int Lines = 300;
    const auto append = [this](const std::string& sn) {
        record::Entry entry = Line(sn, "127.0.0.2", "complete");
        entry.message = std::string(6000, 'x');  // longer than a pipe's atomic write
        for (int i = 0; i < Lines; ++i) {
            EXPECT_FALSE(record::Append(RecordFile(), entry));
        }
    };
    std::thread first(append, "SN0001");
    std::thread second(append, "SN0002");
    first.join();
    second.join();
    const record::Contents contents = record::Read(RecordFile());
    EXPECT_TRUE(contents.warnings.empty());
    EXPECT_EQ(contents.entries.size(), 2U * Lines);
}

TEST_F(History, TheRecordCanBeTurnedOffForTestsAndScripts) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    lut::test::SetEnvironment(record::RecordVariable, "off");
    EXPECT_FALSE(record::RecordPath());
    FakeLogger logger("127.0.0.2", {});
    const UpdateOptions options{LoopbackOptions(logger, std::chrono::seconds(10)),
                                {"127.0.0.2"},
                                File("S1.02.bin", 300),
                                std::nullopt};
    EXPECT_EQ(Run(options).code, 0);
    lut::test::UnsetEnvironment(record::RecordVariable);
    EXPECT_FALSE(std::filesystem::exists(RecordFile()));

    UpdateOptions unrecorded = options;
    unrecorded.record = false;
    FakeLogger again("127.0.0.2", {});
    unrecorded.common = LoopbackOptions(again, std::chrono::seconds(10));
    EXPECT_EQ(Run(unrecorded).code, 0);
    EXPECT_FALSE(std::filesystem::exists(RecordFile()));
}

}  // namespace
}  // namespace lut::cli::test
