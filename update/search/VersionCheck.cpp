#include "update/search/VersionCheck.h"

#include <algorithm>
#include <sstream>

#include "update/TrimText.h"

namespace lut {

VersionCheck::VersionCheck(LoggerRow logger, std::string expected, TimePoint start,
                           std::chrono::milliseconds wait, std::chrono::milliseconds interval)
    : logger_(std::move(logger)),
      expected_(std::move(expected)),
      end_(start + wait),
      wait_(wait),
      interval_(interval),
      nextProbe_(start) {}

bool VersionCheck::Step(TimePoint now) {
    if (result_ != Result::Pending) {
        return false;
    }
    if (now >= end_) {
        result_ = answered_ ? Result::NotVerified : Result::NoAnswer;
        return false;
    }
    if (now < nextProbe_) {
        return false;
    }
    // A probe the system refuses is as good as one the restarting logger does not hear: the next is due
    // all the same.
    probed_ = true;
    nextProbe_ = now + interval_;
    return true;
}

VersionCheck::TimePoint VersionCheck::Next() const {
    return std::min(nextProbe_, end_);
}

bool VersionCheck::Take(const LoggerRow& answer) {
    if (result_ != Result::Pending || !probed_ || answer.ip != logger_.ip) {
        return false;
    }
    answered_ = true;
    reported_ = std::string(TrimBlankAndControl(answer.version));
    if (reported_ != expected_) {
        return false;
    }
    result_ = Result::Verified;
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

}  // namespace lut
