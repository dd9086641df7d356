// The open-file dialog of Browse, answered by the --file of the command line.
#pragma once

#include <filesystem>

#include "update/WindowOperations.h"

namespace lut::cli {

class GivenFileDialog final : public FileDialog {
  public:
    explicit GivenFileDialog(std::filesystem::path path) : path_(std::move(path)) {}
    void SetFileName(const std::filesystem::path&) override {}
    bool Execute() override { return true; }
    std::filesystem::path FileName() const override { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace lut::cli
