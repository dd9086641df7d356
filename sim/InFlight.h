// The datagrams the simulated network holds back: each is due at its moment of arrival, and the runner's
// one loop delivers them then, so that a delayed datagram holds up no other logger.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/NetworkFaults.h"
#include "sim/SimLogger.h"

namespace lut::sim {

struct InFlight {
    std::size_t station = 0;  // the logger's place in the options
    Port port = Port::Discovery;
    Direction direction = Direction::ToLogger;
    std::string bytes;
    Peer tool;  // where it came from (to the logger) or goes to (to the tool)
};

class InFlightQueue {
  public:
    using Clock = std::chrono::steady_clock;

    void Push(Clock::time_point due, InFlight datagram);
    // When the next datagram is due; none while nothing is in flight.
    std::optional<Clock::time_point> NextDue() const;
    // The datagrams due by now, in the order of their moments (pushed order among equal ones).
    std::vector<InFlight> TakeDue(Clock::time_point now);

  private:
    std::multimap<Clock::time_point, InFlight> queue_;  // equal keys keep the order of insertion
};

}  // namespace lut::sim
