// The update image: the chosen file as upper-case hexadecimal text, two characters a byte, divided into
// blocks of 600 characters; and Browse, which checks the file's name, shows its path and version and
// reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "update/WindowOperations.h"

namespace lut {

// An image as a run sees it: immutable and shared, so nothing the GUI thread does later changes it.
using ImageText = std::shared_ptr<const std::string>;

// length / 600, rounded up; 0 for an empty image.
std::size_t BlockCountOf(std::string_view image);

// Block i: up to 600 characters from i × 600; empty for an index at or beyond the end.
std::string_view BlockOf(std::string_view image, std::size_t index);

// The file name part of a path: everything after the last '/', '\\' or drive colon.
std::string_view FileNamePart(std::string_view path);

// The file name without its extension (from the last full stop): "S2.1.bin" gives "S2.1".
std::string VersionFromFileName(std::string_view path);

// The largest file Browse loads. Its text, twice its size, is held twice during an update (the loaded and
// the send image), so this keeps a run under about 256 MiB. It lies well above the largest image the update
// request can announce (65535 blocks of 300 bytes); that limit belongs to the request, not to loading.
inline constexpr std::uintmax_t MaxImageFileBytes = 64 * 1024 * 1024;

// Each byte as two upper-case hexadecimal digits, high digit first: 0x0A gives "0A".
std::string HexText(std::string_view bytes);

// Reads the whole file as hexadecimal text. Throws std::runtime_error with a readable text when the
// file cannot be opened, is not a regular file, is too large to hold, cannot be read, or changes its size
// while it is read.
std::string ReadImageFile(const std::string& path);

// Browse: the dialog proposes the last path; a name that does not begin with "S" gets the plain message;
// otherwise path and version are shown, then the file is read into LoadedImage. A file that cannot be
// read reaches the error display and leaves LoadedImage as it was.
void btn1Click(WindowOperations& window, FileDialog& dialog, std::string& LoadedImage);

}  // namespace lut
