// The proof after an update: the logger is asked for its version through the probe of its one address,
// again and again, until it answers with the version sent or the wait is over. A logger may answer with
// its old version until it has restarted into the new image, and be silent while it restarts.
#pragma once

#include <chrono>
#include <string>

#include "update/WindowOperations.h"
#include "update/workers/Pacer.h"

namespace lut {

class VersionCheck {
  public:
    using TimePoint = Pacer::TimePoint;
    enum class Result { Pending, Verified, NotVerified, NoAnswer };

    // `expected`: the version sent in the update request.
    VersionCheck(LoggerRow logger, std::string expected, TimePoint start, std::chrono::milliseconds wait,
                 std::chrono::milliseconds interval);

    // True when a probe is due at `now` (it counts as sent); once the wait is over, decides the result
    // from the last answer instead.
    bool Step(TimePoint now);
    // When to step again.
    TimePoint Next() const;
    // Whether a probe went out since the check began: before it, what the list holds is from before the
    // update.
    bool Probed() const { return probed_; }

    // One answer from the logger's address after a probe; true when it decided the result.
    bool Take(const LoggerRow& answer);

    Result Outcome() const { return result_; }
    const LoggerRow& Logger() const { return logger_; }
    const std::string& Expected() const { return expected_; }
    // The version in the logger's last answer; empty while it has not answered.
    const std::string& Reported() const { return reported_; }
    // What the result means to a technician, in a line.
    std::string Message() const;

  private:
    LoggerRow logger_;
    std::string expected_;
    TimePoint end_;
    std::chrono::milliseconds wait_;
    std::chrono::milliseconds interval_;
    TimePoint nextProbe_;
    bool probed_ = false;
    bool answered_ = false;  // an answer came, perhaps with an empty version
    Result result_ = Result::Pending;
    std::string reported_;
};

}  // namespace lut
