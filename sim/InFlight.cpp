#include "sim/InFlight.h"

#include <utility>

namespace lut::sim {

void InFlightQueue::Push(Clock::time_point due, InFlight datagram) {
    queue_.emplace(due, std::move(datagram));
}

std::optional<InFlightQueue::Clock::time_point> InFlightQueue::NextDue() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    return queue_.begin()->first;
}

std::vector<InFlight> InFlightQueue::TakeDue(Clock::time_point now) {
    std::vector<InFlight> due;
    const auto end = queue_.upper_bound(now);
    for (auto it = queue_.begin(); it != end; ++it) {
        due.push_back(std::move(it->second));
    }
    queue_.erase(queue_.begin(), end);
    return due;
}

}  // namespace lut::sim
