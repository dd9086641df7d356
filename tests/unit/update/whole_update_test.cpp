// The tool core as both front ends drive it: start-up, a whole update against a fake logger on loopback,
// and closing while a transfer is under way.
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CoreBench.h"
#include "FakeWindow.h"
#include "TestPlatform.h"
#include "WorkerBench.h"
#include "update/FieldTexts.h"
#include "update/Messages.h"
#include "update/ToolCore.h"
#include "update/dialogue/RequestRetries.h"

namespace lut::test {
namespace {

using Kind = FakeWindow::Kind;
using namespace std::chrono_literals;

const std::string ToolAddress = "127.0.0.1";
const std::string LoggerAddress = "127.0.0.2";

// The tool bound to 127.0.0.1 and a fake logger at 127.0.0.2, both on an update port of their own; the
// logger gets listed and selected, and an image loaded through Browse.
class ToolBench {
  public:
    ~ToolBench() {
        core.Shutdown();
        capture.reset();
        options.capture.reset();
        std::filesystem::remove_all(folder);
        std::filesystem::remove(captureFile);
    }

    // How many datagrams the capture holds: each record's header gives the length of what follows.
    std::size_t CapturedDatagrams() const {
        std::ifstream in(captureFile, std::ios::binary);
        const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::size_t count = 0;
        for (std::size_t at = 24; at + 16 <= file.size(); ++count) {
            const auto byte = [&file](std::size_t i) {
                return static_cast<std::size_t>(static_cast<unsigned char>(file[i]));
            };
            at += 16 + (byte(at + 8) | byte(at + 9) << 8);
        }
        return count;
    }

    // Start-up, the logger listed and the file chosen.
    void Ready(const std::string& bytes) {
        core.StartUp();
        ListLogger(core, LoggerAddress, "SN0001#S1.0");
        window.selected = 0;
        Browse(bytes);
    }

    // What the window shows once it has taken the workers' reports.
    const FakeWindow& Shown() {
        core.HandleWorkerReports();
        return window;
    }

    // Browse: writes the update file and chooses it.
    void Browse(const std::string& bytes) {
        std::filesystem::create_directories(folder);
        const std::filesystem::path file = folder / "S1.02.bin";
        std::ofstream(file, std::ios::binary) << bytes;
        FakeFileDialog dialog;
        dialog.choices.push_back(file.string());
        core.btn1Click(dialog);
    }

    // The logger answers with one datagram, and the tool handles its notification, after the workers'
    // reports that came before it, as a front end's event loop does.
    void Answer(const std::vector<std::string>& payloads) {
        core.HandleWorkerReports();
        logger.Answer(payloads, ToolAddress, options.updatePort);
        ASSERT_TRUE(WaitReadable(core.Link().UpdateSocket));
        core.HandleSocketMessage(ReadEvent);
    }

    // The logger's probe endpoint: how many probes reached it since the last look, without waiting for
    // more than the ones already sent.
    int ProbesHeard() {
        std::array<char, RxBufferSize> buffer{};
        int probes = 0;
        while (discovery.Receive(buffer).count > 0) {
            ++probes;
        }
        return probes;
    }

    // The logger answers the probe with its serial number and `version`, and the tool takes it in.
    void AnswerProbe(const std::string& body) {
        ASSERT_FALSE(discovery.SendTo(FrameStart + body + FrameEnd, ToolAddress, options.discoveryPort));
        ASSERT_TRUE(WaitReadable(core.Link().DiscoverySocket));
        core.HandleSocketMessage(ReadEvent);
    }

    // The core's due moments, in order, for as long as it has any (at most `limit` of them); `onTick`
    // after each.
    void RunTicks(
        const std::function<void()>& onTick = [] {}, int limit = 100) {
        for (int i = 0; i < limit; ++i) {
            const std::optional<std::chrono::milliseconds> due = core.UntilTick();
            if (!due) {
                return;
            }
            pacer.Advance(*due);
            core.Tick();
            onTick();
        }
        ADD_FAILURE() << "the core is still busy after " << limit << " moments";
    }

    // Update complete: a one-block image accepted, sent, and the query answered "R".
    void CompleteAnUpdate(const std::string& oneBlock) {
        Ready(oneBlock);
        core.btnUPGClick();
        ASSERT_EQ(logger.Next(), "LUS1.020001");
        Answer({"R0000"});
        Pass(2);
        ASSERT_TRUE(pacer.WaitForSleepers(1));
        const std::vector<std::string> heard = logger.Arrived();
        ASSERT_EQ(heard.size(), 2U);
        ASSERT_EQ(heard.back(), "EN");
        Answer({"R"});
        ASSERT_EQ(window.Texts(Kind::Warning), std::vector<std::string>{std::string(text::UpdateComplete)});
        ProbesHeard();  // the probe that listed the logger
    }

    // Lets the clock run through `pauses` pauses of `sleepers` sleeping workers.
    void Pass(int pauses, std::size_t sleepers = 1) {
        for (int i = 0; i < pauses; ++i) {
            ASSERT_TRUE(pacer.WaitForSleepers(sleepers));
            pacer.AdvanceToNextWake();
        }
    }

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("lut-whole-update-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    FakeWindow window;
    VirtualPacer pacer;
    CountingWaker waker;
    LoopbackLogger logger{LoggerAddress, 0};
    // Every datagram recorded, from the workers' threads and the receiving one alike.
    const std::filesystem::path captureFile = folder.string() + ".pcap";
    std::shared_ptr<Capture> capture = [this] {
        auto opened = std::make_shared<Capture>();
        EXPECT_FALSE(opened->Open(captureFile.string()));
        return opened;
    }();
    ToolOptions options{ToolAddress, logger.Port(), FreePort(ToolAddress), capture};
    // The logger's discovery endpoint, which the version check and the search's rounds probe.
    Endpoint discovery = [this] {
        Endpoint opened;
        EXPECT_FALSE(opened.Open({LoggerAddress, options.discoveryPort}));
        return opened;
    }();
    ToolCore core{window, waker, pacer, options};
};

std::string FileBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>((i * 37 + 11) % 256);
    }
    return bytes;
}

std::string BytesOf(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

TEST(WholeUpdate, AcceptResendTwoBlocksThenCompleteDeliversTheFileByteForByte) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    ToolBench bench;
    const std::string file = FileBytes(1000);  // 2,000 characters: blocks of 600, 600, 600 and 200
    bench.Ready(file);
    bench.core.btnUPGClick();
    ASSERT_EQ(bench.logger.Next(), "LUS1.020004");

    bench.Answer({"R0000"});
    bench.Pass(5);
    ASSERT_TRUE(bench.pacer.WaitForSleepers(1));
    std::map<int, std::string> blocks;  // what the logger kept; blocks 1 and 2 it "lost"
    std::vector<std::string> heard = bench.logger.Arrived();
    ASSERT_EQ(heard.size(), 5U);
    EXPECT_EQ(heard[4], "EN");
    for (const int kept : {0, 3}) {
        const std::string& payload = heard[static_cast<std::size_t>(kept)];
        ASSERT_EQ(payload.substr(0, 6), "UD" + Hex4(static_cast<std::uint32_t>(kept)));
        blocks[kept] = payload.substr(6);
    }

    bench.Answer({"R000200010002"});
    bench.Pass(3, 2);  // worker B's two blocks; then worker A's query pause ends first
    ASSERT_TRUE(bench.core.Dialogue().Upthread->Thread().WaitIdle(VirtualPacer::HangGuard));
    // Worker A has ended its run after worker B began: the bar still shows B's run, not A's end.
    EXPECT_EQ(bench.Shown().progressMax, 2);
    EXPECT_EQ(bench.Shown().progressPosition, 2);
    EXPECT_FALSE(bench.Shown().progressEnded);
    bench.Pass(1);
    ASSERT_TRUE(bench.pacer.WaitForSleepers(1));
    heard = bench.logger.Arrived();
    ASSERT_EQ(heard.size(), 3U);
    EXPECT_EQ(heard[2], "EN");
    for (std::size_t i = 0; i < 2; ++i) {
        ASSERT_EQ(heard[i].substr(0, 6), "UD" + Hex4(static_cast<std::uint32_t>(i + 1)));
        blocks[static_cast<int>(i + 1)] = heard[i].substr(6);
    }

    bench.Answer({"R"});
    bench.pacer.AdvanceToNextWake();
    ASSERT_TRUE(bench.core.Dialogue().Upthread1->Thread().WaitIdle(VirtualPacer::HangGuard));

    std::string assembled;
    for (const auto& [index, characters] : blocks) {
        assembled += characters;
    }
    EXPECT_EQ(BytesOf(assembled), file);
    EXPECT_EQ(bench.window.Texts(Kind::Warning), std::vector<std::string>{std::string(text::UpdateComplete)});
    EXPECT_TRUE(bench.window.Texts(Kind::Error).empty());
    EXPECT_EQ(bench.core.Dialogue().ProtocolState.Load(), Protocol::Idle);
    const FakeWindow& shown = bench.Shown();
    EXPECT_EQ(shown.progressPosition, 0);
    EXPECT_TRUE(shown.progressEnded);
    EXPECT_EQ(shown.Texts(Kind::Status),
              (std::vector<std::string>{std::string(text::Ready), std::string(text::RequestUpdate),
                                        std::string(text::Updating), std::string(text::QueryUpdateResult),
                                        std::string(text::Updating), std::string(text::QueryUpdateResult)}));
    EXPECT_TRUE(bench.logger.Arrived().empty());
    // The probe, the request, six blocks and two queries sent; the search answer and three answers received.
    EXPECT_EQ(bench.CapturedDatagrams(), 10U + 4U);
}

// What the record hears: every event of the dialogue, as the window takes it.
struct Heard final : DialogueObserver {
    void OnDialogueEvent(const DialogueEvent& event) override { events.push_back(event); }
    template <typename Event>
    long Count() const {
        return std::count_if(events.begin(), events.end(),
                             [](const DialogueEvent& e) { return std::holds_alternative<Event>(e); });
    }
    std::vector<DialogueEvent> events;
};

// A Search during worker B's transfer, a new request and its acceptance: worker A's new run begins, and
// the older run still sends its queries and fails. Its queries and its failure reach the status line and
// the record; only its end does not reset the newer run's bar.
TEST(WholeUpdate, AnOlderRunStillReportsAllButItsEndAfterANewerRunBegan) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    ToolBench bench;
    Heard record;
    bench.core.SetObserver(&record);
    bench.Ready(FileBytes(600));  // two blocks
    bench.core.btnUPGClick();
    bench.Answer({"R0000"});
    bench.Pass(3);
    ASSERT_TRUE(bench.pacer.WaitForSleepers(1));
    bench.Answer({"R00010001"});  // during worker A's first query pause: worker B sends block 1 again
    ListLogger(bench.core, LoggerAddress, "SN0001#S1.0");
    bench.window.selected = 0;
    ASSERT_EQ(bench.core.btnUPGClick(), UpdateCheck::Passed);
    bench.Answer({"R0000"});  // worker A takes its new run once its query pause ends
    bench.Pass(5, 2);         // B's block pause, A's first run ends, A's two blocks, B's final pause
    ASSERT_TRUE(bench.pacer.WaitForSleepers(2));
    EXPECT_EQ(bench.Shown().Texts(Kind::Status).back(), text::QueryUpdateResult) << "the older run's query";
    bench.Pass(9, 2);  // both query; B's fifth query goes unanswered first
    ASSERT_TRUE(bench.core.Dialogue().Upthread1->Thread().WaitIdle(VirtualPacer::HangGuard));
    const FakeWindow& shown = bench.Shown();
    EXPECT_EQ(shown.Texts(Kind::Status).back(), text::UpdateFail);
    EXPECT_EQ(record.Count<dialogue::QueriesUnanswered>(), 1);
    EXPECT_EQ(record.Count<dialogue::BlockSent>(), 2 + 1 + 2);
    EXPECT_EQ(record.Count<dialogue::RunEnds>(), 0) << "each older run's end is dropped";
    EXPECT_FALSE(shown.progressEnded);
    EXPECT_EQ(shown.progressMax, 2);
}

TEST(WholeUpdate, TwoAnswersInOneDatagramMeetTheStateTheFirstLeft) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    ToolBench bench;
    bench.Ready(FileBytes(600));
    bench.core.btnUPGClick();
    ASSERT_TRUE(bench.logger.Next());
    bench.Answer({"R0000", "R"});
    EXPECT_EQ(bench.core.Dialogue().ProtocolState.Load(), Protocol::Update);
    EXPECT_TRUE(bench.window.Texts(Kind::Warning).empty());
    EXPECT_TRUE(bench.window.Texts(Kind::Error).empty());
    bench.Pass(3);
    ASSERT_TRUE(bench.pacer.WaitForSleepers(1));
    const std::vector<std::string> heard = bench.logger.Arrived();
    ASSERT_EQ(heard.size(), 3U);
    EXPECT_EQ(heard[0].substr(0, 6), "UD0000");
    EXPECT_EQ(heard[1].substr(0, 6), "UD0001");
    EXPECT_EQ(heard[2], "EN");
}

TEST(StartUp, OpensBothEndpointsOnceAndCreatesTheWorkersWhateverFails) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    struct Case {
        const char* name;
        bool updateTaken;
        bool discoveryTaken;
        std::vector<std::string> statuses;
        std::string before = "";  // lbl6 before start-up
    };
    const std::string ready(text::Ready);
    const std::string fail(text::CreateSocketFail);
    const std::vector<Case> cases = {
        {"both open", false, false, {ready}},
        {"update port taken", true, false, {fail}},
        {"discovery port taken", false, true, {fail}},
        {"both taken", true, true, {fail, fail}},
        {"both open, lbl6 not empty before", false, false, {ready}, "lbl6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ToolBench bench;
        Endpoint update;
        Endpoint discovery;
        if (c.updateTaken) {
            EXPECT_FALSE(update.Open({ToolAddress, bench.options.updatePort}));
        }
        if (c.discoveryTaken) {
            EXPECT_FALSE(discovery.Open({ToolAddress, bench.options.discoveryPort}));
        }
        bench.window.status = c.before;
        bench.core.StartUp();
        bench.core.StartUp();
        EXPECT_EQ(bench.window.Texts(Kind::Status), c.statuses);
        EXPECT_EQ(bench.core.Link().UpdateSocket.IsOpen(), !c.updateTaken);
        EXPECT_EQ(bench.core.Link().DiscoverySocket.IsOpen(), !c.discoveryTaken);
        EXPECT_NE(bench.core.Dialogue().Upthread, nullptr);
        EXPECT_NE(bench.core.Dialogue().Upthread1, nullptr);
    }
}

// Closing never waits for a transfer: the workers leave their pause at once, and nothing is sent or shown
// after the window has gone; what they reported before reaches the record, not the window.
TEST(Shutdown, EndsATransferAtAnyPauseAndCutsTheWorkersOff) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    struct Case {
        const char* name;
        int pauses;  // passed before closing; the image has two blocks
        std::size_t framesBefore;
        int blocksSent;
    };
    const std::vector<Case> cases = {
        {"during the blocks", 0, 1, 1},
        {"during the final pause", 2, 2, 2},
        {"during the queries", 3, 3, 2},
    };
    // The record hears of every block sent, also of those whose reports still wait when the window closes.
    struct Record final : DialogueObserver {
        void OnDialogueEvent(const DialogueEvent& event) override {
            blocksSent += std::holds_alternative<dialogue::BlockSent>(event) ? 1 : 0;
        }
        int blocksSent = 0;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record record;  // outlives the bench, whose end shuts the core down
        ToolBench bench;
        bench.core.SetObserver(&record);
        bench.Ready(FileBytes(600));
        bench.core.btnUPGClick();
        ASSERT_TRUE(bench.logger.Next());
        bench.Answer({"R0000"});
        bench.Pass(c.pauses);
        ASSERT_TRUE(bench.pacer.WaitForSleepers(1));
        EXPECT_EQ(bench.logger.Arrived().size(), c.framesBefore);
        const FakeWindow before = bench.window;  // the blocks' reports wait
        const int wakes = bench.waker.wakes;

        bench.core.Shutdown();
        bench.core.Shutdown();
        EXPECT_EQ(bench.core.Dialogue().Upthread, nullptr);
        EXPECT_EQ(bench.core.Dialogue().Upthread1, nullptr);
        EXPECT_FALSE(bench.core.Link().UpdateSocket.IsOpen());
        EXPECT_FALSE(bench.core.Link().DiscoverySocket.IsOpen());
        EXPECT_TRUE(bench.logger.Arrived().empty());
        EXPECT_EQ(bench.waker.wakes, wakes);
        EXPECT_EQ(bench.Shown().positions, before.positions);
        EXPECT_EQ(bench.Shown().log, before.log);
        EXPECT_EQ(record.blocksSent, c.blocksSent);
    }
}

// A lost request or a lost acceptance leaves "LU": the same request goes out again, 1.5 s apart, up to
// three in all, until an answer comes.
TEST(WholeUpdate, TheRequestIsAskedAgainWhileNoAnswerComes) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    const struct {
        const char* name;
        int answeredAfter;  // the request that the logger answers; 0: none
        std::size_t requests;
        Protocol state;
    } cases[] = {
        {"the acceptance of the first request lost", 2, 2, Protocol::Update},
        {"no answer at all", 0, 3, Protocol::Request},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolBench bench;
        bench.Ready(FileBytes(300));
        bench.core.btnUPGClick();
        std::vector<std::string> requests{*bench.logger.Next()};
        const Pacer::TimePoint pressed = bench.pacer.Now();
        bench.RunTicks([&] {
            requests.push_back(bench.logger.Next().value_or("nothing"));
            if (static_cast<int>(requests.size()) == c.answeredAfter) {
                bench.Answer({"R0000"});
            }
        });
        EXPECT_EQ(requests, std::vector<std::string>(c.requests, "LUS1.020001"));
        EXPECT_EQ(bench.pacer.Now() - pressed, RequestRetries::RequestInterval * (c.requests - 1));
        EXPECT_EQ(bench.core.Dialogue().ProtocolState.Load(), c.state);
    }
}

// After "Update complete" the logger is asked for its version every 3 s for up to 60 s; each answer
// refreshes its row. It may answer with its old version, or not at all, until it has restarted. The
// record hears the verdict.
TEST(WholeUpdate, AfterAnUpdateTheRowShowsTheVersionTheLoggerAnswersWith) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    const LoggerRow logger{"SN0001", LoggerAddress, "S1.0"};
    const struct {
        const char* name;
        std::vector<std::string> answers;  // to each probe in turn, the last one again; "": none
        std::string version;               // the row's version in the end
        std::vector<std::string> hints;    // after "Update complete"
        std::string statusTip;
        int probes;
        bool verified;
        std::string reported;  // in the verdict
    } cases[] = {
        {"silent while it restarts, then the new version",
         {"S1.0", "", "S1.02"},
         "S1.02",
         {},
         "",
         3,
         true,
         "S1.02"},
        {"the old version until the end",
         {"S1.0"},
         "S1.0",
         {"SN0001 at 127.0.0.2 answers with version S1.0 after the update, not S1.02."},
         "",
         20,
         false,
         "S1.0"},
        {"no answer at all", {""}, "S1.0", {}, text::NoVersionAnswerTip(logger, "S1.02", 60s), 20, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Heard record;  // outlives the bench, whose end shuts the core down
        ToolBench bench;
        bench.core.SetObserver(&record);
        bench.CompleteAnUpdate(FileBytes(300));
        std::size_t probes = 0;
        bench.RunTicks([&] {
            const int heard = bench.ProbesHeard();
            if (heard == 0) {
                return;
            }
            const std::string& version = c.answers[std::min(probes, c.answers.size() - 1)];
            probes += static_cast<std::size_t>(heard);
            if (!version.empty()) {
                bench.AnswerProbe("SN0001#" + version);
            }
        });
        EXPECT_EQ(probes, static_cast<std::size_t>(c.probes));
        EXPECT_EQ(bench.window.rows.at(0).version, c.version);
        std::vector<std::string> hints = bench.window.Texts(Kind::Warning);
        hints.erase(hints.begin());  // "Update complete"
        EXPECT_EQ(hints, c.hints);
        EXPECT_EQ(bench.window.statusTip, c.statusTip);
        ASSERT_EQ(record.Count<dialogue::VersionChecked>(), 1);
        const auto& verdict = std::get<dialogue::VersionChecked>(record.events.back());
        EXPECT_EQ(verdict.verified, c.verified);
        EXPECT_EQ(verdict.reported, c.reported);
    }
}

// Two loggers answering from one address look like one row; an update's blocks would reach either. The
// row says so, and Update on it sends nothing.
TEST(WholeUpdate, AnAddressThatTwoLoggersAnswerFromIsNeverUpdated) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    ToolBench bench;
    bench.Ready(FileBytes(300));
    bench.AnswerProbe("SN0002#S1.0");
    EXPECT_EQ(bench.window.rows.at(0).sn, "! SN0001");
    EXPECT_EQ(bench.window.rowTips.at(0), "Two loggers answer at this address: SN0001, SN0002");
    const std::size_t sent = bench.CapturedDatagrams();

    EXPECT_EQ(bench.core.btnUPGClick(), UpdateCheck::AddressConflict);
    EXPECT_EQ(bench.window.Texts(Kind::Warning),
              std::vector<std::string>{"Two loggers answer at 127.0.0.2 (SN0001, SN0002): give one of them "
                                       "another address, then Search again."});
    EXPECT_EQ(bench.CapturedDatagrams(), sent);
    EXPECT_EQ(bench.core.Dialogue().ProtocolState.Load(), Protocol::Search);
}

// Search sends its sweep at once and twice more, 300 ms apart; a later Search begins anew, and an Update
// press or closing ends the rounds. A sweep that can send nothing says so and sends no more rounds.
TEST(WholeUpdate, SearchSweepsInRoundsUntilSomethingElseBegins) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    const struct {
        const char* name;
        std::function<void(ToolBench&)> after;  // what happens after the second round
        int later;                              // probes to the logger afterwards
        std::chrono::milliseconds lastRound;    // the last round's moment after the first Search
    } cases[] = {
        {"nothing", [](ToolBench&) {}, 1, 600ms},
        {"a second Search", [](ToolBench& b) { b.core.btnsearchClick(); }, 3, 1000ms},
        {"an Update press", [](ToolBench& b) { b.core.btnUPGClick(); }, 0, 300ms},
        {"closing", [](ToolBench& b) { b.core.Shutdown(); }, 0, 300ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolBench bench;
        bench.core.StartUp();
        const Pacer::TimePoint start = bench.pacer.Now();
        bench.core.btnsearchClick();
        bench.pacer.Advance(*bench.core.UntilTick());
        bench.core.Tick();
        ASSERT_EQ(bench.ProbesHeard(), 2);
        bench.pacer.Advance(100ms);
        c.after(bench);
        Pacer::TimePoint last = bench.pacer.Now() - 100ms;
        int later = 0;
        bench.RunTicks([&] {
            later += bench.ProbesHeard();
            last = bench.pacer.Now();
        });
        EXPECT_EQ(later, c.later);
        EXPECT_EQ(last - start, c.lastRound);
    }

    ToolBench bench;
    bench.core.StartUp();
    bench.window.localAddress = "lbl3";
    bench.core.btnsearchClick();
    EXPECT_EQ(bench.window.Texts(Kind::Warning),
              std::vector<std::string>{text::SweepFailureHint(bench.core.LastSweep())});
    EXPECT_FALSE(bench.core.UntilTick());
}

}  // namespace
}  // namespace lut::test
