// Build-time tool: writes the tool's icon, as the form draws it, to an .ico file with one 32-bit image of
// each size (128, 64, 48, 32 and 16 pixels square). Built for the machine that builds, also when the
// program itself is cross-compiled.
//
//     make-icon OUTPUT.ico
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "form/ToolIcon.h"

namespace {

void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One image as the icon format keeps it: a bitmap header of double height (colour and mask), the BGRA
// rows bottom-up, then the 1-bit mask rows (set where the pixel is fully transparent), each row padded to
// 4 bytes.
std::string IconEntry(const lut::form::IconImage& image) {
    const int size = image.size;
    const int maskRow = ((size + 31) / 32) * 4;
    std::string out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, static_cast<std::uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);  // BI_RGB
    Put32(out, static_cast<std::uint32_t>(size * size * 4 + maskRow * size));
    for (int i = 0; i < 4; ++i) {
        Put32(out, 0);
    }
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            out += static_cast<char>(p[2]);
            out += static_cast<char>(p[1]);
            out += static_cast<char>(p[0]);
            out += static_cast<char>(p[3]);
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(maskRow));
        for (int x = 0; x < size; ++x) {
            if (image.rgba[(static_cast<std::size_t>(y) * size + x) * 4 + 3] == 0) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        out.append(row.begin(), row.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon OUTPUT.ico\n");
        return 2;
    }
    std::vector<std::string> entries;
    for (const int size : lut::form::ToolIconSizes) {
        entries.push_back(IconEntry(lut::form::DrawToolIcon(size)));
    }
    std::string file;
    Put16(file, 0);
    Put16(file, 1);  // icon
    Put16(file, static_cast<unsigned>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int size = lut::form::ToolIconSizes[i];
        file += static_cast<char>(size >= 256 ? 0 : size);
        file += static_cast<char>(size >= 256 ? 0 : size);
        file += '\0';  // no palette
        file += '\0';
        Put16(file, 1);   // planes
        Put16(file, 32);  // bits a pixel
        Put32(file, static_cast<std::uint32_t>(entries[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(entries[i].size());
    }
    for (const std::string& entry : entries) {
        file += entry;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::fprintf(stderr, "make-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
