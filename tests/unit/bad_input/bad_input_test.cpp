// Bad input of every kind a technician's tool meets, in one place: update files that cannot be loaded,
// answers that cannot be read, and ports already taken. The tool core runs as the window runs it, with a
// fake logger on loopback. Every case must end in the system's message (or a clear one of its own), and
// nothing may stay broken: after each bad file a good one still loads, after each bad answer a good one
// still completes the update.
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CoreBench.h"
#include "FakeWindow.h"
#include "TempDir.h"
#include "TestPlatform.h"
#include "VirtualPacer.h"
#include "update/Messages.h"
#include "update/ToolCore.h"
#include "update/image/UpdateImage.h"

namespace lut::test {

// How a failing expectation shows a status text or a box.
void PrintTo(const FakeWindow::Shown& shown, std::ostream* out) {
    constexpr const char* Kinds[] = {"status", "warning", "plain message", "error"};
    *out << Kinds[static_cast<int>(shown.kind)] << " '" << shown.text << "'";
}

namespace {

namespace fs = std::filesystem;
using Kind = FakeWindow::Kind;

const std::string ToolAddress = "127.0.0.1";
const std::string LoggerAddress = "127.0.0.2";
const std::string StrangerAddress = "127.0.0.3";

std::string Text(std::string_view text) {
    return std::string(text);
}

// The open-file dialog of a technician who chooses a file that is gone before Browse reads it.
class VanishingChoiceDialog final : public FileDialog {
  public:
    explicit VanishingChoiceDialog(std::string path) : path_(std::move(path)) {}
    void SetFileName(const std::filesystem::path&) override {}
    bool Execute() override {
        fs::remove(path_);
        return true;
    }
    std::filesystem::path FileName() const override { return path_; }

  private:
    std::string path_;
};

// The tool core bound to 127.0.0.1, a fake logger at 127.0.0.2 listed and selected, and a stranger at
// 127.0.0.3 that sends whatever bytes a case needs.
class Bench {
  public:
    Bench() { EXPECT_FALSE(stranger.Open({StrangerAddress, 0})); }

    // Start-up, and the logger listed and selected.
    void StartUp() {
        core.StartUp();
        ListLogger(core, LoggerAddress, "SN0001#S1.00");
        window.selected = 0;
    }

    void Browse(const std::string& path) {
        FakeFileDialog dialog;
        dialog.choices.push_back(path);
        core.btn1Click(dialog);
    }

    // One datagram reaches the tool's update endpoint, and the tool handles its notification.
    void Deliver(const std::string& datagram) {
        ASSERT_FALSE(stranger.SendTo(datagram, ToolAddress, options.updatePort));
        ASSERT_TRUE(WaitReadable(core.Link().UpdateSocket));
        core.HandleSocketMessage(ReadEvent);
    }

    void Answer(const std::string& payload) { Deliver(MakeFrame(payload)); }

    Protocol Step() { return core.Dialogue().ProtocolState.Load(); }

    // Starts up with a one-block file and brings the dialogue to the step: the request sent ("LU"), or the
    // block sent and the first query out ("EN"); what was shown so far is forgotten.
    void ReachStep(Protocol step, const TempDir& dir) {
        StartUp();
        Browse(dir.Write("S1.02.bin", std::string(300, '\x5A')));
        Request();
        if (step == Protocol::End) {
            AcceptAndRunToTheQuery();
        }
        window.log.clear();
    }

    // Update pressed; the request reaches the logger.
    void Request() {
        core.btnUPGClick();
        const std::optional<std::string> request = logger.Next();
        ASSERT_TRUE(request);
        EXPECT_TRUE(request->starts_with("LU")) << *request;
        ASSERT_EQ(Step(), Protocol::Request);
    }

    // The logger accepts; the image's only block and the final pause go by, and worker A waits in its
    // first query pause with the state "EN".
    void AcceptAndRunToTheQuery() {
        Answer("R0000");
        ASSERT_EQ(Step(), Protocol::Update);
        for (int pause = 0; pause < 2; ++pause) {
            ASSERT_TRUE(pacer.WaitForSleepers(1));
            pacer.AdvanceToNextWake();
        }
        ASSERT_TRUE(pacer.WaitForSleepers(1));
        ASSERT_EQ(Step(), Protocol::End);
        const std::vector<std::string> heard = logger.Arrived();
        ASSERT_FALSE(heard.empty());
        EXPECT_EQ(heard.back(), "EN");
    }

    // A run left in its query pause after the dialogue has ended notices at its next check and stops.
    void LetTheLastRunEnd() {
        const Worker* runs[] = {&core.Dialogue().Upthread->Thread(), &core.Dialogue().Upthread1->Thread()};
        for (const Worker* worker : runs) {
            if (worker != nullptr && !worker->Idle()) {
                ASSERT_TRUE(pacer.WaitForSleepers(1));
                pacer.AdvanceToNextWake();
                ASSERT_TRUE(worker->WaitIdle(VirtualPacer::HangGuard));
            }
        }
    }

    // From wherever the dialogue stands, a logger that accepts everything completes the update.
    void CompleteUpdate() {
        if (Step() == Protocol::Idle || Step() == Protocol::Search) {
            LetTheLastRunEnd();
            Request();
        }
        if (Step() == Protocol::Request) {
            AcceptAndRunToTheQuery();
        }
        ASSERT_EQ(Step(), Protocol::End);
        window.log.clear();
        Answer("R");
        EXPECT_EQ(window.log, (std::vector<FakeWindow::Shown>{{Kind::Warning, Text(text::UpdateComplete)}}));
        EXPECT_EQ(Step(), Protocol::Idle);
        LetTheLastRunEnd();
    }

    FakeWindow window;
    VirtualPacer pacer;
    CountingWaker waker;
    LoopbackLogger logger{LoggerAddress, 0};
    Endpoint stranger;
    ToolOptions options{ToolAddress, logger.Port(), FreePort(ToolAddress)};
    ToolCore core{window, waker, pacer, options};
};

// An answer that cannot be read, or that fails, ends in a message or in nothing at all, and never in a
// dialogue that only a restart could bring back: a logger that then answers well completes the update.
TEST(BadAnswer, EndsInAMessageOrNothingAndAGoodAnswerStillCompletes) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    const std::string esc(1, FrameStart);
    const std::string enq(1, FrameEnd);
    const std::string acceptance = MakeFrame("R0000");
    struct Case {
        const char* name;
        Protocol step;  // "LU" (the request is out) or "EN" (worker A queries)
        std::string datagram;
        Protocol after;
        std::optional<FakeWindow::Shown> shown;  // the message, by the start of its text
        bool takesTheNextAnswer;                 // an unfinished frame waits, and the next answer joins it
    };
    const std::vector<Case> cases = {
        {"start block not hexadecimal", Protocol::Request, MakeFrame("R00G5"), Protocol::Request,
         FakeWindow::Shown{Kind::Error, Text(text::UnreadableAcceptance)}, false},
        {"start block cut short", Protocol::Request, MakeFrame("R12"), Protocol::Request,
         FakeWindow::Shown{Kind::Error, Text(text::UnreadableAcceptance)}, false},
        {"resend count not hexadecimal", Protocol::End, MakeFrame("R00X10001"), Protocol::End,
         FakeWindow::Shown{Kind::Error, Text(text::UnreadableResendList)}, false},
        {"resend index not hexadecimal", Protocol::End, MakeFrame("R0001000Z"), Protocol::End,
         FakeWindow::Shown{Kind::Error, Text(text::UnreadableResendList)}, false},
        {"resend list shorter than its count", Protocol::End, MakeFrame("R00030001"), Protocol::End,
         FakeWindow::Shown{Kind::Error, Text(text::UnreadableResendList)}, false},
        {"resend count 0xFFFF with two indices", Protocol::End, MakeFrame("RFFFF00010002"), Protocol::End,
         FakeWindow::Shown{Kind::Error, Text(text::UnreadableResendList)}, false},
        {"lower-case r to the request is a refusal", Protocol::Request, MakeFrame("r0000"), Protocol::Idle,
         std::nullopt, false},
        {"lower-case r to the query is a failure", Protocol::End, MakeFrame("r"), Protocol::Idle,
         FakeWindow::Shown{Kind::Warning, Text(text::UpdateUnknownError)}, false},
        {"empty payload to the request is a refusal", Protocol::Request, MakeFrame(""), Protocol::Idle,
         std::nullopt, false},
        {"empty payload to the query is a failure", Protocol::End, MakeFrame(""), Protocol::Idle,
         FakeWindow::Shown{Kind::Warning, Text(text::UpdateUnknownError)}, false},
        {"frame of five bytes", Protocol::Request, esc + "R00" + enq, Protocol::Request, std::nullopt, false},
        {"frame of two bytes", Protocol::End, esc + enq, Protocol::End, std::nullopt, false},
        {"check code in lower case", Protocol::End, esc + "ENb314" + enq, Protocol::End, std::nullopt, false},
        {"wrong check code", Protocol::Request, esc + "R0000FFFF" + enq, Protocol::Request, std::nullopt,
         false},
        {"datagram longer than the receive buffer", Protocol::Request,
         acceptance + std::string(RxBufferSize + 1 - acceptance.size(), 'x'), Protocol::Request, std::nullopt,
         false},
        {"zero byte inside the frame", Protocol::Request,
         acceptance.substr(0, 3) + std::string(1, '\0') + acceptance.substr(3), Protocol::Request,
         std::nullopt, true},
        {"junk with a start byte and no end", Protocol::End, "junk" + esc + "more junk", Protocol::End,
         std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Bench bench;
        bench.ReachStep(c.step, dir);

        bench.Deliver(c.datagram);
        EXPECT_EQ(bench.Step(), c.after);
        if (c.shown) {
            ASSERT_EQ(bench.window.log.size(), 1U);
            EXPECT_EQ(bench.window.log[0].kind, c.shown->kind);
            EXPECT_TRUE(bench.window.log[0].text.starts_with(c.shown->text)) << bench.window.log[0].text;
        } else {
            EXPECT_TRUE(bench.window.log.empty());
        }

        if (c.takesTheNextAnswer) {
            // The logger's next answer is lost with the waiting text; the dialogue stays where it was, so
            // the technician can ask again.
            bench.Deliver(c.step == Protocol::Request ? acceptance : MakeFrame("R"));
            EXPECT_EQ(bench.Step(), c.step);
            EXPECT_TRUE(bench.core.Link().UpdateRxText.Text().empty());
        }
        bench.CompleteUpdate();
    }
}

// A box is modal, and its own event loop lets further answers in. Anyone on the network who keeps sending
// unreadable answers must not pile one box on another until the technician gives up or the stack runs
// out: while the box for one is up, the next are dropped; once it is closed, the next is shown again.
TEST(BadAnswer, AStreamOfUnreadableAnswersShowsOneBoxAtATime) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    struct Case {
        const char* name;
        Protocol step;
        std::string payload;
        std::string_view error;
    };
    const std::vector<Case> cases = {
        {"acceptances", Protocol::Request, "R00G5", text::UnreadableAcceptance},
        {"resend answers", Protocol::End, "R0001000Z", text::UnreadableResendList},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Bench bench;
        bench.ReachStep(c.step, dir);

        int depth = 0;
        int deepest = 0;
        int stream = 100;
        bench.window.whileBoxShown = [&](const FakeWindow::Shown&) {
            deepest = std::max(deepest, ++depth);
            while (stream > 0) {
                --stream;
                bench.Answer(c.payload);
            }
            --depth;
        };
        bench.Answer(c.payload);
        EXPECT_EQ(deepest, 1);
        ASSERT_EQ(bench.window.Texts(Kind::Error).size(), 1U);
        EXPECT_TRUE(bench.window.Texts(Kind::Error)[0].starts_with(c.error));
        EXPECT_EQ(bench.Step(), c.step);

        bench.window.whileBoxShown = nullptr;
        bench.Answer(c.payload);
        EXPECT_EQ(bench.window.Texts(Kind::Error).size(), 2U);
        bench.CompleteUpdate();
    }
}

// Browse with a file that cannot be loaded shows why and leaves no image behind: Update would otherwise
// send the previous file's blocks under the refused file's version. A good file chosen next loads and goes
// out. A badly named file changes nothing.
TEST(BadFile, IsReportedLeavesNothingToSendAndAGoodFileStillLoads) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    struct Case {
        const char* name;
        std::function<std::string(const TempDir&)> make;  // the chosen path
        Kind kind;
        std::string message;  // the start of the text; "<path>" stands for the chosen path
        bool shownAsChosen;   // the path and the version name the chosen file
    };
    const std::string cannotOpen = "Cannot open file \"<path>\". ";
    const std::vector<Case> cases = {
        {"in a folder that does not exist", [](const TempDir& dir) { return dir.PathOf("gone") + "/S1.bin"; },
         Kind::Error, cannotOpen + "No such file or directory", true},
        {"a folder",
         [](const TempDir& dir) {
             fs::create_directory(dir.PathOf("S1.dir"));
             return dir.PathOf("S1.dir");
         },
         Kind::Error, cannotOpen + "Is a directory", true},
#ifndef _WIN32
        // Windows has neither named pipes in its file system nor endless devices behind a file name.
        {"a named pipe, which no one writes",
         [](const TempDir& dir) {
             EXPECT_EQ(mkfifo(dir.PathOf("S1.pipe").c_str(), 0600), 0);
             return dir.PathOf("S1.pipe");
         },
         Kind::Error, cannotOpen + "Not a regular file", true},
        {"a device without end",
         [](const TempDir& dir) {
             fs::create_symlink("/dev/zero", dir.PathOf("Szero.bin"));
             return dir.PathOf("Szero.bin");
         },
         Kind::Error, cannotOpen + "Not a regular file", true},
#endif
        {"too large to hold",
         [](const TempDir& dir) {
             const std::string path = dir.Write("Shuge.bin", "");
             fs::resize_file(path, MaxImageFileBytes + 1);  // sparse: costs no disk
             return path;
         },
         Kind::Error, "Cannot load file \"<path>\". It holds", true},
        {"a name in lower case", [](const TempDir& dir) { return dir.Write("s1.bin", "\x01"); }, Kind::Plain,
         Text(text::VersionMustBeginWithS), false},
        {"a name without S", [](const TempDir& dir) { return dir.Write("fw-1.0.bin", "\x01"); }, Kind::Plain,
         Text(text::VersionMustBeginWithS), false},
        {"a folder path with no file name", [](const TempDir& dir) { return dir.PathOf(""); }, Kind::Plain,
         Text(text::VersionMustBeginWithS), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Bench bench;
        bench.StartUp();
        const std::string first = dir.Write("S1.00.bin", "\x01\x02");
        bench.Browse(first);
        ASSERT_EQ(*bench.core.LoadedImage(), "0102");
        bench.window.log.clear();

        const std::string path = c.make(dir);
        bench.Browse(path);
        std::string message = c.message;
        if (const std::size_t at = message.find("<path>"); at != std::string::npos) {
            message.replace(at, 6, path);
        }
        ASSERT_EQ(bench.window.log.size(), 1U);
        EXPECT_EQ(bench.window.log[0].kind, c.kind);
        EXPECT_TRUE(bench.window.log[0].text.starts_with(message)) << bench.window.log[0].text;
        EXPECT_EQ(*bench.core.LoadedImage(), c.shownAsChosen ? "" : "0102");
        EXPECT_EQ(bench.window.filePath, c.shownAsChosen ? path : first);
        EXPECT_EQ(bench.window.version, c.shownAsChosen ? VersionFromFileName(path) : "S1.00");
        if (c.shownAsChosen) {
            bench.window.log.clear();
            EXPECT_EQ(bench.core.btnUPGClick(), UpdateCheck::FileNotRead);
            EXPECT_EQ(bench.window.Texts(Kind::Warning),
                      std::vector<std::string>{Text(text::ReadUpdateFileFail)});
            EXPECT_TRUE(bench.logger.Arrived().empty());
        }

        bench.window.log.clear();
        bench.Browse(dir.Write("S2.00.bin", std::string(301, '\x7F')));
        EXPECT_TRUE(bench.window.log.empty());
        EXPECT_EQ(bench.core.LoadedImage()->size(), 602U);
        bench.core.btnUPGClick();
        EXPECT_EQ(bench.logger.Next(), "LUS2.000002");
    }
}

TEST(BadFile, VanishedAfterTheChoiceIsReportedAndTheNextChoiceLoads) {
    TempDir dir;
    Bench bench;
    bench.Browse(dir.Write("S1.00.bin", "\x01"));
    const std::string path = dir.Write("S2.00.bin", "\x02");
    VanishingChoiceDialog vanishing(path);
    bench.core.btn1Click(vanishing);

    EXPECT_EQ(bench.window.Texts(Kind::Error),
              std::vector<std::string>{"Cannot open file \"" + path + "\". No such file or directory"});
    EXPECT_EQ(bench.window.filePath, path);
    EXPECT_EQ(*bench.core.LoadedImage(), "");
    bench.Browse(dir.Write("S2.00.bin", "\x02"));
    EXPECT_EQ(*bench.core.LoadedImage(), "02");
}

// A file of 0 bytes loads (there is nothing wrong with reading it), and Update then refuses it.
TEST(BadFile, EmptyFileLoadsAndUpdateRefusesItUntilAGoodFileIsChosen) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    TempDir dir;
    Bench bench;
    bench.StartUp();
    bench.window.log.clear();
    bench.Browse(dir.Write("S0.bin", ""));
    EXPECT_TRUE(bench.window.log.empty());
    bench.core.btnUPGClick();
    EXPECT_EQ(bench.window.log,
              (std::vector<FakeWindow::Shown>{{Kind::Warning, Text(text::ReadUpdateFileFail)}}));
    EXPECT_EQ(bench.Step(), Protocol::Search);  // as the search that listed the logger left it

    bench.Browse(dir.Write("S1.02.bin", std::string(300, '\x11')));
    bench.CompleteUpdate();
}

// A port that another program holds: "Create Socket Fail!!", and the endpoint that did open still works.
TEST(PortInUse, TheOtherEndpointStillWorks) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    struct Case {
        const char* name;
        bool updateTaken;
        bool discoveryTaken;
        std::vector<std::string> statuses;
    };
    const std::string fail = Text(text::CreateSocketFail);
    const std::vector<Case> cases = {
        {"update port taken", true, false, {fail}},
        {"discovery port taken", false, true, {fail}},
        {"both taken", true, true, {fail, fail}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Bench bench;
        Endpoint update;
        Endpoint discovery;
        if (c.updateTaken) {
            ASSERT_FALSE(update.Open({ToolAddress, bench.options.updatePort}));
        }
        if (c.discoveryTaken) {
            ASSERT_FALSE(discovery.Open({ToolAddress, bench.options.discoveryPort}));
        }
        bench.core.StartUp();
        EXPECT_EQ(bench.window.Texts(Kind::Status), c.statuses);

        if (!c.discoveryTaken) {
            // A logger at 127.0.0.2 answers the probe it gets from the sweep.
            Endpoint listening;
            ASSERT_FALSE(listening.Open({LoggerAddress, bench.options.discoveryPort}));
            bench.core.btnsearchClick();
            ASSERT_TRUE(WaitReadable(listening));
            std::array<char, 64> probe{};
            ASSERT_EQ(listening.Receive(probe).count, DiscoveryProbe.size());
            const std::string answer = FrameStart + std::string("SN0001#S1.00") + FrameEnd;
            ASSERT_FALSE(listening.SendTo(answer, ToolAddress, bench.options.discoveryPort));
            // The sweep's probe to our own address arrives too, and may come first.
            while (bench.window.rows.empty()) {
                ASSERT_TRUE(WaitReadable(bench.core.Link().DiscoverySocket));
                bench.core.HandleSocketMessage(ReadEvent);
            }
            EXPECT_EQ(bench.window.rows, (std::vector<LoggerRow>{{"SN0001", LoggerAddress, "S1.00"}}));
            bench.window.selected = 0;
        }
        if (!c.updateTaken && c.discoveryTaken) {
            // Without the discovery endpoint no logger can be listed, so Update has nobody to update.
            EXPECT_EQ(bench.core.btnUPGClick(), UpdateCheck::NoLoggerSelected);
        } else if (!c.updateTaken) {
            bench.Browse(dir.Write("S1.02.bin", std::string(300, '\x22')));
            bench.CompleteUpdate();
        }
    }
}

}  // namespace
}  // namespace lut::test
