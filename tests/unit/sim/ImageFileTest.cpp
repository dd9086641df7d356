// Completed images on disk: named after the logger and the version, never outside the output folder.
#include "sim/ImageFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace lut::sim {
namespace {

TEST(SimImageFile, NameKeepsSafeCharactersOnly) {
    struct Case {
        std::string_view serial;
        std::string_view version;
        const char* expected;
    };
    for (const Case& c :
         {Case{"SN0001", "S1.02", "SN0001_S1.02.bin"}, Case{"SN0001", "", "SN0001_.bin"},
          Case{"SN0001", "../../etc/passwd", "SN0001_.._.._etc_passwd.bin"},
          Case{"A B", "S\x01\\x", "A_B_S__x.bin"}, Case{"12345", "S-1_0", "12345_S-1_0.bin"}}) {
        EXPECT_EQ(ImageFileName(c.serial, c.version), c.expected);
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(SimImageFile, WritesTheBytesAsTheyAreAndReplacesAnOlderFile) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "sim_image_file_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    const std::string older(1000, 'x');
    const std::string bytes(
        "\x00\xFF\r\n\x1A"
        "data",
        9);
    WriteImage(dir, "SN1", "S1.02", older);
    const std::filesystem::path path = WriteImage(dir, "SN1", "S1.02", bytes);
    EXPECT_EQ(path, dir / "SN1_S1.02.bin");
    EXPECT_EQ(ReadFile(path), bytes);

    EXPECT_THROW(WriteImage(dir / "missing", "SN1", "S1.02", bytes), std::runtime_error);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lut::sim
