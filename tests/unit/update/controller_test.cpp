// The update controller: the Update button's checks and request, and every answer of the logger in every
// step of the dialogue, as the technician (boxes, status line) and the logger (datagrams) see them.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "WorkerBench.h"
#include "update/Messages.h"
#include "update/dialogue/DialoguePresenter.h"
#include "update/dialogue/UpdateDialogue.h"

namespace lut::test {
namespace {

using Kind = FakeWindow::Kind;

const LoggerRow Logger{"SN0001", "127.0.0.1", "S1.0"};
const LoggerRow Other{"SN0002", "127.0.0.5", "S1.0"};

std::string Text(std::string_view text) {
    return std::string(text);
}

// The dialogue as the window runs it after start-up: both workers waiting, a logger listed and selected,
// a file chosen and loaded, and every event shown on the window. The logger's row is the fake logger on
// loopback.
class ControllerBench final : public DialogueObserver {
  public:
    ControllerBench() {
        EXPECT_FALSE(tool.Open({"127.0.0.1", 0}));
        dialogue.CreateWorkers();
        window.rows = {Logger, Other};
        window.selected = 0;
        window.filePath = "/images/S1.02.bin";
        window.version = "S1.02";
        LoadedImage = ShareImage(HexPattern(1500));
    }

    void OnDialogueEvent(const DialogueEvent& event) override { Present(event, window); }

    // The Update button, with what the window holds; a failed check shows its warning.
    void Press() {
        PressUpdate(dialogue, window,
                    window.selected
                        ? std::optional(window.rows.at(static_cast<std::size_t>(*window.selected)))
                        : std::nullopt,
                    LoadedImage);
    }

    void Answer(const std::string& payload) { dialogue.HandleUpdateFrame(MakeFrame(payload)); }

    // Update pressed and the request taken off the wire; then the state the test wants.
    void InStep(Protocol step) {
        Press();
        EXPECT_TRUE(logger.Next());
        dialogue.ProtocolState.Store(step);
        window.log.clear();
    }

    template <typename Thread>
    static bool Started(const std::unique_ptr<Thread>& worker) {
        return worker != nullptr && !worker->Thread().Idle();
    }
    bool AStarted() const { return Started(dialogue.Upthread); }
    bool BStarted() const { return Started(dialogue.Upthread1); }

    FakeWindow window;
    VirtualPacer pacer;
    RecordingDisplay display;
    Endpoint tool;
    LoopbackLogger logger{"127.0.0.1", 0};
    ImageText LoadedImage;
    UpdateDialogue dialogue{tool, logger.Port(), pacer, display, *this};
};

TEST(UpdateButton, ChecksInOrderAndChangesNothingWhenOneFails) {
    struct Case {
        const char* name;
        std::optional<int> selected;
        Protocol step;
        std::string version;  // of the selected row
        std::string filePath;
        std::string loaded;
        std::string_view message;
    };
    const std::vector<Case> cases = {
        {"no row, before the state", std::nullopt, Protocol::Update, "V1", "", "", text::PleaseSelectLogger},
        {"no row while idle", std::nullopt, Protocol::Idle, "S1.0", "/S1.bin", "AA",
         text::PleaseSelectLogger},
        {"UD before version and file", 0, Protocol::Update, "V1", "", "", text::LastUpdateNotComplete},
        {"EN before version and file", 0, Protocol::End, "", "", "", text::LastUpdateNotComplete},
        {"version V1.0", 0, Protocol::Idle, "V1.0", "", "", text::VersionNotMatch},
        {"version s1.0 (lower case)", 0, Protocol::Search, "s1.0", "/S1.bin", "AA", text::VersionNotMatch},
        {"empty version", 0, Protocol::Request, "", "/S1.bin", "AA", text::VersionNotMatch},
        {"no file before the image", 0, Protocol::Idle, "S1.0", "", "", text::PleaseChooseFile},
        {"file of 0 bytes", 0, Protocol::Idle, "S1.0", "/S1.bin", "", text::ReadUpdateFileFail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerBench bench;
        bench.window.selected = c.selected;
        bench.window.rows[0].version = c.version;
        bench.window.filePath = c.filePath;
        bench.LoadedImage = ShareImage(c.loaded);
        bench.dialogue.ProtocolState.Store(c.step);
        bench.Press();
        EXPECT_EQ(bench.window.log, (std::vector<FakeWindow::Shown>{{Kind::Warning, Text(c.message)}}));
        EXPECT_EQ(bench.dialogue.ProtocolState.Load(), c.step);
        EXPECT_TRUE(bench.logger.Arrived().empty());
    }
}

TEST(UpdateButton, EmptyImageStaysTheSendImage) {
    ControllerBench bench;
    bench.dialogue.SendImage = ShareImage("AABB");
    bench.LoadedImage = ShareImage({});
    bench.Press();
    EXPECT_EQ(*bench.dialogue.SendImage, "");
}

TEST(UpdateButton, SendsVersionAndBlockCountToTheSelectedLogger) {
    struct Case {
        const char* name;
        Protocol step;
        std::string version;
        std::size_t imageChars;
        std::string payload;
    };
    const std::vector<Case> cases = {
        {"1,500 characters are 3 blocks", Protocol::Idle, "S1.02", 1500, "LUS1.020003"},
        {"1,800 characters are 3 blocks", Protocol::Search, "S1.02", 1800, "LUS1.020003"},
        {"1,802 characters are 4 blocks", Protocol::Request, "S1.02", 1802, "LUS1.020004"},
        {"600 characters are 1 block", Protocol::Idle, "S1.02", 600, "LUS1.020001"},
        {"blanks and controls trimmed, other bytes kept", Protocol::Idle, " \t\xC3\xA9S1.02\r\n", 602,
         "LU\xC3\xA9S1.020002"},
        {"empty version text", Protocol::Idle, "", 600, "LU0001"},
        {"more than 65,535 blocks take five digits", Protocol::Idle, "S1.02", 65536 * 600, "LUS1.0210000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerBench bench;
        bench.window.version = c.version;
        bench.LoadedImage = ShareImage(std::string(c.imageChars, 'A'));
        bench.dialogue.ProtocolState.Store(c.step);
        bench.Press();
        EXPECT_EQ(bench.logger.Next(), c.payload);
        EXPECT_EQ(bench.dialogue.ProtocolState.Load(), Protocol::Request);
        EXPECT_EQ(bench.window.log,
                  (std::vector<FakeWindow::Shown>{{Kind::Status, Text(text::RequestUpdate)}}));
        EXPECT_EQ(bench.dialogue.SendImage, bench.LoadedImage) << "the send image shares the loaded one";
    }
}

TEST(RequestAnswer, AcceptanceStartsWorkerAOtherAnswersEndTheDialogue) {
    struct Case {
        std::string payload;
        Protocol step;
        std::vector<FakeWindow::Shown> shown;
        std::optional<std::int32_t> startBlock;  // worker A started at this block
    };
    const std::vector<Case> cases = {
        {"R0005", Protocol::Update, {{Kind::Status, Text(text::Updating)}}, 5},
        {"R00a0", Protocol::Update, {{Kind::Status, Text(text::Updating)}}, 0xA0},
        {"R0001xyz", Protocol::Update, {{Kind::Status, Text(text::Updating)}}, 1},
        {"E80", Protocol::Idle, {{Kind::Warning, Text(text::FlashNotExists)}}, std::nullopt},
        {"E81xyz", Protocol::Idle, {{Kind::Warning, Text(text::SameVersion)}}, std::nullopt},
        {"E82", Protocol::Idle, {}, std::nullopt},
        {"X", Protocol::Idle, {}, std::nullopt},
        {"E8", Protocol::Idle, {}, std::nullopt},
        {"r0005", Protocol::Idle, {}, std::nullopt},
        {"", Protocol::Idle, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("answer '" + c.payload + "'");
        ControllerBench bench;
        bench.InStep(Protocol::Request);
        bench.Answer(c.payload);
        EXPECT_EQ(bench.dialogue.ProtocolState.Load(), c.step);
        EXPECT_EQ(bench.window.log, c.shown);
        EXPECT_EQ(bench.AStarted(), c.startBlock.has_value());
        EXPECT_FALSE(bench.BStarted());
        if (c.startBlock) {
            const Tupthread::Fields fields = bench.dialogue.Upthread->CurrentFields();
            EXPECT_EQ(fields.StartBlock, *c.startBlock);
            EXPECT_EQ(fields.BlockCount, 3);
            EXPECT_EQ(fields.TargetIP, Logger.ip);
        }
    }
}

TEST(RequestAnswer, SecondRequestReplacesTheImageAndASecondAcceptanceIsIgnored) {
    ControllerBench bench;
    bench.Press();
    bench.LoadedImage = ShareImage(HexPattern(3000));
    bench.Press();
    EXPECT_EQ(bench.logger.Next(), "LUS1.020003");
    EXPECT_EQ(bench.logger.Next(), "LUS1.020005");
    bench.Answer("R0000");
    const Tupthread* first = bench.dialogue.Upthread.get();
    bench.Answer("R0002");
    EXPECT_EQ(bench.dialogue.Upthread.get(), first);
    EXPECT_EQ(bench.dialogue.Upthread->CurrentFields().StartBlock, 0);
    EXPECT_EQ(bench.dialogue.Upthread->CurrentFields().BlockCount, 5);
    EXPECT_EQ(bench.dialogue.Upthread->CurrentFields().SendImage, bench.dialogue.SendImage);
}

TEST(QueryAnswer, CompleteResendOrFailure) {
    struct Case {
        std::string payload;
        Protocol step;
        std::vector<FakeWindow::Shown> shown;
        std::optional<std::vector<std::int32_t>> blocks;  // worker B started with these
    };
    const std::vector<Case> cases = {
        {"R", Protocol::Idle, {{Kind::Warning, Text(text::UpdateComplete)}}, std::nullopt},
        {"R0002000A0010",
         Protocol::Update,
         {{Kind::Status, Text(text::Updating)}},
         std::vector<std::int32_t>{10, 16}},
        {"R0000", Protocol::Update, {{Kind::Status, Text(text::Updating)}}, std::vector<std::int32_t>{}},
        {"R0001000aFFFF",
         Protocol::Update,
         {{Kind::Status, Text(text::Updating)}},
         std::vector<std::int32_t>{10}},
        {"r", Protocol::Idle, {{Kind::Warning, Text(text::UpdateUnknownError)}}, std::nullopt},
        {"X", Protocol::Idle, {{Kind::Warning, Text(text::UpdateUnknownError)}}, std::nullopt},
        {"", Protocol::Idle, {{Kind::Warning, Text(text::UpdateUnknownError)}}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("answer '" + c.payload + "'");
        ControllerBench bench;
        bench.InStep(Protocol::End);
        bench.Answer(c.payload);
        EXPECT_EQ(bench.dialogue.ProtocolState.Load(), c.step);
        EXPECT_EQ(bench.window.log, c.shown);
        EXPECT_EQ(bench.BStarted(), c.blocks.has_value());
        EXPECT_FALSE(bench.AStarted());
        if (c.blocks) {
            const Tupthread1::Fields fields = bench.dialogue.Upthread1->CurrentFields();
            EXPECT_EQ(fields.Blocks, *c.blocks);
            EXPECT_EQ(fields.TargetIP, Logger.ip);
            EXPECT_EQ(fields.SendImage, bench.dialogue.SendImage);
        }
    }
}

TEST(Answers, IgnoredWhenNoAnswerIsAwaited) {
    for (const Protocol step : {Protocol::Idle, Protocol::Search, Protocol::Update}) {
        for (const std::string payload : {"R0005", "R", "R0002000A0010", "E80", "X"}) {
            SCOPED_TRACE("answer '" + payload + "' in '" + std::string(ToText(step)) + "'");
            ControllerBench bench;
            bench.InStep(step);
            bench.Answer(payload);
            EXPECT_EQ(bench.dialogue.ProtocolState.Load(), step);
            EXPECT_TRUE(bench.window.log.empty());
            EXPECT_FALSE(bench.AStarted());
            EXPECT_FALSE(bench.BStarted());
        }
    }
}

TEST(Answers, StateIsSetBeforeTheBoxAndAnAnswerDuringTheBoxMeetsIt) {
    struct Case {
        Protocol step;
        std::string payload;
        Protocol whileShown;
    };
    const std::vector<Case> cases = {
        {Protocol::Request, "E80", Protocol::Idle},
        {Protocol::Request, "E81", Protocol::Idle},
        {Protocol::End, "R", Protocol::Idle},
        {Protocol::End, "X", Protocol::Idle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("answer '" + c.payload + "'");
        ControllerBench bench;
        bench.InStep(c.step);
        std::vector<Protocol> seen;
        bench.window.whileBoxShown = [&](const FakeWindow::Shown&) {
            seen.push_back(bench.dialogue.ProtocolState.Load());
            bench.Answer("R0001");  // arrives while the box is up: no answer is awaited any more
        };
        bench.Answer(c.payload);
        EXPECT_EQ(seen, std::vector<Protocol>{c.whileShown});
        EXPECT_FALSE(bench.AStarted());
        EXPECT_FALSE(bench.BStarted());
    }
}

// The dialogue belongs to the logger the request went to: its blocks go there whatever row is selected.
TEST(Answers, BlocksGoToTheLoggerTheRequestWentTo) {
    struct Case {
        const char* name;
        Protocol step;
        std::string payload;
        std::optional<int> selectedLater;
    };
    const std::vector<Case> cases = {
        {"acceptance, another row selected", Protocol::Request, "R0000", 1},
        {"acceptance, no row selected", Protocol::Request, "R0000", std::nullopt},
        {"resend, another row selected", Protocol::End, "R00010000", 1},
        {"resend, no row selected", Protocol::End, "R00010000", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerBench bench;
        bench.InStep(c.step);
        bench.window.selected = c.selectedLater;
        bench.Answer(c.payload);
        EXPECT_EQ(bench.dialogue.ProtocolState.Load(), Protocol::Update);
        ASSERT_TRUE(bench.pacer.WaitForSleepers(1));
        EXPECT_EQ(bench.logger.Arrived(),
                  std::vector<std::string>{"UD0000" + bench.LoadedImage->substr(0, 600)});
    }
}

// An answer is read whole before anything changes; one that cannot be read leaves the dialogue where it was.
TEST(Answers, UnreadableAnswerChangesNothingAndALaterValidAnswerStillCounts) {
    struct Case {
        Protocol step;
        std::string payload;
        std::string_view error;
        std::string later;  // a valid answer that then completes the step
        Protocol after;
    };
    const std::vector<Case> cases = {
        {Protocol::Request, "R", text::UnreadableAcceptance, "R0001", Protocol::Update},
        {Protocol::Request, "R12", text::UnreadableAcceptance, "R0001", Protocol::Update},
        {Protocol::Request, "R00G5", text::UnreadableAcceptance, "R0001", Protocol::Update},
        {Protocol::Request, "R-001", text::UnreadableAcceptance, "R0001", Protocol::Update},
        {Protocol::End, "R12", text::UnreadableResendList, "R", Protocol::Idle},
        {Protocol::End, "R0003000A0010", text::UnreadableResendList, "R", Protocol::Idle},
        {Protocol::End, "R0002000A001", text::UnreadableResendList, "R", Protocol::Idle},
        {Protocol::End, "R0001000Z", text::UnreadableResendList, "R00010001", Protocol::Update},
        {Protocol::End, "R\x01\x02", text::UnreadableResendList, "R", Protocol::Idle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("answer '" + c.payload + "'");
        ControllerBench bench;
        bench.InStep(c.step);
        bench.Answer(c.payload);
        EXPECT_EQ(bench.dialogue.ProtocolState.Load(), c.step);
        ASSERT_EQ(bench.window.log.size(), 1U);
        EXPECT_EQ(bench.window.log[0].kind, Kind::Error);
        EXPECT_TRUE(bench.window.log[0].text.starts_with(c.error)) << bench.window.log[0].text;
        EXPECT_FALSE(bench.AStarted());
        EXPECT_FALSE(bench.BStarted());

        bench.Answer(c.later);
        EXPECT_EQ(bench.dialogue.ProtocolState.Load(), c.after);
        EXPECT_EQ(bench.AStarted() || bench.BStarted(), c.after == Protocol::Update);
    }
}

TEST(Answers, UnreadableAnswerIsQuotedReadably) {
    ControllerBench bench;
    bench.InStep(Protocol::End);
    bench.Answer("R0003\x01" + std::string(100, '0'));
    ASSERT_EQ(bench.window.Texts(Kind::Error).size(), 1U);
    EXPECT_EQ(bench.window.Texts(Kind::Error)[0],
              Text(text::UnreadableResendList) + "'R0003\\x01" + std::string(58, '0') + "'...");
}

TEST(Workers, AMissingOrEndedWorkerIsReplacedBeforeItIsStarted) {
    ControllerBench bench;
    bench.dialogue.Upthread->Thread().Post(WorkerStartMessage + 1);
    ASSERT_TRUE(bench.dialogue.Upthread->Thread().WaitIdle(VirtualPacer::HangGuard));
    ASSERT_TRUE(bench.dialogue.Upthread->Thread().Terminated());
    bench.dialogue.Upthread1.reset();

    bench.InStep(Protocol::Request);
    bench.Answer("R0000");
    EXPECT_TRUE(bench.AStarted());
    bench.dialogue.ProtocolState.Store(Protocol::End);
    bench.Answer("R0000");
    EXPECT_TRUE(bench.BStarted());
}

}  // namespace
}  // namespace lut::test
