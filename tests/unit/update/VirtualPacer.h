// A pacer on a virtual clock that only the test moves: a sleeper blocks until the test has advanced the
// clock to its deadline, so the 200, 5000 and 3000 ms pauses cost nothing and every step is deterministic.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "update/workers/Pacer.h"

namespace lut::test {

class VirtualPacer final : public Pacer {
  public:
    // How long a test waits for the workers to reach a pause before it reports a hang instead.
    static constexpr std::chrono::seconds HangGuard{30};

    TimePoint Now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    // A stop does not wake this pacer's sleepers: they look for it every millisecond.
    bool SleepUntil(TimePoint deadline, const StopSignal& stop) override {
        std::unique_lock lock(mutex_);
        if (stop.Requested()) {
            return false;
        }
        const auto entry = deadlines_.insert(deadline);
        changed_.notify_all();
        while (!changed_.wait_for(lock, std::chrono::milliseconds(1),
                                  [&] { return now_ >= deadline || stop.Requested(); })) {
        }
        deadlines_.erase(entry);
        changed_.notify_all();
        return !stop.Requested();
    }

    // Waits until exactly `count` threads sleep towards a deadline still ahead; false after the hang guard.
    bool WaitForSleepers(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, HangGuard, [&] { return SleepersLocked() == count; });
    }

    // Moves the clock to the earliest deadline ahead and wakes whoever sleeps towards it. From here on the
    // woken no longer count as sleepers, even before their threads have run.
    void AdvanceToNextWake() {
        {
            std::lock_guard lock(mutex_);
            const auto next = deadlines_.upper_bound(now_);
            if (next != deadlines_.end()) {
                now_ = *next;
            }
        }
        changed_.notify_all();
    }

    // Moves the clock on by `step` and wakes whoever sleeps towards a deadline passed: the core's own
    // moments (a search round, a request asked again) have no sleeper to advance to.
    void Advance(Clock::duration step) {
        {
            std::lock_guard lock(mutex_);
            now_ += step;
        }
        changed_.notify_all();
    }

    // Virtual milliseconds since the pacer was made.
    long long ElapsedMs() {
        std::lock_guard lock(mutex_);
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - Start).count();
    }

  private:
    static constexpr TimePoint Start{std::chrono::hours(1)};

    std::size_t SleepersLocked() const {
        return static_cast<std::size_t>(
            std::count_if(deadlines_.begin(), deadlines_.end(), [this](TimePoint d) { return d > now_; }));
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::multiset<TimePoint> deadlines_;
    TimePoint now_ = Start;
};

}  // namespace lut::test
