// A pacer whose clock runs a given number of times faster than the steady clock: the workers keep their
// real order and their real interplay with the loggers' answers, only every pause is shorter.
#pragma once

#include <condition_variable>
#include <mutex>

#include "update/Pacer.h"

namespace lut::cli::test {

class FastPacer final : public Pacer {
  public:
    explicit FastPacer(int speedUp) : speedUp_(speedUp) {}

    TimePoint Now() override { return origin_ + (Clock::now() - origin_) * speedUp_; }

    bool SleepUntil(TimePoint deadline) override {
        const TimePoint real = origin_ + (deadline - origin_) / speedUp_;
        std::unique_lock lock(mutex_);
        return !wake_.wait_until(lock, real, [this] { return interrupted_; });
    }

    void Interrupt() override {
        {
            std::lock_guard lock(mutex_);
            interrupted_ = true;
        }
        wake_.notify_all();
    }

  private:
    const int speedUp_;
    const TimePoint origin_ = Clock::now();
    std::mutex mutex_;
    std::condition_variable wake_;
    bool interrupted_ = false;
};

}  // namespace lut::cli::test
