// How long a transfer still takes before the logger is asked for its result, as both front ends show it.
#pragma once

#include <string>

namespace lut {

// The blocks left at one pause each, then the final pause, as "m:ss" ("1:05").
std::string TimeLeft(int blocksLeft);

}  // namespace lut
