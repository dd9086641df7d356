#include "update/dialogue/TimeLeft.h"

#include <chrono>

#include "link/uPubpro.h"

namespace lut {

std::string TimeLeft(int blocksLeft) {
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(blocksLeft * BlockDelay + FinishDelay);
    const long long seconds = left.count() % 60;
    return std::to_string(left.count() / 60) + (seconds < 10 ? ":0" : ":") + std::to_string(seconds);
}

}  // namespace lut
