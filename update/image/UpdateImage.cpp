#include "update/image/UpdateImage.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "link/uPubpro.h"
#include "update/Messages.h"

namespace lut {

namespace {

// Both digits of every byte value, so that a megabyte image costs one table look-up a byte.
constexpr std::array<std::array<char, 2>, 256> HexPairs = [] {
    constexpr std::string_view digits = "0123456789ABCDEF";
    std::array<std::array<char, 2>, 256> pairs{};
    for (std::size_t value = 0; value < pairs.size(); ++value) {
        pairs[value] = {digits[value >> 4], digits[value & 0x0F]};
    }
    return pairs;
}();

// Writes two digits a byte at out; the caller has made room for them.
char* WriteHex(std::string_view bytes, char* out) {
    for (const char byte : bytes) {
        const auto& pair = HexPairs[static_cast<unsigned char>(byte)];
        *out++ = pair[0];
        *out++ = pair[1];
    }
    return out;
}

std::string Quoted(const std::filesystem::path& path) {
    return "\"" + PathText(path) + "\"";
}

[[noreturn]] void FailOpen(const std::filesystem::path& path, const std::string& why) {
    throw std::runtime_error("Cannot open file " + Quoted(path) + ". " + why);
}

[[noreturn]] void FailRead(const std::filesystem::path& path, const std::string& why) {
    throw std::runtime_error("Cannot read file " + Quoted(path) + ". " + why);
}

[[noreturn]] void FailSizeChanged(const std::filesystem::path& path, std::uintmax_t size) {
    FailRead(path, "The file changed size while it was read (it held " + std::to_string(size) +
                       " bytes when it was opened); nothing was loaded.");
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens by the path's native form, so that a folder named in any script opens on any system.
FileHandle OpenForReading(const std::filesystem::path& path) {
#ifdef _WIN32
    return FileHandle(_wfopen(path.c_str(), L"rb"));
#else
    return FileHandle(std::fopen(path.c_str(), "rb"));
#endif
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

ImageText ShareImage(std::string text) {
    return std::make_shared<const std::string>(std::move(text));
}

std::size_t BlockCountOf(std::string_view image) {
    return (image.size() + BlockChars - 1) / BlockChars;
}

std::string_view BlockOf(std::string_view image, std::size_t index) {
    if (index >= BlockCountOf(image)) {
        return {};
    }
    return image.substr(index * BlockChars, BlockChars);
}

std::string_view FileNamePart(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    if (separator != std::string_view::npos) {
        return path.substr(separator + 1);
    }
    if (path.size() >= 2 && path[1] == ':' && IsAsciiLetter(path[0])) {
        return path.substr(2);
    }
    return path;
}

std::string VersionFromFileName(std::string_view path) {
    const std::string_view name = FileNamePart(path);
    return std::string(name.substr(0, name.rfind('.')));
}

std::string HexText(std::string_view bytes) {
    std::string text(bytes.size() * 2, '\0');
    WriteHex(bytes, text.data());
    return text;
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::filesystem::path PathFromText(std::string_view text) {
    return std::u8string(text.begin(), text.end());
}

std::string ReadImageFile(const std::filesystem::path& path) {
    namespace fs = std::filesystem;

    // The kind of file is checked before opening it: opening a named pipe would block until a writer came.
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        FailOpen(path, error.message());
    }
    if (fs::is_directory(status)) {
        FailOpen(path, std::make_error_code(std::errc::is_a_directory).message());
    }
    if (!fs::is_regular_file(status)) {
        FailOpen(path, "Not a regular file");
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        FailOpen(path, error.message());
    }
    if (size > MaxImageFileBytes) {
        throw std::runtime_error("Cannot load file " + Quoted(path) + ". It holds " + std::to_string(size) +
                                 " bytes. " + std::string(text::ImageTooLarge));
    }

    const FileHandle file = OpenForReading(path);
    if (!file) {
        FailOpen(path, std::generic_category().message(errno));
    }

    std::string image;
    try {
        image.resize(static_cast<std::size_t>(size) * 2);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("Cannot load file " + Quoted(path) + ". Not enough memory.");
    }

    // A short read must not leave zeros in the image: they would go to the logger as firmware.
    std::array<char, 64 * 1024> chunk;
    char* out = image.data();
    std::uintmax_t remaining = size;
    while (remaining > 0) {
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uintmax_t>(remaining, chunk.size()));
        const std::size_t got = std::fread(chunk.data(), 1, wanted, file.get());
        if (got < wanted) {
            if (std::ferror(file.get())) {
                FailRead(path, std::generic_category().message(errno));
            }
            FailSizeChanged(path, size);
        }
        out = WriteHex({chunk.data(), got}, out);
        remaining -= got;
    }
    // Nor may a file that is still being written be cut at the size it had when it was opened.
    if (std::fgetc(file.get()) != EOF) {
        FailSizeChanged(path, size);
    }
    if (std::ferror(file.get())) {
        FailRead(path, std::generic_category().message(errno));
    }
    return image;
}

BrowseOutcome btn1Click(WindowOperations& window, FileDialog& dialog, ImageText& LoadedImage) {
    const std::string lastPath = window.FilePathText();
    if (!lastPath.empty()) {
        dialog.SetFileName(PathFromText(lastPath));
    }
    if (!dialog.Execute()) {
        return BrowseOutcome::Cancelled;
    }
    const std::filesystem::path path = dialog.FileName();
    if (path.empty()) {
        return BrowseOutcome::Cancelled;
    }
    const std::string shown = PathText(path);
    if (!FileNamePart(shown).starts_with('S')) {
        window.ShowPlainMessage(std::string(text::VersionMustBeginWithS));
        return BrowseOutcome::NameNotS;
    }
    // Path and version are shown first, so that a file that then fails to read is named on screen.
    window.SetFilePathText(shown);
    window.SetVersionText(VersionFromFileName(shown));
    try {
        LoadedImage = ShareImage(ReadImageFile(path));
    } catch (const std::runtime_error& failure) {
        // The previous image must not stay: Update would send it under the new file's name and version.
        LoadedImage = ShareImage({});
        window.ShowError(failure.what());
        return BrowseOutcome::NotRead;
    }
    return BrowseOutcome::Loaded;
}

}  // namespace lut
