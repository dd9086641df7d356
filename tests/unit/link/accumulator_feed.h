// Feeding an accumulator one datagram and collecting the frames it cuts.
#pragma once

#include <string>
#include <vector>

#include "link/RxAccumulator.h"

namespace lut::test {

inline const std::string Esc = "\x1B";
inline const std::string Enq = "\x05";

inline std::vector<std::string> Feed(RxAccumulator& accumulator, const std::string& datagram) {
    std::vector<std::string> frames;
    accumulator.ExtractFrames(datagram, [&frames](const std::string& frame) { frames.push_back(frame); });
    return frames;
}

}  // namespace lut::test
