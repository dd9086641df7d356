#include "cli/VersionCheck.h"

#include <algorithm>
#include <sstream>

#include "cli/Output.h"
#include "update/TrimText.h"

namespace lut::cli {

VersionCheck::VersionCheck(LoggerRow logger, std::string expected, Clock::time_point start,
                           std::chrono::milliseconds wait, std::chrono::milliseconds interval)
    : logger_(std::move(logger)),
      expected_(std::move(expected)),
      end_(start + wait),
      wait_(wait),
      interval_(interval),
      nextProbe_(start) {}

VersionCheck::Clock::time_point VersionCheck::Step(ToolCore& core, Clock::time_point now) {
    if (result_ != Result::Pending) {
        return now;
    }
    if (now >= end_) {
        result_ = Result::NoAnswer;
        return now;
    }
    if (now >= nextProbe_) {
        // A probe the system refuses is as good as one the restarting logger does not hear: try again.
        core.Probe(logger_.ip);
        probed_ = true;
        nextProbe_ = now + interval_;
    }
    return std::min(nextProbe_, end_);
}

bool VersionCheck::Take(const std::vector<LoggerRow>& rows) {
    // Before the first probe the list still holds the answers from before the update.
    if (result_ != Result::Pending || !probed_) {
        return false;
    }
    const auto row =
        std::find_if(rows.begin(), rows.end(), [this](const LoggerRow& r) { return r.ip == logger_.ip; });
    if (row == rows.end()) {
        return false;
    }
    reported_ = std::string(TrimBlankAndControl(row->version));
    result_ = reported_ == expected_ ? Result::Verified : Result::NotVerified;
    return true;
}

std::string VersionCheck::Message() const {
    const std::string who = Printable(logger_.sn) + " at " + logger_.ip;
    switch (result_) {
        case Result::Verified:
            return "Verified: " + who + " now runs " + Printable(reported_);
        case Result::NotVerified:
            return "Not verified: " + who + " reports " + Printable(reported_) +
                   " after the update (expected " + Printable(expected_) + ")";
        case Result::NoAnswer: {
            std::ostringstream seconds;
            seconds << wait_.count() / 1000.0;
            return "Not verified: " + who + " did not answer the version probe within " + seconds.str() +
                   " s after the update; whether it runs " + Printable(expected_) +
                   " is unknown (search later to see its version)";
        }
        case Result::Pending:
            break;
    }
    return "";
}

}  // namespace lut::cli
