// The workers' pauses. The real pacer sleeps on the steady clock and can be interrupted at shut-down;
// tests use a virtual clock so that the 5000 ms and 3000 ms waits cost nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lut {

class Pacer {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    virtual ~Pacer() = default;

    virtual TimePoint Now() = 0;

    // Waits until the deadline; false when interrupted (then the caller gives up its run at once).
    virtual bool SleepUntil(TimePoint deadline) = 0;

    // Wakes every sleeper, and makes every later sleep return false at once.
    virtual void Interrupt() = 0;

    bool Sleep(std::chrono::milliseconds pause) { return SleepUntil(Now() + pause); }
};

class RealPacer final : public Pacer {
  public:
    TimePoint Now() override { return Clock::now(); }

    bool SleepUntil(TimePoint deadline) override {
        std::unique_lock lock(mutex_);
        return !wake_.wait_until(lock, deadline, [this] { return interrupted_; });
    }

    void Interrupt() override {
        {
            std::lock_guard lock(mutex_);
            interrupted_ = true;
        }
        wake_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool interrupted_ = false;
};

}  // namespace lut
