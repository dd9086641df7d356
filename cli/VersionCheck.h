// The proof after an update: the logger is asked for its version again, through the probe of its one
// address, again and again until it answers or the wait is over (a logger may restart into its new image
// and be silent meanwhile). Its answer reaches the logger list as any probe answer does.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cli/EventLoop.h"
#include "update/ToolCore.h"

namespace lut::cli {

class VersionCheck {
  public:
    using Clock = EventLoop::Clock;
    enum class Result { Pending, Verified, NotVerified, NoAnswer };

    // `expected`: the version sent in the update request.
    VersionCheck(LoggerRow logger, std::string expected, Clock::time_point start,
                 std::chrono::milliseconds wait, std::chrono::milliseconds interval);

    // Sends the probe when one is due, or gives up when the wait is over; returns when to step again.
    Clock::time_point Step(ToolCore& core, Clock::time_point now);

    // Looks for the logger's answer among the rows (those listed since the first probe of the check);
    // true when it decided the result.
    bool Take(const std::vector<LoggerRow>& rows);

    Result Outcome() const { return result_; }
    const LoggerRow& Logger() const { return logger_; }
    // The version the logger reported, once it answered.
    const std::string& Reported() const { return reported_; }
    // What the result means to a technician.
    std::string Message() const;

  private:
    LoggerRow logger_;
    std::string expected_;
    Clock::time_point end_;
    std::chrono::milliseconds wait_;
    std::chrono::milliseconds interval_;
    Clock::time_point nextProbe_;
    bool probed_ = false;  // a probe emptied the list, so what it lists now answered after the update
    Result result_ = Result::Pending;
    std::string reported_;
};

}  // namespace lut::cli
