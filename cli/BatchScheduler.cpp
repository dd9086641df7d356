#include "cli/BatchScheduler.h"

#include <algorithm>
#include <system_error>

namespace lut::cli {
namespace {

using Clock = EventLoop::Clock;

// How often the loop looks at the clock while nothing is due: the progress line's pace.
constexpr std::chrono::seconds Heartbeat{1};
// How often it looks while ended attempts wait for their workers to come to rest.
constexpr std::chrono::milliseconds RestCheck{50};

}  // namespace

BatchScheduler::BatchScheduler(Session& session, AttemptShared& shared, BatchPolicy policy,
                               BatchOutput& output)
    : session_(session), shared_(shared), policy_(policy), output_(output) {}

bool BatchScheduler::Run(Attempts& attempts) {
    // A logger that ended before the run (no search found it, its address answers for two) is a failure
    // like any other: it gets its result line and counts toward the failures that stop the rest.
    for (const auto& attempt : attempts) {
        if (attempt->Failed()) {
            Ended(*attempt);
        }
    }
    ToolCore& core = session_.Core();
    router_ = &core.StartRouting(*this);
    shared_.router = router_;
    shared_.listener = this;
    for (const auto& attempt : attempts) {
        byAddress_.emplace(attempt->Address(), attempt.get());
    }
    std::size_t next = 0;
    bool interrupted = false;
    for (;;) {
        next = StartWhileRoom(attempts, next);
        const bool running = std::any_of(attempts.begin(), attempts.end(),
                                         [](const auto& attempt) { return attempt->InFlight(); });
        // Once every attempt has ended, the workers still pausing after a verdict are woken by StopRouting.
        if (!running &&
            (Stopping() || next == attempts.size() || CanaryGate(attempts, next) == Gate::Failed)) {
            break;
        }
        Retire(attempts);
        output_.Waiting(attempts);
        changed_ = false;
        const Clock::time_point wake = Tick(attempts);
        EventLoop::End end{};
        try {
            end = session_.Loop().Run([this, &attempts] { return Take(attempts) || changed_; },
                                      {wake, std::nullopt});
        } catch (const std::system_error& failure) {
            // Nothing more can be heard (the network went down, an adapter vanished): every attempt ends
            // now, as on Ctrl-C, and says why.
            networkFailure_ = failure.what();
            end = EventLoop::End::Interrupted;
        }
        if (end == EventLoop::End::Interrupted) {
            Interrupt(attempts, networkFailure_);
            interrupted = true;
            break;
        }
    }
    if (!interrupted) {
        const Attempt::Skip why =
            CanaryGate(attempts, next) == Gate::Failed ? Attempt::Skip::CanaryFailed : Attempt::Skip::Stopped;
        for (std::size_t i = next; i < attempts.size(); ++i) {
            if (attempts[i]->CurrentPhase() == Attempt::Phase::Waiting) {
                attempts[i]->SkipIt(why);
            }
        }
        unrouted_ = router_->Unrouted();
        core.StopRouting();
    }
    router_ = nullptr;
    shared_.router = nullptr;
    shared_.listener = nullptr;
    byAddress_.clear();
    return interrupted;
}

bool BatchScheduler::Stopping() const {
    return policy_.maxFailures && failures_ >= *policy_.maxFailures;
}

BatchScheduler::Gate BatchScheduler::CanaryGate(const Attempts& attempts, std::size_t index) const {
    const std::size_t canaries = std::min(policy_.canary, attempts.size());
    if (index < canaries) {
        return Gate::Open;
    }
    Gate gate = Gate::Open;
    for (std::size_t i = 0; i < canaries; ++i) {
        const Attempt& canary = *attempts[i];
        if (canary.Failed() || canary.Skipped()) {
            return Gate::Failed;
        }
        if (canary.CurrentPhase() != Attempt::Phase::Done) {
            gate = Gate::Closed;
        }
    }
    return gate;
}

// Starts attempts in list order while fewer than `parallel` run; returns the first one not yet started.
std::size_t BatchScheduler::StartWhileRoom(Attempts& attempts, std::size_t next) {
    auto running = static_cast<std::size_t>(std::count_if(
        attempts.begin(), attempts.end(), [](const auto& attempt) { return attempt->InFlight(); }));
    while (!Stopping() && next < attempts.size() && running < policy_.parallel &&
           CanaryGate(attempts, next) == Gate::Open) {
        Attempt& attempt = *attempts[next++];
        if (attempt.CurrentPhase() == Attempt::Phase::Waiting) {
            attempt.Start(Clock::now());
            running += attempt.InFlight() ? 1 : 0;
        }
    }
    return next;
}

// Every attempt's limits and due sends; returns when to look again.
Clock::time_point BatchScheduler::Tick(Attempts& attempts) {
    const Clock::time_point now = Clock::now();
    Clock::time_point wake = now + Heartbeat;
    for (const auto& attempt : attempts) {
        wake = std::min(wake, attempt->Tick(now));
        if (attempt->Routed() && !attempt->InFlight() && !attempt->Correctable()) {
            wake = std::min(wake, now + RestCheck);
        }
    }
    return wake;
}

bool BatchScheduler::Take(Attempts& attempts) {
    bool moved = false;
    for (const auto& attempt : attempts) {
        moved = attempt->Take() || moved;
    }
    return moved;
}

void BatchScheduler::OnDialogueEvent(const std::string& logger, const DialogueEvent& event) {
    const auto found = byAddress_.find(logger);
    if (found == byAddress_.end()) {
        return;
    }
    Attempt& attempt = *found->second;
    const Attempt::Phase before = attempt.CurrentPhase();
    attempt.OnDialogueEvent(event, Clock::now());
    // A version check is due at once; an acceptance needs nothing of the loop, and an end tells Ended.
    const Attempt::Phase after = attempt.CurrentPhase();
    changed_ = changed_ || (after != before && after == Attempt::Phase::Verifying);
}

void BatchScheduler::Ended(const Attempt& attempt) {
    if (attempt.Failed()) {
        ++failures_;
        firstFailure_ = firstFailure_.value_or(attempt.Result()->code);
    }
    changed_ = true;
    output_.Ended(attempt);
}

// Closes the dialogues of the attempts that have ended once their workers are at rest.
void BatchScheduler::Retire(Attempts& attempts) {
    for (const auto& attempt : attempts) {
        // An attempt ended by "Update Fail" keeps its dialogue while the run goes on: a late "R" corrects it.
        if (attempt->Routed() && !attempt->InFlight() && !attempt->Correctable() &&
            router_->AtRest(attempt->Address())) {
            router_->Close(attempt->Address());
            attempt->Unroute();
        }
    }
}

// Ctrl-C or a network failure: every running attempt stops at once and says what its logger may hold; the
// others are skipped. The shut-down hands over the reports its workers had made, so that each tally counts
// every block sent.
void BatchScheduler::Interrupt(Attempts& attempts, const std::string& networkFailure) {
    unrouted_ = router_->Unrouted();
    session_.Core().Shutdown();
    const Clock::time_point now = Clock::now();
    for (const auto& attempt : attempts) {
        attempt->Interrupt(now, networkFailure);
    }
}

}  // namespace lut::cli
