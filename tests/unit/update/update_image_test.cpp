#include "update/image/UpdateImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "FakeWindow.h"
#include "TempDir.h"
#include "update/Messages.h"

namespace lut {
namespace {

namespace fs = std::filesystem;
using test::FakeFileDialog;
using test::FakeWindow;
using test::TempDir;
using Kind = FakeWindow::Kind;

std::string CountingBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

TEST(HexText, EveryByteValueBecomesTwoUpperCaseDigitsHighFirst) {
    EXPECT_EQ(HexText(std::string("\x0A", 1)), "0A");
    EXPECT_EQ(HexText(std::string("\xFF\x00", 2)), "FF00");
    EXPECT_EQ(HexText(""), "");

    std::string all;
    std::string expected;
    for (int value = 0; value < 256; ++value) {
        all.push_back(static_cast<char>(value));
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", value);
        expected += digits;
    }
    EXPECT_EQ(HexText(all), expected);
}

TEST(ImageBlocks, FileSizeGivesTextLengthBlockCountAndLastBlock) {
    struct Case {
        std::size_t bytes;
        std::size_t blocks;
        std::size_t lastBlockChars;
    };
    const Case cases[] = {{0, 0, 0}, {1, 1, 2}, {300, 1, 600}, {301, 2, 2}, {600, 2, 600}, {1000, 4, 200}};
    const TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string content = CountingBytes(c.bytes);
        const std::string image = ReadImageFile(dir.Write("S" + std::to_string(c.bytes), content));

        EXPECT_EQ(image, HexText(content));
        EXPECT_EQ(BlockCountOf(image), c.blocks);
        if (c.blocks > 0) {
            EXPECT_EQ(BlockOf(image, c.blocks - 1).size(), c.lastBlockChars);
        }
        EXPECT_TRUE(BlockOf(image, c.blocks).empty());

        std::string joined;
        for (std::size_t i = 0; i < BlockCountOf(image); ++i) {
            joined += BlockOf(image, i);
        }
        EXPECT_EQ(joined, image) << "the blocks must cover the image exactly, in order";
    }
}

TEST(ImageBlocks, BlockIndexFarBeyondTheEndIsEmpty) {
    const std::string image(1200, 'A');
    EXPECT_TRUE(BlockOf(image, 2).empty());
    EXPECT_TRUE(BlockOf(image, static_cast<std::size_t>(-1)).empty());
}

TEST(FileNames, VersionIsTheFileNameWithoutItsExtension) {
    struct Case {
        const char* path;
        const char* name;
        const char* version;
    };
    const Case cases[] = {
        {"/home/tech/S1.0.2.bin", "S1.0.2.bin", "S1.0.2"},
        {"/home/tech/fw.v2/Sfw", "Sfw", "Sfw"},
        {"/home/tech/Sabc.", "Sabc.", "Sabc"},
        {"C:\\Loggers\\fw.v2\\S2.1.bin", "S2.1.bin", "S2.1"},
        {"C:S100", "S100", "S100"},
        {"S100.hex", "S100.hex", "S100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileNamePart(c.path), c.name);
        EXPECT_EQ(VersionFromFileName(c.path), c.version);
    }
}

TEST(ReadImageFile, RefusesAFileWhoseContentDisagreesWithItsSize) {
    // Reading more than the size taken at opening (the file still grows): cutting it would send a
    // truncated image.
    EXPECT_THROW(ReadImageFile("/proc/self/status"), std::runtime_error);

    // Reading fewer bytes than that size (the file shrank): padding it with zeros would send garbage.
    const std::string shrinking = "/sys/class/net/lo/mtu";
    std::error_code error;
    if (fs::file_size(shrinking, error) <= 16 || error) {
        GTEST_SKIP() << "no file here that reports more bytes than it holds";
    }
    try {
        ReadImageFile(shrinking);
        ADD_FAILURE() << "a short read was taken as the whole file";
    } catch (const std::runtime_error& failure) {
        EXPECT_EQ(std::string(failure.what()).rfind("Cannot read file \"" + shrinking + "\". ", 0), 0u)
            << failure.what();
    }
}

class Browse : public testing::Test {
  protected:
    void Choose(const std::optional<std::string>& choice) {
        dialog.choices.push_back(choice);
        outcome = btn1Click(window, dialog, LoadedImage);
    }

    void ExpectUnchanged(const std::string& path, const std::string& version, const std::string& image) {
        EXPECT_EQ(window.filePath, path);
        EXPECT_EQ(window.version, version);
        EXPECT_EQ(*LoadedImage, image);
    }

    TempDir dir;
    FakeWindow window;
    FakeFileDialog dialog;
    ImageText LoadedImage = ShareImage({});
    BrowseOutcome outcome = BrowseOutcome::Loaded;
};

TEST_F(Browse, CancelOrAnEmptyPathChangesNothing) {
    const std::string first = dir.Write("S1.bin", "\x01");
    Choose(first);
    for (const std::optional<std::string>& choice :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        Choose(choice);
        EXPECT_EQ(outcome, BrowseOutcome::Cancelled);
        ExpectUnchanged(first, "S1", "01");
    }
    EXPECT_TRUE(window.log.empty());
}

TEST_F(Browse, LoadsTheFileAndShowsPathAndVersion) {
    const std::string path = dir.Write("S1.0.2.bin", std::string("\x0A\xFF\x00", 3));
    Choose(path);

    EXPECT_EQ(outcome, BrowseOutcome::Loaded);
    ExpectUnchanged(path, "S1.0.2", "0AFF00");
    EXPECT_TRUE(window.log.empty());
    EXPECT_EQ(dialog.proposedWhenShown, std::vector<std::string>{""});
}

TEST_F(Browse, AnEmptyFileIsAcceptedAndEmptiesTheImage) {
    LoadedImage = ShareImage("ABCD");
    const std::string path = dir.Write("Sempty.bin", "");
    Choose(path);

    ExpectUnchanged(path, "Sempty", "");
    EXPECT_TRUE(window.log.empty());
}

TEST_F(Browse, ANameNotBeginningWithCapitalSGetsThePlainMessageAndChangesNothing) {
    const std::string first = dir.Write("S1.0.2.bin", "\x10");
    Choose(first);

    for (const char* name : {"s1.0.3.bin", "fw.bin", "xS1.bin"}) {
        SCOPED_TRACE(name);
        window.log.clear();
        const std::string bad = dir.Write(name, "\x20");
        Choose(bad);

        EXPECT_EQ(outcome, BrowseOutcome::NameNotS);
        EXPECT_EQ(dialog.proposedWhenShown.back(), first) << "the dialog opens at the last accepted file";
        EXPECT_EQ(window.log,
                  (std::vector<FakeWindow::Shown>{{Kind::Plain, std::string(text::VersionMustBeginWithS)}}));
        ExpectUnchanged(first, "S1.0.2", "10");
    }
}

TEST_F(Browse, AFileThatVanishedAfterTheChoiceIsReportedAndEmptiesTheImage) {
    Choose(dir.Write("S1.bin", "\x01"));
    const std::string gone = dir.PathOf("S2.bin");
    Choose(gone);

    EXPECT_EQ(outcome, BrowseOutcome::NotRead);
    ExpectUnchanged(gone, "S2", "");
    const std::vector<std::string> errors = window.Texts(Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    const std::string opening = "Cannot open file \"" + gone + "\". ";
    EXPECT_EQ(errors[0].rfind(opening, 0), 0u) << errors[0];
    EXPECT_GT(errors[0].size(), opening.size()) << "the system's description of the failure is missing";
}

TEST_F(Browse, AFolderIsReportedAndEmptiesTheImage) {
    Choose(dir.Write("S1.bin", "\x01"));
    const std::string folder = dir.PathOf("Sfolder.v2");
    fs::create_directory(folder);
    Choose(folder);

    ExpectUnchanged(folder, "Sfolder", "");
    const std::vector<std::string> errors = window.Texts(Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Cannot open file \"" + folder + "\". ", 0), 0u) << errors[0];
}

TEST_F(Browse, AFileThatCannotBeOpenedForReadingIsReportedAndEmptiesTheImage) {
    Choose(dir.Write("S1.bin", "\x01"));
    // Root reads any file, so the path leads through a plain file as if it were a folder.
    const std::string unreadable = dir.Write("plainfile", "\x02") + "/S2.bin";
    Choose(unreadable);
#ifdef _WIN32
    const std::string why = "No such file or directory";  // Windows finds no such path
#else
    const std::string why = "Not a directory";
#endif

    ExpectUnchanged(unreadable, "S2", "");
    EXPECT_EQ(window.Texts(Kind::Error),
              std::vector<std::string>{"Cannot open file \"" + unreadable + "\". " + why});
}

TEST_F(Browse, FilesUpTo65535BlocksLoadAndLargerOnesAreRefusedWithTheLimit) {
    struct Case {
        std::uintmax_t bytes;
        bool loads;
    };
    const Case cases[] = {{65'535 * 300, true}, {65'535 * 300 + 1, false}, {64 * 1024 * 1024, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        window.log.clear();
        Choose(dir.Write("S1.bin", "\x01"));
        const std::string big = dir.Write("Sbig.bin", "");
        fs::resize_file(big, c.bytes);  // sparse: costs no disk
        Choose(big);

        EXPECT_EQ(window.filePath, big);
        if (c.loads) {
            EXPECT_TRUE(window.log.empty());
            EXPECT_EQ(LoadedImage->size(), 2 * c.bytes);
            EXPECT_EQ(BlockCountOf(*LoadedImage), 65'535U);
            EXPECT_EQ(LoadedImage->find_first_not_of('0'), std::string::npos);
            continue;
        }
        EXPECT_EQ(*LoadedImage, "");
        EXPECT_EQ(
            window.Texts(Kind::Error),
            std::vector<std::string>{"Cannot load file \"" + big + "\". It holds " + std::to_string(c.bytes) +
                                     " bytes. " + std::string(text::ImageTooLarge)});
        EXPECT_NE(window.Texts(Kind::Error)[0].find("19,660,500 bytes"), std::string::npos);
    }
}

}  // namespace
}  // namespace lut
