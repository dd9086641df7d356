// Runs a batch of attempts through one loop: up to `parallel` at once, each with its own dialogue in the
// router, starting the next in list order once the canaries have completed and while the failures allow
// it, and stopping every running one at once on Ctrl-C or when the network fails. A single update is a
// batch of one.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/Attempt.h"
#include "cli/Session.h"

namespace lut::cli {

using Attempts = std::vector<std::unique_ptr<Attempt>>;

// What the batch shows while it runs; every call on the loop's thread.
class BatchOutput : public AttemptListener {
  public:
    // The loop is about to wait: the moment to redraw a progress line.
    virtual void Waiting(const Attempts&) {}
};

struct BatchPolicy {
    std::size_t parallel = 1;
    // Failures after which no further logger starts; empty: no limit.
    std::optional<std::size_t> maxFailures = 1;
    // The first attempts, run before any other starts; the others start only when all of them completed.
    std::size_t canary = 0;
};

class BatchScheduler final : RoutedObserver, AttemptListener {
  public:
    BatchScheduler(Session& session, AttemptShared& shared, BatchPolicy policy, BatchOutput& output);

    // Starts the attempts in order and runs the loop until every started one has ended; those never
    // started are skipped. True when Ctrl-C or a network failure ended it.
    bool Run(Attempts& attempts);

    // The receive or wait failure that ended the run ("receiving datagrams: Network is down"); empty when
    // none did.
    const std::string& NetworkFailure() const { return networkFailure_; }

    // The first failure's exit code, of the attempts ended so far.
    std::optional<ExitCode> FirstFailure() const { return firstFailure_; }
    // Update answers from addresses without a running attempt.
    std::size_t Unrouted() const { return unrouted_; }

  private:
    void OnDialogueEvent(const std::string& logger, const DialogueEvent& event) override;
    void Found(const Attempt& attempt) override { output_.Found(attempt); }
    void Requested(const Attempt& attempt) override { output_.Requested(attempt); }
    void Unreadable(const Attempt& attempt, const std::string& text) override {
        output_.Unreadable(attempt, text);
    }
    void Ended(const Attempt& attempt) override;

    bool Stopping() const;
    // Whether the canaries stop the attempt at `index` from starting: for now, or for good.
    enum class Gate { Open, Closed, Failed };
    Gate CanaryGate(const Attempts& attempts, std::size_t index) const;
    std::size_t StartWhileRoom(Attempts& attempts, std::size_t next);
    EventLoop::Clock::time_point Tick(Attempts& attempts);
    bool Take(Attempts& attempts);
    void Retire(Attempts& attempts);
    void Interrupt(Attempts& attempts, const std::string& networkFailure);

    Session& session_;
    AttemptShared& shared_;
    const BatchPolicy policy_;
    BatchOutput& output_;
    DialogueRouter* router_ = nullptr;
    std::unordered_map<std::string, Attempt*> byAddress_;  // while Run runs
    std::size_t failures_ = 0;
    std::optional<ExitCode> firstFailure_;
    bool changed_ = false;  // an attempt ended or began its version check since the loop last looked
    std::size_t unrouted_ = 0;
    std::string networkFailure_;
};

}  // namespace lut::cli
