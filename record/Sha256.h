// The SHA-256 of an update file, as the record keeps it: 64 lower-case hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

namespace lut::record {

std::string Sha256Hex(std::string_view bytes);

// The SHA-256 of the bytes that a hexadecimal text (two digits a byte, as an image holds them) stands for.
std::string Sha256OfHexText(std::string_view hex);

}  // namespace lut::record
