// The SHA-256 of an update file, as the record keeps it: 64 lower-case hexadecimal digits.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lut::record {

std::string Sha256Hex(std::string_view bytes);

// Empty when the file cannot be read.
std::optional<std::string> FileSha256Hex(const std::filesystem::path& file);

}  // namespace lut::record
