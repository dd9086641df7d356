// A pacer whose clock runs a given number of times faster than the steady clock: the workers keep their
// real order and their real interplay with the loggers' answers, only every pause is shorter. A test may
// act on the tool's own thread that pauses (a worker after each block) before each pause.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "update/workers/Pacer.h"

namespace lut::cli::test {

class FastPacer final : public Pacer {
  public:
    explicit FastPacer(int speedUp, std::function<void()> beforePause = {})
        : speedUp_(speedUp), beforePause_(std::move(beforePause)) {}

    TimePoint Now() override { return origin_ + (Clock::now() - origin_) * speedUp_; }

    bool SleepUntil(TimePoint deadline, std::stop_token stop) override {
        if (beforePause_) {
            beforePause_();
        }
        const TimePoint real = origin_ + (deadline - origin_) / speedUp_;
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        wake.wait_until(lock, stop, real, [] { return false; });
        return !stop.stop_requested();
    }

  private:
    const int speedUp_;
    const std::function<void()> beforePause_;
    const TimePoint origin_ = Clock::now();
};

}  // namespace lut::cli::test
