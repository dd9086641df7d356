#include "sim/ImageFile.h"

#include <fstream>
#include <stdexcept>

namespace lut::sim {

namespace {

void AppendSafe(std::string_view text, std::string& name) {
    for (const char c : text) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '-' || c == '_';
        name.push_back(safe ? c : '_');
    }
}

}  // namespace

std::string ImageFileName(std::string_view serial, std::string_view version) {
    std::string name;
    AppendSafe(serial, name);
    name.push_back('_');
    AppendSafe(version, name);
    return name + ".bin";
}

std::filesystem::path WriteImage(const std::filesystem::path& dir, std::string_view serial,
                                 std::string_view version, std::string_view bytes) {
    const std::filesystem::path path = dir / ImageFileName(serial, version);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write the image file " + path.string());
    }
    return path;
}

}  // namespace lut::sim
