// A dialogue's stop: it cuts the pauses of that dialogue's workers short. Not std::stop_token with a
// stop_callback per pause: where the library has no platform wait (MinGW's), the callback's destructor,
// run while the stopping thread still runs the callback, waits on a semaphore whose wake-up can be lost,
// so that the worker never ends and closing the window hangs on its join.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lut {

class StopSignal {
  public:
    // Any thread; every pause under way and every later one ends at once.
    void Request() {
        {
            std::lock_guard lock(mutex_);
            requested_ = true;
        }
        changed_.notify_all();
    }

    bool Requested() const {
        std::lock_guard lock(mutex_);
        return requested_;
    }

    // Waits until the deadline on the steady clock; false when a stop was requested.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) const {
        std::unique_lock lock(mutex_);
        changed_.wait_until(lock, deadline, [this] { return requested_; });
        return !requested_;
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool requested_ = false;
};

}  // namespace lut
