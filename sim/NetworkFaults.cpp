#include "sim/NetworkFaults.h"

#include <algorithm>

#include "sim/Seed.h"

namespace lut::sim {

FaultyPath::FaultyPath(const NetworkFaults& faults, std::uint64_t seed, std::string_view address)
    : faults_(faults), random_(AddressSeed(seed, address)) {}

bool FaultyPath::Hits(unsigned percent) {
    return percent > 0 && std::uniform_int_distribution<unsigned>(0, 99)(random_) < percent;
}

std::chrono::milliseconds FaultyPath::OneWayDelay() {
    const auto jitter = faults_.jitter.count();
    const auto offset = jitter > 0 ? std::uniform_int_distribution<long long>(-jitter, jitter)(random_) : 0;
    return std::chrono::milliseconds(std::max<long long>(0, faults_.delay.count() + offset));
}

std::vector<std::chrono::milliseconds> FaultyPath::Copies(Direction direction) {
    std::vector<std::chrono::milliseconds> copies;
    if (direction == Direction::ToTool && Hits(faults_.answerLossPercent)) {
        return copies;
    }
    copies.push_back(OneWayDelay());
    if (Hits(faults_.duplicatePercent)) {
        copies.push_back(OneWayDelay());
    }
    return copies;
}

}  // namespace lut::sim
