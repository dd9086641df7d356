// The rounds of one search: the probes go out at once and again, RoundInterval apart, so that a logger
// whose answer was lost answers a later round. A later Search, an Update press or closing ends them.
#pragma once

#include <chrono>
#include <optional>

#include "update/workers/Pacer.h"

namespace lut {

inline constexpr std::chrono::milliseconds RoundInterval{300};
// The rounds a search sends unless told otherwise.
inline constexpr int SearchRoundsDefault = 3;

class SearchRounds {
  public:
    // The first round went out at `now`; `rounds` in all.
    void Begin(Pacer::TimePoint now, int rounds) {
        first_ = now;
        rounds_ = rounds;
        sent_ = 1;
    }
    void End() { sent_ = rounds_; }

    // True when the next round is due at `now`; it counts as sent.
    bool Due(Pacer::TimePoint now) {
        if (!Next() || now < *Next()) {
            return false;
        }
        ++sent_;
        return true;
    }

    // When the next round is due; empty when every round went out or the rounds ended.
    std::optional<Pacer::TimePoint> Next() const {
        if (sent_ >= rounds_) {
            return std::nullopt;
        }
        return first_ + RoundInterval * sent_;
    }

  private:
    Pacer::TimePoint first_{};
    int rounds_ = 0;
    int sent_ = 0;
};

}  // namespace lut
