// The update image: the chosen file as upper-case hexadecimal text, two characters a byte, divided into
// blocks of 600 characters; and Browse, which checks the file's name, shows its path and version and
// reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "link/uPubpro.h"
#include "update/WindowOperations.h"

namespace lut {

// An image as Browse loads it and a run sends it: immutable and shared, held once however many use it, so
// nothing the GUI thread does later changes a run under way.
using ImageText = std::shared_ptr<const std::string>;

// Takes the text over without copying it.
ImageText ShareImage(std::string text);

// length / 600, rounded up; 0 for an empty image.
std::size_t BlockCountOf(std::string_view image);

// Block i: up to 600 characters from i × 600; empty for an index at or beyond the end.
std::string_view BlockOf(std::string_view image, std::size_t index);

// The file name part of a path: everything after the last '/', '\\' or drive colon.
std::string_view FileNamePart(std::string_view path);

// The file name without its extension (from the last full stop): "S2.1.bin" gives "S2.1".
std::string VersionFromFileName(std::string_view path);

// The most blocks an update can carry: the block count and every block index are 4 hexadecimal digits.
inline constexpr std::uintmax_t MaxImageBlocks = 0xFFFF;

// The largest file Browse loads (19,660,500 bytes): beyond it the logger would get a corrupted image.
inline constexpr std::uintmax_t MaxImageFileBytes = MaxImageBlocks * (BlockChars / 2);
static_assert(MaxImageFileBytes == 19'660'500, "text::ImageTooLarge names this limit");

// Each byte as two upper-case hexadecimal digits, high digit first: 0x0A gives "0A".
std::string HexText(std::string_view bytes);

// A path as the window shows it and messages name it: its UTF-8 bytes (on POSIX, its bytes as they are).
std::string PathText(const std::filesystem::path& path);

// The inverse of PathText, for a path the window shows.
std::filesystem::path PathFromText(std::string_view text);

// Reads the whole file as hexadecimal text, in chunks, into one string of the final size. Throws
// std::runtime_error with a readable text when the file cannot be opened, is not a regular file, is larger
// than a logger can take, cannot be read, or changes its size while it is read.
std::string ReadImageFile(const std::filesystem::path& path);

// How Browse ended; all but Loaded and Cancelled have shown their box.
enum class BrowseOutcome { Cancelled, NameNotS, NotRead, Loaded };

// Browse: the dialog proposes the last path; a name that does not begin with "S" gets the plain message;
// otherwise path and version are shown, then the file is read into LoadedImage. A file that cannot be
// read reaches the error display and empties LoadedImage, so that Update refuses until a file is loaded.
BrowseOutcome btn1Click(WindowOperations& window, FileDialog& dialog, ImageText& LoadedImage);

}  // namespace lut
