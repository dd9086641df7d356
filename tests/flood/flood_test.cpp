// A flood of junk on both ports while a search runs: 200,000 datagrams of random bytes with frame starts
// and never a frame end, from a stranger on loopback. The tool must keep its receive buffers within their
// cap, keep the logger it has listed, and still search and update afterwards. The kernel may drop datagrams
// on the way; that changes nothing here. The peak memory growth and how long the event loop was kept from
// its next turn are measured and reported, not asserted: they depend on the machine, the allocator and the
// sanitizer (AddressSanitizer keeps freed memory resident). bench/flood_memory.py holds the growth to
// MemoryAllowance in the optimised build.
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CoreBench.h"
#include "FakeWindow.h"
#include "FastPacer.h"
#include "link/Readiness.h"
#include "sim/SimLogger.h"
#include "update/Messages.h"
#include "update/ToolCore.h"

namespace lut::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string ToolAddress = "127.0.0.1";
const std::string LoggerAddress = "127.0.0.2";
const std::string StrangerAddress = "127.0.0.3";
const LoggerRow TheLogger{"SN0001", LoggerAddress, "S1.00"};

constexpr int FloodDatagrams = 200'000;
constexpr auto FloodTimeLimit = 10s;
// What bench/flood_memory.py allows the peak to grow: a receive buffer at its cap, and a margin for the
// allocator's slack.
constexpr std::size_t MemoryAllowance = RxTextCap + 16 * 1024 * 1024;
constexpr auto HangGuard = 60s;

// A line of /proc/self/status in bytes ("VmHWM", the peak resident memory; "VmRSS", the present one).
std::size_t StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) {
            return std::stoul(line.substr(field.size() + 1)) * 1024;
        }
    }
    ADD_FAILURE() << field << " is missing from /proc/self/status";
    return 0;
}

// Resets the peak to the present resident memory, so that the peak read later belongs to what follows;
// false where the kernel does not allow it.
bool ResetMemoryPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

// The simulated logger at 127.0.0.2 on its own thread, answering the probe and the update dialogue.
class LoggerThread {
  public:
    LoggerThread() {
        EXPECT_FALSE(discovery_.Open({LoggerAddress, 0}));
        EXPECT_FALSE(update_.Open({LoggerAddress, 0}));
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoggerThread() {
        const std::uint64_t one = 1;
        EXPECT_EQ(::write(stop_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
        thread_.join();
        ::close(stop_);
    }
    LoggerThread(const LoggerThread&) = delete;
    LoggerThread& operator=(const LoggerThread&) = delete;

    std::uint16_t DiscoveryPort() const { return discovery_.LocalPort(); }
    std::uint16_t UpdatePort() const { return update_.LocalPort(); }
    int UpdateAnswers() const { return updateAnswers_.load(); }

  private:
    void Serve() {
        std::vector<char> buffer(65536);
        for (;;) {
            std::array<WatchedHandle, 3> watched{{{discovery_.Handle()}, {update_.Handle()}, {stop_}}};
            if (WaitUntilReadable(watched, std::nullopt) || watched[2].ready) {
                return;
            }
            if (watched[0].ready) {
                Take(discovery_, sim::Port::Discovery, buffer);
            }
            if (watched[1].ready) {
                Take(update_, sim::Port::Update, buffer);
            }
        }
    }

    void Take(Endpoint& endpoint, sim::Port port, std::vector<char>& buffer) {
        const ReceiveResult received = endpoint.Receive(buffer);
        if (received.count == 0) {
            return;
        }
        const sim::Reaction reaction = logger_.Receive(port, std::string_view(buffer.data(), received.count),
                                                       {received.senderAddress, received.senderPort});
        for (const std::string& datagram : reaction.datagrams) {
            endpoint.SendTo(datagram, received.senderAddress, received.senderPort);
            if (port == sim::Port::Update) {
                ++updateAnswers_;
            }
        }
    }

    sim::SimLogger logger_{{LoggerAddress, TheLogger.sn, TheLogger.version}, {}};
    Endpoint discovery_;
    Endpoint update_;
    int stop_ = ::eventfd(0, 0);
    std::atomic<int> updateAnswers_{0};
    std::thread thread_;
};

// Junk from a stranger at 127.0.0.3 to both of the tool's ports, as fast as it goes: random bytes with a
// frame start in each datagram and never a frame end, now and then a datagram of the largest size taken in.
class JunkSender {
  public:
    JunkSender(std::uint16_t updatePort, std::uint16_t discoveryPort) {
        EXPECT_FALSE(socket_.Open({StrangerAddress, 0}));
        thread_ = std::thread([this, updatePort, discoveryPort] { Send(updatePort, discoveryPort); });
    }
    ~JunkSender() { Join(); }
    JunkSender(const JunkSender&) = delete;
    JunkSender& operator=(const JunkSender&) = delete;

    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool Done() const { return done_.load(); }
    int Sent() const { return sent_.load(); }
    std::chrono::duration<double> Took() const { return took_; }

  private:
    void Send(std::uint16_t updatePort, std::uint16_t discoveryPort) {
        std::mt19937 random(20240607);
        std::string pool(64 * 1024, '\0');
        for (char& c : pool) {
            c = static_cast<char>(random() % 256);
            if (c == FrameEnd) {
                c = FrameStart;
            }
        }
        const Clock::time_point start = Clock::now();
        const Clock::time_point deadline = start + FloodTimeLimit;
        std::string datagram;
        for (int i = 0; i < FloodDatagrams && Clock::now() < deadline; ++i) {
            const std::size_t size = i % 64 == 0 ? RxBufferSize : 1 + random() % 1400;
            datagram.assign(pool, random() % (pool.size() - size), size);
            datagram[random() % size] = FrameStart;
            socket_.SendTo(datagram, ToolAddress, i % 2 == 0 ? updatePort : discoveryPort);
            ++sent_;
        }
        took_ = Clock::now() - start;
        done_.store(true);
    }

    Endpoint socket_;
    std::atomic<int> sent_{0};
    std::atomic<bool> done_{false};
    std::chrono::duration<double> took_{};
    std::thread thread_;
};

// The window's event loop as the command line runs it: waits until an endpoint is readable and hands the
// notification to the tool core. Notes the longest time the loop was kept from its next wait.
class EventLoop {
  public:
    explicit EventLoop(ToolCore& core) : core_(core) {}

    // Turns until done() holds; false when the hang guard ran out first.
    bool RunUntil(const std::function<bool()>& done) {
        const Clock::time_point giveUp = Clock::now() + HangGuard;
        while (!done()) {
            if (Clock::now() > giveUp) {
                return false;
            }
            Turn(20);
        }
        return true;
    }

    // True when neither endpoint has anything waiting.
    bool Drained() { return Turn(0) == 0; }

    Clock::duration LongestPause() const { return longestPause_; }
    long Notifications() const { return notifications_; }

  private:
    int Turn(int timeoutMs) {
        const Clock::time_point waitBegins = Clock::now();
        if (lastWaitEnded_) {
            longestPause_ = std::max(longestPause_, waitBegins - *lastWaitEnded_);
        }
        std::array<WatchedHandle, 2> watched{
            {{core_.Link().UpdateSocket.Handle()}, {core_.Link().DiscoverySocket.Handle()}}};
        EXPECT_FALSE(WaitUntilReadable(watched, std::chrono::milliseconds(timeoutMs)));
        lastWaitEnded_ = Clock::now();
        core_.HandleWorkerReports();
        int ready = 0;
        for (const WatchedHandle& endpoint : watched) {
            if (endpoint.ready) {
                core_.HandleSocketMessage(ReadEvent);
                ++notifications_;
                ++ready;
            }
        }
        return ready;
    }

    ToolCore& core_;
    std::optional<Clock::time_point> lastWaitEnded_;
    Clock::duration longestPause_{};
    long notifications_ = 0;
};

class Flood : public testing::Test {
  protected:
    Flood() { window.localAddress = ToolAddress; }

    ~Flood() override {
        std::error_code ignored;
        std::filesystem::remove(image, ignored);
    }

    bool ListsTheLoggerAlone() const { return window.rows == std::vector<LoggerRow>{TheLogger}; }

    // A Search whose answer the logger sends at once; the list then holds the logger's row alone.
    bool Search() {
        core.btnsearchClick();
        return loop.RunUntil([this] { return !window.rows.empty(); });
    }

    FakeWindow window;
    // Five times the real pace: each of the five result queries waits 600 ms for its answer, ample for the
    // logger's thread after the flood on a loaded machine under a sanitizer.
    cli::test::FastPacer pacer{5};
    CountingWaker waker;
    LoggerThread logger;
    ToolOptions options{ToolAddress, logger.UpdatePort(), logger.DiscoveryPort()};
    ToolCore core{window, waker, pacer, options};
    EventLoop loop{core};
    const std::string image =
        (std::filesystem::temp_directory_path() / ("S2.00-flood-" + std::to_string(::getpid()) + ".bin"))
            .string();
};

TEST_F(Flood, JunkOnBothPortsKeepsTheBuffersCappedTheLoggerListedAndAnUpdateStillCompletes) {
    core.StartUp();
    ASSERT_EQ(window.status, text::Ready);
    ASSERT_TRUE(Search());
    ASSERT_TRUE(ListsTheLoggerAlone());

    // The flood, while the search still runs and takes answers in.
    const bool peakReset = ResetMemoryPeak();
    const std::size_t before = peakReset ? StatusBytes("VmRSS") : StatusBytes("VmHWM");
    JunkSender junk(options.updatePort, options.discoveryPort);
    ASSERT_TRUE(loop.RunUntil([&junk] { return junk.Done(); }));
    junk.Join();
    ASSERT_TRUE(loop.RunUntil([this] { return loop.Drained(); }));
    const std::size_t peak = StatusBytes("VmHWM");
    const std::size_t growth = peak > before ? peak - before : 0;

    std::cout << "flood: " << junk.Sent() << " datagrams sent in " << junk.Took().count() << " s, "
              << loop.Notifications() << " notifications handled; peak memory " << growth / 1024
              << " KiB above " << (peakReset ? "the memory before the flood" : "the peak before the flood")
              << " (allowed " << MemoryAllowance / 1024 << " KiB); longest pause of the loop "
              << std::chrono::duration<double, std::milli>(loop.LongestPause()).count() << " ms\n";
    RecordProperty("datagrams_sent", junk.Sent());
    RecordProperty("peak_memory_growth_kib", static_cast<int>(growth / 1024));
    RecordProperty("memory_allowance_kib", static_cast<int>(MemoryAllowance / 1024));
    RecordProperty(
        "longest_loop_pause_us",
        static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(loop.LongestPause()).count()));

    EXPECT_LE(core.Link().UpdateRxText.Text().size(), RxTextCap);
    EXPECT_LE(core.Link().DiscoveryRxText.Text().size(), RxTextCap);
    EXPECT_TRUE(ListsTheLoggerAlone()) << "junk never ends a frame, so it can change no row";
    EXPECT_EQ(core.Dialogue().ProtocolState.Load(), Protocol::Search);
    EXPECT_TRUE(window.Texts(FakeWindow::Kind::Error).empty());

    // Junk that waits for its end joins the next answer on its channel: a discovery answer is credited to
    // its sender with the junk in front, an update answer fails its check code and is lost. Either way the
    // channel is clean again after that one answer, so the technician searches or presses Update again.
    ASSERT_TRUE(Search());
    std::cout << "flood: the first answer after it "
              << (ListsTheLoggerAlone() ? "was clean" : "joined waiting junk") << " on the discovery port\n";
    if (!ListsTheLoggerAlone()) {
        ASSERT_EQ(window.rows.size(), 1U);
        const LoggerRow joined = window.rows[0];
        EXPECT_EQ(joined.ip, LoggerAddress);
        EXPECT_TRUE((joined.sn + "#" + joined.version).ends_with(TheLogger.sn + "#" + TheLogger.version));
        ASSERT_TRUE(Search());
    }
    EXPECT_TRUE(ListsTheLoggerAlone());

    std::ofstream(image, std::ios::binary) << std::string(3000, '\x3C');  // 10 blocks
    FakeFileDialog dialog;
    dialog.choices.push_back(image);
    core.btn1Click(dialog);
    window.selected = 0;
    core.btnUPGClick();
    ASSERT_TRUE(loop.RunUntil([this] {
        return logger.UpdateAnswers() > 0 && (core.Dialogue().ProtocolState.Load() != Protocol::Request ||
                                              core.Link().UpdateRxText.Text().empty());
    }));
    const bool lost = core.Dialogue().ProtocolState.Load() == Protocol::Request;
    std::cout << "flood: the first answer after it " << (lost ? "was lost with waiting junk" : "was clean")
              << " on the update port\n";
    if (lost) {
        core.btnUPGClick();
    }
    ASSERT_TRUE(loop.RunUntil([this] { return !window.Texts(FakeWindow::Kind::Warning).empty(); }));
    EXPECT_EQ(window.Texts(FakeWindow::Kind::Warning),
              std::vector<std::string>{std::string(text::UpdateComplete)});
    EXPECT_EQ(core.Dialogue().ProtocolState.Load(), Protocol::Idle);
}

}  // namespace
}  // namespace lut::test
