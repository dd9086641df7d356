#include "cli/BatchScheduler.h"

#include <algorithm>

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
    // A logger that ended before the run (no search found it) counts for the exit code, not as a failure
    // that stops the others.
    for (const auto& attempt : attempts) {
        if (attempt->Failed()) {
            firstFailure_ = firstFailure_.value_or(attempt->Result()->code);
        }
    }
    ToolCore& core = session_.Core();
    router_ = &core.StartRouting(*this);
    shared_.router = router_;
    shared_.listener = this;
    attempts_ = &attempts;
    std::size_t next = 0;
    bool interrupted = false;
    for (;;) {
        next = StartWhileRoom(attempts, next);
        const bool running = std::any_of(attempts.begin(), attempts.end(),
                                         [](const auto& attempt) { return attempt->InFlight(); });
        // Once every attempt has ended, the workers still pausing after a verdict are woken by StopRouting.
        if (!running && (Stopping() || next == attempts.size())) {
            break;
        }
        Retire(attempts);
        output_.Waiting(attempts);
        changed_ = false;
        const Clock::time_point wake = Tick(attempts);
        const auto end = session_.Loop().Run([this, &attempts] { return Take(attempts) || changed_; },
                                             {wake, std::nullopt});
        if (end == EventLoop::End::Interrupted) {
            Interrupt(attempts);
            interrupted = true;
            break;
        }
    }
    if (!interrupted) {
        for (std::size_t i = next; i < attempts.size(); ++i) {
            if (attempts[i]->CurrentPhase() == Attempt::Phase::Waiting) {
                attempts[i]->SkipIt(Attempt::Skip::Stopped);
            }
        }
        unrouted_ = router_->Unrouted();
        core.StopRouting();
    }
    router_ = nullptr;
    shared_.router = nullptr;
    shared_.listener = nullptr;
    attempts_ = nullptr;
    return interrupted;
}

bool BatchScheduler::Stopping() const {
    return policy_.maxFailures && failures_ >= *policy_.maxFailures;
}

// Starts attempts in list order while fewer than `parallel` run; returns the first one not yet started.
std::size_t BatchScheduler::StartWhileRoom(Attempts& attempts, std::size_t next) {
    auto running = static_cast<std::size_t>(std::count_if(
        attempts.begin(), attempts.end(), [](const auto& attempt) { return attempt->InFlight(); }));
    while (!Stopping() && next < attempts.size() && running < policy_.parallel) {
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
        if (attempt->Routed() && !attempt->InFlight()) {
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
    const auto found = std::find_if(attempts_->begin(), attempts_->end(), [&logger](const auto& attempt) {
        return attempt->Routed() && attempt->Address() == logger;
    });
    if (found == attempts_->end()) {
        return;
    }
    Attempt& attempt = **found;
    const Attempt::Phase before = attempt.CurrentPhase();
    attempt.OnDialogueEvent(event, Clock::now());
    changed_ = changed_ || attempt.CurrentPhase() != before;
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
        if (attempt->Routed() && !attempt->InFlight() && router_->AtRest(attempt->Address())) {
            router_->Close(attempt->Address());
            attempt->Unroute();
        }
    }
}

// Ctrl-C: every running attempt stops at once and says what its logger may hold; the others are skipped.
void BatchScheduler::Interrupt(Attempts& attempts) {
    unrouted_ = router_->Unrouted();
    session_.Core().Shutdown();
    const Clock::time_point now = Clock::now();
    for (const auto& attempt : attempts) {
        attempt->Interrupt(now);
    }
}

}  // namespace lut::cli
