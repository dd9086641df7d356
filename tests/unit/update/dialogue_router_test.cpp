// Two update dialogues at once over the tool's one update endpoint: each logger's answers reach its own
// dialogue only, even when their datagrams interleave mid-frame, and an answer from a stranger reaches none.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "CoreBench.h"
#include "FakeWindow.h"
#include "TempDir.h"
#include "TestPlatform.h"
#include "VirtualPacer.h"
#include "update/ToolCore.h"
#include "update/dialogue/DialogueRouter.h"

namespace lut::test {
namespace {

const std::string ToolAddress = "127.0.0.1";

struct Heard final : RoutedObserver {
    void OnDialogueEvent(const std::string& logger, const DialogueEvent& event) override {
        if (const auto* asked = std::get_if<dialogue::ResendAsked>(&event)) {
            resends.emplace_back(logger, asked->blocks);
        }
    }
    std::vector<std::pair<std::string, std::vector<std::int32_t>>> resends;
};

TEST(DialogueRouter, OneLoggersResendAnswerReachesOnlyItsOwnDialogue) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    LoopbackLogger first{"127.0.0.2", 0};
    LoopbackLogger second{"127.0.0.3", first.Port()};
    LoopbackLogger stranger{"127.0.0.4", first.Port()};
    FakeWindow window;
    VirtualPacer pacer;
    CountingWaker waker;
    const ToolOptions options{ToolAddress, first.Port(), FreePort(ToolAddress)};
    ToolCore core{window, waker, pacer, options};
    core.StartUp();
    Heard heard;
    DialogueRouter& router = core.StartRouting(heard);

    // Both dialogues asked for the result of a transfer of 4 blocks.
    std::vector<UpdateDialogue*> dialogues;
    for (const std::string address : {"127.0.0.2", "127.0.0.3"}) {
        UpdateDialogue& dialogue = router.Open(address);
        const UpdateRequest request{LoggerRow{"SN", address, "S1.00"}, "S1.02", "S1.02.bin",
                                    ShareImage(std::string(4 * BlockChars, 'A'))};
        ASSERT_EQ(dialogue.btnUPGClick(request), UpdateCheck::Passed);
        dialogue.ProtocolState.Store(Protocol::End);
        dialogues.push_back(&dialogue);
    }
    ASSERT_EQ(first.Next(), "LUS1.020004");
    ASSERT_EQ(second.Next(), "LUS1.020004");

    const auto deliver = [&core](LoopbackLogger& from, const std::string& datagram) {
        from.AnswerRaw(datagram, ToolAddress, core.Link().UpdateSocket.LocalPort());
        ASSERT_TRUE(WaitReadable(core.Link().UpdateSocket));
        core.HandleSocketMessage(ReadEvent);
    };
    // The second logger's resend answer arrives in two halves, with a whole answer of a stranger between.
    const std::string resend = MakeFrame("R000200010003");
    deliver(second, resend.substr(0, 7));
    deliver(stranger, MakeFrame("R00010000"));
    deliver(second, resend.substr(7));

    ASSERT_EQ(heard.resends.size(), 1U);
    EXPECT_EQ(heard.resends[0].first, "127.0.0.3");
    EXPECT_EQ(heard.resends[0].second, (std::vector<std::int32_t>{1, 3}));
    EXPECT_EQ(dialogues[0]->ProtocolState.Load(), Protocol::End) << "the first logger's dialogue still waits";
    EXPECT_EQ(dialogues[1]->ProtocolState.Load(), Protocol::Update);
    EXPECT_EQ(router.Unrouted(), 1U);
    EXPECT_EQ(core.Dialogue().ProtocolState.Load(), Protocol::Idle) << "the window's dialogue heard nothing";

    ASSERT_TRUE(pacer.WaitForSleepers(1));
    EXPECT_EQ(second.Next(), "UD0001" + std::string(BlockChars, 'A'));
    EXPECT_TRUE(first.Arrived().empty());
}

// Each dialogue stops its own workers: closing one routed dialogue, or ending the routing, stops no other,
// and the window's own dialogue sends every block afterwards.
TEST(DialogueRouter, CloseAndShutdownStopOnlyTheRoutedDialogues) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    LoopbackLogger first{"127.0.0.2", 0};
    LoopbackLogger second{"127.0.0.3", first.Port()};
    FakeWindow window;
    VirtualPacer pacer;
    CountingWaker waker;
    const ToolOptions options{ToolAddress, first.Port(), FreePort(ToolAddress)};
    ToolCore core{window, waker, pacer, options};
    core.StartUp();
    Heard heard;
    DialogueRouter& router = core.StartRouting(heard);
    const std::string image(3 * BlockChars, 'A');
    for (const std::string address : {"127.0.0.2", "127.0.0.3"}) {
        UpdateDialogue& dialogue = router.Open(address);
        ASSERT_EQ(dialogue.btnUPGClick(
                      {LoggerRow{"SN", address, "S1.00"}, "S1.02", "S1.02.bin", ShareImage(image)}),
                  UpdateCheck::Passed);
        dialogue.HandleUpdateFrame(MakeFrame("R0000"));
    }
    ASSERT_TRUE(pacer.WaitForSleepers(2));
    ASSERT_EQ(first.Arrived().size(), 2U);
    ASSERT_EQ(second.Arrived().size(), 2U);

    router.Close("127.0.0.2");
    EXPECT_EQ(router.OpenCount(), 1U);
    pacer.AdvanceToNextWake();
    ASSERT_TRUE(pacer.WaitForSleepers(1));
    EXPECT_EQ(second.Arrived(), std::vector<std::string>{"UD0001" + image.substr(0, BlockChars)});
    EXPECT_TRUE(first.Arrived().empty());

    router.Shutdown();
    router.Shutdown();
    EXPECT_EQ(router.OpenCount(), 0U);
    core.StopRouting();

    ListLogger(core, "127.0.0.2", "SN0001#S1.0");
    window.selected = 0;
    TempDir dir;
    FakeFileDialog dialog;
    dialog.choices.push_back(dir.Write("S1.02.bin", std::string(2 * BlockChars / 2, '\x11')));
    ASSERT_EQ(core.btn1Click(dialog), BrowseOutcome::Loaded);
    ASSERT_EQ(core.btnUPGClick(), UpdateCheck::Passed);
    first.AnswerRaw(MakeFrame("R0000"), ToolAddress, core.Link().UpdateSocket.LocalPort());
    ASSERT_TRUE(WaitReadable(core.Link().UpdateSocket));
    core.HandleSocketMessage(ReadEvent);
    ASSERT_TRUE(pacer.WaitForSleepers(1));
    pacer.AdvanceToNextWake();
    ASSERT_TRUE(pacer.WaitForSleepers(1));
    const std::vector<std::string> heardByFirst = first.Arrived();
    ASSERT_EQ(heardByFirst.size(), 3U);
    EXPECT_EQ(heardByFirst[0], "LUS1.020002");
    EXPECT_EQ(heardByFirst[1].substr(0, 6), "UD0000");
    EXPECT_EQ(heardByFirst[2].substr(0, 6), "UD0001");
}

}  // namespace
}  // namespace lut::test
