// The faults of the network between the tool and one simulated logger: a one-way delay with jitter in
// both directions (so that datagrams overtake one another), duplication, and the loss of the logger's
// answers. This kernel has no netem, so the simulator plays the network itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

namespace lut::sim {

struct NetworkFaults {
    std::chrono::milliseconds delay{0};   // one way, in each direction
    std::chrono::milliseconds jitter{0};  // each datagram's delay lies within delay +/- jitter (at least 0)
    unsigned duplicatePercent = 0;        // share of datagrams, either way, that arrive twice
    unsigned answerLossPercent = 0;       // share of the logger's answers that never arrive
};

enum class Direction {
    ToLogger,  // what the tool sent, on its way in
    ToTool,    // the logger's answer, on its way out
};

// The network path of one logger: which copies of each datagram arrive, and after how long. Seeded with
// the seed and the logger's address, so that a run repeats itself datagram for datagram and loggers
// differ from one another.
class FaultyPath {
  public:
    FaultyPath(const NetworkFaults& faults, std::uint64_t seed, std::string_view address);

    // The delay of each copy that arrives: none when the answer is lost, two when duplicated.
    std::vector<std::chrono::milliseconds> Copies(Direction direction);

  private:
    bool Hits(unsigned percent);
    std::chrono::milliseconds OneWayDelay();

    NetworkFaults faults_;
    std::mt19937_64 random_;
};

}  // namespace lut::sim
