// How firmware versions sort for --below: piece by piece, a run of digits as a number and anything else as
// text, so that "S1.9" < "S1.10" < "S2.0".
#pragma once

#include <string_view>

namespace lut::cli {

bool VersionBelow(std::string_view version, std::string_view limit);

}  // namespace lut::cli
