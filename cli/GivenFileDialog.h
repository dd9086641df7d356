// The open-file dialog of Browse, answered by the --file of the command line.
#pragma once

#include <filesystem>
#include <string_view>

#include "update/WindowOperations.h"
#include "update/image/UpdateImage.h"

namespace lut::cli {

class GivenFileDialog final : public FileDialog {
  public:
    // The name as UTF-8 text, as the command line gives it on every system.
    explicit GivenFileDialog(std::string_view name) : path_(PathFromText(name)) {}
    void SetFileName(const std::filesystem::path&) override {}
    bool Execute() override { return true; }
    std::filesystem::path FileName() const override { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace lut::cli
