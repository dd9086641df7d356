// The block-transfer workers as the logger sees them: which frames arrive, when on the virtual clock, and
// what the progress bar and status line show meanwhile.
#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "WorkerBench.h"
#include "update/Messages.h"

namespace lut::test {
namespace {

const std::string Query = "EN";
const std::string QueryStatus(text::QueryUpdateResult);
const std::string FailStatus(text::UpdateFail);

// A block the logger should receive: "UD" + index text + the image's characters [from, to).
struct Block {
    std::string header;
    std::size_t from;
    std::size_t to;
};

// Walks a run that sends `blocks.size()` blocks, answers its first query (as the controller does when the
// logger answers "R"), and checks what arrived and what the progress bar showed.
template <typename Thread>
void ExpectRunToFirstQuery(WorkerBench& bench, const Thread& worker, const std::string& image,
                           const std::vector<Block>& blocks, int maximum, const std::vector<int>& positions) {
    ASSERT_TRUE(bench.Pass(static_cast<int>(blocks.size()) + 1));
    ASSERT_TRUE(bench.Reach());
    bench.state.Store(Protocol::Idle);
    bench.pacer.AdvanceToNextWake();
    ASSERT_TRUE(bench.AwaitEnd(worker.Thread()));

    std::vector<Sent> expected;
    long long at = 0;
    for (const Block& block : blocks) {
        expected.push_back({at, block.header + image.substr(block.from, block.to - block.from)});
        at += BlockDelay.count();
    }
    expected.push_back({at + FinishDelay.count(), Query});
    EXPECT_EQ(bench.received, expected);
    const RecordingDisplay::Seen seen = bench.display.Now();
    EXPECT_EQ(seen.maximum, maximum);
    EXPECT_EQ(seen.positions, positions);
    EXPECT_EQ(seen.statuses, std::vector<std::string>{QueryStatus});
}

TEST(WorkerA, SendsFromTheStartBlockToTheEndThenQueries) {
    struct Case {
        const char* name;
        std::size_t imageChars;
        std::int32_t start;
        std::int32_t count;
        std::vector<Block> blocks;
        std::vector<int> positions;
    };
    const std::vector<Case> cases = {
        {"the whole image, last block short",
         1500,
         0,
         3,
         {{"UD0000", 0, 600}, {"UD0001", 600, 1200}, {"UD0002", 1200, 1500}},
         {0, 1, 2, 3, 0}},
        {"start block equal to the count sends nothing", 1500, 3, 3, {}, {3, 0}},
        {"start block 2 of 3 sends the last block only", 1500, 2, 3, {{"UD0002", 1200, 1500}}, {2, 3, 0}},
        {"indices past 65,535 take five digits; blocks past the end carry no data",
         1200,
         0xFFFF,
         0x10001,
         {{"UDFFFF", 0, 0}, {"UD10000", 0, 0}},
         {0xFFFF, 0x10000, 0x10001, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerBench bench;
        const std::string image = HexPattern(c.imageChars);
        const Tupthread& worker = bench.StartA({c.start, c.count, "127.0.0.1", ShareImage(image)});
        ExpectRunToFirstQuery(bench, worker, image, c.blocks, c.count, c.positions);
    }
}

TEST(WorkerB, SendsTheListedBlocksInListOrderThenQueries) {
    struct Case {
        const char* name;
        std::size_t imageChars;
        std::vector<std::int32_t> listed;
        std::vector<Block> blocks;
        std::vector<int> positions;
    };
    const std::vector<Case> cases = {
        {"blocks 10 and 16",
         10200,
         {10, 16},
         {{"UD000A", 6000, 6600}, {"UD0010", 9600, 10200}},
         {0, 1, 2, 0}},
        {"an empty list sends nothing", 1500, {}, {}, {0, 0}},
        {"list order, not index order",
         1500,
         {2, 0},
         {{"UD0002", 1200, 1500}, {"UD0000", 0, 600}},
         {0, 1, 2, 0}},
        {"a block past the end carries no data", 600, {5}, {{"UD0005", 0, 0}}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerBench bench;
        const std::string image = HexPattern(c.imageChars);
        const Tupthread1& worker = bench.StartB({c.listed, "127.0.0.1", ShareImage(image)});
        ExpectRunToFirstQuery(bench, worker, image, c.blocks, static_cast<int>(c.listed.size()), c.positions);
    }
}

TEST(WorkerQueries, QueryEveryPauseWhileTheStateStaysEnThenReportTheOutcome) {
    struct Case {
        const char* name;
        int answeredAfter;  // the query after which the state changes; 0: never
        Protocol changedTo;
        bool fail;
        Protocol left;
    };
    const std::vector<Case> cases = {
        {"five unanswered queries, then Update Fail, state left EN", 0, Protocol::End, true, Protocol::End},
        {"R after the second query: no third query, no failure", 2, Protocol::Idle, false, Protocol::Idle},
        {"Search during the queries stops them without failure", 2, Protocol::Search, false,
         Protocol::Search},
        {"an answer after the fourth query is no failure", 4, Protocol::Idle, false, Protocol::Idle},
        {"a resend after the fifth query is no failure", 5, Protocol::Update, false, Protocol::Update},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerBench bench;
        const Tupthread1& worker = bench.StartB({{}, "127.0.0.1", ShareImage("")});
        ASSERT_TRUE(bench.Pass(1));
        const int queries = c.answeredAfter == 0 ? 5 : c.answeredAfter;
        for (int query = 1; query <= queries; ++query) {
            ASSERT_TRUE(bench.Reach());
            EXPECT_EQ(bench.display.Now().statuses.size(), static_cast<std::size_t>(query));
            if (query == c.answeredAfter) {
                bench.state.Store(c.changedTo);
            }
            bench.pacer.AdvanceToNextWake();
        }
        ASSERT_TRUE(bench.AwaitEnd(worker.Thread()));

        std::vector<Sent> expected;
        for (int query = 0; query < queries; ++query) {
            expected.push_back({FinishDelay.count() + query * QueryDelay.count(), Query});
        }
        EXPECT_EQ(bench.received, expected);
        const RecordingDisplay::Seen seen = bench.display.Now();
        std::vector<std::string> statuses(static_cast<std::size_t>(queries), QueryStatus);
        if (c.fail) {
            statuses.push_back(FailStatus);
        }
        EXPECT_EQ(seen.statuses, statuses);
        EXPECT_EQ(seen.position, 0);
        EXPECT_EQ(bench.state.Load(), c.left);
    }
}

TEST(WorkerA, SearchDuringTheBlocksLetsThemFinishThenSetsEnOverSs) {
    WorkerBench bench;
    const std::string image = HexPattern(1500);
    const Tupthread& worker = bench.StartA({0, 3, "127.0.0.1", ShareImage(image)});
    ASSERT_TRUE(bench.Reach());
    bench.state.Store(Protocol::Search);
    bench.pacer.AdvanceToNextWake();
    ASSERT_TRUE(bench.Pass(3));
    ASSERT_TRUE(bench.Reach());
    EXPECT_EQ(bench.state.Load(), Protocol::End);
    EXPECT_EQ(bench.Payloads(),
              (std::vector<std::string>{"UD0000" + image.substr(0, 600), "UD0001" + image.substr(600, 600),
                                        "UD0002" + image.substr(1200), Query}));
    bench.state.Store(Protocol::Idle);
    bench.pacer.AdvanceToNextWake();
    EXPECT_TRUE(bench.AwaitEnd(worker.Thread()));
}

TEST(WorkerA, RunKeepsTheFieldsAndImageItStartedWith) {
    WorkerBench bench;
    const std::string image = HexPattern(1500);
    Tupthread& worker = bench.StartA({0, 3, "127.0.0.1", ShareImage(image)});
    ASSERT_TRUE(bench.Reach());
    // A Search, a new Update and its acceptance could set new fields while this run is under way.
    worker.SetFields({1, 9, "127.0.0.3", ShareImage(std::string(6000, 'F'))});
    ASSERT_TRUE(bench.Pass(4));
    ASSERT_TRUE(bench.Reach());
    EXPECT_EQ(bench.Payloads(),
              (std::vector<std::string>{"UD0000" + image.substr(0, 600), "UD0001" + image.substr(600, 600),
                                        "UD0002" + image.substr(1200), Query}));
    EXPECT_EQ(bench.display.Now().maximum, 3);
}

TEST(Worker, StopsServingAfterAMessageOtherThanTheStart) {
    WorkerBench bench;
    bench.a = std::make_unique<Tupthread>(bench.context);
    bench.a->Thread().Post(WorkerStartMessage + 1);
    ASSERT_TRUE(bench.a->Thread().WaitIdle(VirtualPacer::HangGuard));
    EXPECT_TRUE(bench.a->Thread().Terminated());
    bench.a->Thread().Post(WorkerStartMessage);
    EXPECT_TRUE(bench.a->Thread().Idle());
    EXPECT_TRUE(bench.logger.Arrived().empty());
}

TEST(Worker, InterruptedPauseEndsTheRunAtOnce) {
    WorkerBench bench;
    const Tupthread& worker = bench.StartA({0, 3, "127.0.0.1", ShareImage(HexPattern(1500))});
    ASSERT_TRUE(bench.Reach());
    bench.stop.Request();
    ASSERT_TRUE(bench.AwaitEnd(worker.Thread()));
    EXPECT_EQ(bench.received.size(), 1U);
    EXPECT_EQ(bench.display.Now().positions, (std::vector<int>{0, 1}));
    EXPECT_EQ(bench.state.Load(), Protocol::Idle);
}

// Closing the window stops a worker in its real pause from the GUI thread, often just as the worker goes
// into it or wakes: the pause ends however the two threads meet. A lost wake-up shows as a round that hangs.
TEST(Worker, AStopEndsARealPauseHoweverTheThreadsMeet) {
    struct Round {
        StopSignal stop;
        std::atomic<bool> pausing = false;
    };
    for (int round = 0; round < 500; ++round) {
        auto shared = std::make_shared<Round>();
        std::promise<bool> slept;
        std::future<bool> outcome = slept.get_future();
        std::thread sleeper([shared, slept = std::move(slept)]() mutable {
            RealPacer pacer;
            shared->pausing = true;
            slept.set_value(pacer.Sleep(std::chrono::seconds(60), shared->stop));
        });
        while (!shared->pausing) {
            std::this_thread::yield();
        }
        shared->stop.Request();
        if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            sleeper.detach();
            FAIL() << "round " << round << ": the stopped pause did not end";
        }
        sleeper.join();
        EXPECT_FALSE(outcome.get());
    }
}

// A run that fails ends with "Update Fail" and says why, instead of leaving "Updating" for ever; the worker
// still serves the next start.
TEST(Worker, ARunThatFailsIsReportedAndTheWorkerServesTheNextStart) {
    WorkerBench bench;
    bench.display.failAtBlock = 1;
    const Tupthread& worker = bench.StartA({0, 3, "127.0.0.1", ShareImage(HexPattern(1500))});
    ASSERT_TRUE(bench.Pass(1));
    ASSERT_TRUE(bench.AwaitEnd(worker.Thread()));
    EXPECT_EQ(bench.Payloads(), (std::vector<std::string>{"UD0000" + HexPattern(1500).substr(0, 600),
                                                          "UD0001" + HexPattern(1500).substr(600, 600)}));
    const RecordingDisplay::Seen failed = bench.display.Now();
    EXPECT_EQ(failed.statuses, std::vector<std::string>{FailStatus});
    ASSERT_TRUE(std::holds_alternative<dialogue::RunFailed>(failed.events.back()));
    EXPECT_EQ(std::get<dialogue::RunFailed>(failed.events.back()).why, "the display went away");
    EXPECT_FALSE(worker.Thread().Terminated());

    bench.display.failAtBlock = -1;
    bench.a->Thread().Post(WorkerStartMessage);
    ASSERT_TRUE(bench.Pass(1));
    ASSERT_TRUE(bench.Reach());
    EXPECT_EQ(bench.received.back().payload.substr(0, 6), "UD0001");
}

// A clock on which each look at the time costs `perLook` (the send under way) and each pause overshoots
// its deadline by `overshoot`; the worker's first pause after its blocks ends the run.
class SlowClockPacer final : public Pacer {
  public:
    SlowClockPacer(std::chrono::milliseconds perLook, std::chrono::milliseconds overshoot, std::size_t blocks)
        : perLook_(perLook), overshoot_(overshoot), blocks_(blocks) {}

    TimePoint Now() override {
        std::lock_guard lock(mutex_);
        const TimePoint now = now_;
        now_ += perLook_;
        return now;
    }
    bool SleepUntil(TimePoint deadline, const StopSignal& /*stop*/) override {
        std::lock_guard lock(mutex_);
        if (deadlines_.size() == blocks_) {
            return false;
        }
        deadlines_.push_back(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TimePoint{}).count());
        now_ = std::max(now_, deadline + overshoot_);
        return true;
    }

    std::vector<long long> Deadlines() {
        std::lock_guard lock(mutex_);
        return deadlines_;
    }

  private:
    std::mutex mutex_;
    std::chrono::milliseconds perLook_;
    std::chrono::milliseconds overshoot_;
    std::size_t blocks_;
    TimePoint now_{};
    std::vector<long long> deadlines_;
};

TEST(WorkerPacing, BlocksKeepToDeadlinesAndNeverCloserThanOnePause) {
    struct Case {
        const char* name;
        int perLookMs;
        int overshootMs;
        std::vector<long long> deadlines;
    };
    const std::vector<Case> cases = {
        {"on time", 0, 0, {200, 400, 600}},
        {"slow sends do not add up", 50, 0, {200, 400, 600}},
        {"a late wake pushes the next send out by one whole pause", 0, 30, {200, 430, 660}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerBench bench;
        SlowClockPacer pacer(std::chrono::milliseconds(c.perLookMs), std::chrono::milliseconds(c.overshootMs),
                             3);
        Tupthread worker({bench.tool, bench.logger.Port(), pacer, bench.display, bench.state, {}});
        worker.SetFields({0, 3, "127.0.0.1", ShareImage(HexPattern(1800))});
        worker.Thread().Post(WorkerStartMessage);
        ASSERT_TRUE(worker.Thread().WaitIdle(VirtualPacer::HangGuard));
        EXPECT_EQ(pacer.Deadlines(), c.deadlines);
    }
}

}  // namespace
}  // namespace lut::test
