// The workers' pauses. The real pacer sleeps on the steady clock; tests use a virtual clock so that the
// 5000 ms and 3000 ms waits cost nothing. Every pause can be cut short by its own stop token: each
// dialogue stops its own workers, and a stop of one never reaches another's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace lut {

class Pacer {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    virtual ~Pacer() = default;

    virtual TimePoint Now() = 0;

    // Waits until the deadline; false when a stop was requested (then the caller gives up its run at once).
    virtual bool SleepUntil(TimePoint deadline, std::stop_token stop) = 0;

    bool Sleep(std::chrono::milliseconds pause, std::stop_token stop) {
        return SleepUntil(Now() + pause, std::move(stop));
    }
};

class RealPacer final : public Pacer {
  public:
    TimePoint Now() override { return Clock::now(); }

    bool SleepUntil(TimePoint deadline, std::stop_token stop) override {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        wake.wait_until(lock, stop, deadline, [] { return false; });
        return !stop.stop_requested();
    }
};

}  // namespace lut
