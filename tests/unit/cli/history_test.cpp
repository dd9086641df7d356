#include <nlohmann/json.hpp>

#include <fstream>
#include <thread>
#include <vector>

#include "CommandRun.h"
#include "record/RecordFile.h"

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

class History : public CommandRun {};

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

TEST_F(History, TwoToolsAppendingAtOnceLoseNoLineAndTearNone) {
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
