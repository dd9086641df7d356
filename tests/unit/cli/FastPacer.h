// A pacer whose clock runs a given number of times faster than the steady clock: the workers keep their
// real order and their real interplay with the loggers' answers, only every pause is shorter. A test may
// act on the tool's own thread that pauses (a worker after each block) before each pause.
#pragma once

#include <functional>

#include "update/workers/Pacer.h"

namespace lut::cli::test {

class FastPacer final : public Pacer {
  public:
    explicit FastPacer(int speedUp, std::function<void()> beforePause = {})
        : speedUp_(speedUp), beforePause_(std::move(beforePause)) {}

    TimePoint Now() override { return origin_ + (Clock::now() - origin_) * speedUp_; }

    bool SleepUntil(TimePoint deadline, const StopSignal& stop) override {
        if (beforePause_) {
            beforePause_();
        }
        return stop.WaitUntil(origin_ + (deadline - origin_) / speedUp_);
    }

  private:
    const int speedUp_;
    const std::function<void()> beforePause_;
    const TimePoint origin_ = Clock::now();
};

}  // namespace lut::cli::test
