// Where a simulated logger keeps an image it has received whole: a file in the output folder named after
// the logger's serial number and the image's version.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lut::sim {

// "SERIAL_VERSION.bin". The version comes from the network, so every character but letters, digits, '.',
// '-' and '_' becomes '_': no name can leave the folder or hide a control character.
std::string ImageFileName(std::string_view serial, std::string_view version);

// Writes the bytes to dir/ImageFileName(serial, version), replacing an older file of that name, and
// returns the path. Throws std::runtime_error with a readable text when the file cannot be written.
std::filesystem::path WriteImage(const std::filesystem::path& dir, std::string_view serial,
                                 std::string_view version, std::string_view bytes);

}  // namespace lut::sim
