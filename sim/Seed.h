// Repeatable randomness for the simulated faults: the same seed gives the same faults on every run, and
// loggers at different addresses get different ones.
#pragma once

#include <cstdint>
#include <string_view>

namespace lut::sim {

// A well-mixed 64-bit value of x (SplitMix64's finaliser).
std::uint64_t SplitMix64(std::uint64_t x);

// The seed mixed with the logger's address.
std::uint64_t AddressSeed(std::uint64_t seed, std::string_view address);

}  // namespace lut::sim
