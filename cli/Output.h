// How the command line writes what came from the network: texts a terminal shows safely, and JSON that a
// script can always parse.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

#include "update/TrimText.h"  // Printable

namespace lut::cli {

// Keeps the key order in which the fields are added.
using Json = nlohmann::ordered_json;

// Compact JSON; bytes that are no valid UTF-8 become U+FFFD instead of failing the whole output.
std::string ToJsonText(const Json& value);

}  // namespace lut::cli
