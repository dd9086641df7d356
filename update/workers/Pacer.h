// The workers' pauses. The real pacer sleeps on the steady clock; tests use a virtual clock so that the
// 5000 ms and 3000 ms waits cost nothing. Every pause can be cut short by its own stop signal: each
// dialogue stops its own workers, and a stop of one never reaches another's.
#pragma once

#include <chrono>

#include "update/workers/StopSignal.h"

namespace lut {

class Pacer {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    virtual ~Pacer() = default;

    virtual TimePoint Now() = 0;

    // Waits until the deadline; false when a stop was requested (then the caller gives up its run at once).
    virtual bool SleepUntil(TimePoint deadline, const StopSignal& stop) = 0;

    bool Sleep(std::chrono::milliseconds pause, const StopSignal& stop) {
        return SleepUntil(Now() + pause, stop);
    }
};

class RealPacer final : public Pacer {
  public:
    TimePoint Now() override { return Clock::now(); }

    bool SleepUntil(TimePoint deadline, const StopSignal& stop) override { return stop.WaitUntil(deadline); }
};

}  // namespace lut
