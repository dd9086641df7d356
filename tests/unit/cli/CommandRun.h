// Running a command in-process as main() would, with string streams, a fast pacer and a temporary folder
// for update files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "FakeLogger.h"
#include "FastPacer.h"
#include "TestPlatform.h"
#include "cli/Commands.h"

namespace lut::cli::test {

struct CommandResult {
    int code;
    std::string out;
    std::string err;
};

// Every run on loopback: the tool binds 127.0.0.1, which is also the address whose subnet is swept.
inline CommonOptions LoopbackOptions(const FakeLogger& logger, std::chrono::milliseconds wait) {
    CommonOptions options;
    options.localAddress = "127.0.0.1";
    options.tool = {"127.0.0.1", logger.UpdatePort(), logger.DiscoveryPort()};
    options.wait = wait;
    return options;
}

class CommandRun : public ::testing::Test {
  protected:
    // A pause of 200 ms takes 10 ms, so a query comes every 150 ms: still ample for a loopback answer.
    static constexpr int SpeedUp = 20;

    // Every run talks to fake loggers at 127.0.0.2 and above, which answer from their own address. The
    // update record goes into the test's folder, never into the home of the machine.
    void SetUp() override {
        LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
        KeepRecord();
    }

    void KeepRecord() { record_ = lut::test::KeepRecordIn(folder_ / "state"); }

    void TearDown() override { std::filesystem::remove_all(folder_); }

    // The update record's file, as the runs of this test write it.
    const std::filesystem::path& RecordFile() const { return record_; }

    // A file of `bytes` bytes (0, 7, 14, ...) in the test's folder.
    std::string File(const std::string& name, std::size_t bytes) {
        std::filesystem::create_directories(folder_);
        const auto path = folder_ / name;
        std::ofstream file(path, std::ios::binary);
        for (std::size_t i = 0; i < bytes; ++i) {
            file.put(static_cast<char>(i * 7));
        }
        return path.string();
    }

    // What the logger should hold after the update: the file as upper-case hexadecimal text.
    static std::string Hex(std::size_t bytes) {
        static constexpr char Digits[] = "0123456789ABCDEF";
        std::string text;
        for (std::size_t i = 0; i < bytes; ++i) {
            const auto byte = static_cast<unsigned char>(i * 7);
            text += Digits[byte >> 4];
            text += Digits[byte & 0x0F];
        }
        return text;
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // `beforePause`: see FastPacer.
    template <typename Options>
    CommandResult Run(const Options& options, bool terminal = false,
                      NativeSocket interruptHandle = InvalidSocket, std::function<void()> beforePause = {}) {
        FastPacer pacer(SpeedUp, std::move(beforePause));
        std::ostringstream out;
        std::ostringstream err;
        const RunContext context{out, err, terminal, pacer, interruptHandle};
        int code = 0;
        if constexpr (std::is_same_v<Options, SearchOptions>) {
            code = RunSearch(options, context);
        } else if constexpr (std::is_same_v<Options, HistoryOptions>) {
            code = RunHistory(options, context);
        } else {
            code = RunUpdate(options, context);
        }
        return {code, out.str(), err.str()};
    }

  private:
    const std::filesystem::path folder_ = std::filesystem::temp_directory_path() /
                                          ("lut-cli-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::path record_;
};

}  // namespace lut::cli::test
