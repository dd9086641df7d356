// The update request, asked again while no answer comes: a lost request or a lost acceptance leaves the
// dialogue in "LU", so the same request goes out up to twice more, RequestInterval apart. A second Update
// press begins the count anew.
#pragma once

#include <chrono>
#include <optional>

#include "update/workers/Pacer.h"

namespace lut {

class RequestRetries {
  public:
    // Requests sent before the logger counts as silent, and the pause between two of them.
    static constexpr int Requests = 3;
    static constexpr std::chrono::milliseconds RequestInterval{1500};

    // The first request went out at `now`.
    void Begin(Pacer::TimePoint now) {
        sent_ = 1;
        last_ = now;
    }
    void End() { sent_ = Requests; }

    // True when another request is due at `now`; it counts as sent.
    bool Due(Pacer::TimePoint now) {
        if (!Next() || now < *Next()) {
            return false;
        }
        ++sent_;
        last_ = now;
        return true;
    }

    // When the next request is due; empty once every request went out.
    std::optional<Pacer::TimePoint> Next() const {
        if (sent_ == 0 || sent_ >= Requests) {
            return std::nullopt;
        }
        return last_ + RequestInterval;
    }

    int Sent() const { return sent_; }
    Pacer::TimePoint Last() const { return last_; }

  private:
    int sent_ = 0;
    Pacer::TimePoint last_{};
};

}  // namespace lut
