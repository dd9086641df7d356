// The tests' window is the in-memory one the command line uses; beside it, a recording open-file dialog.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/MemoryWindow.h"

namespace lut::test {

using FakeWindow = MemoryWindow;

// The open-file dialog: answers the queued choices one per showing (an empty optional is a cancel; with
// nothing queued the user cancels), and records the name it proposed each time it was shown.
class FakeFileDialog final : public FileDialog {
  public:
    std::deque<std::optional<std::string>> choices;
    std::vector<std::string> proposedWhenShown;

    void SetFileName(const std::filesystem::path& proposed) override { fileName_ = proposed.string(); }

    bool Execute() override {
        proposedWhenShown.push_back(fileName_);
        if (choices.empty()) {
            return false;
        }
        const std::optional<std::string> choice = choices.front();
        choices.pop_front();
        if (!choice) {
            return false;
        }
        fileName_ = *choice;
        return true;
    }

    std::filesystem::path FileName() const override { return fileName_; }

  private:
    std::string fileName_;
};

}  // namespace lut::test
