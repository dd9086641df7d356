// The open-file dialog of Browse, answered by the --file of the command line.
#pragma once

#include <string>

#include "update/WindowOperations.h"

namespace lut::cli {

class GivenFileDialog final : public FileDialog {
  public:
    explicit GivenFileDialog(std::string path) : path_(std::move(path)) {}
    void SetFileName(const std::string&) override {}
    bool Execute() override { return true; }
    std::string FileName() const override { return path_; }

  private:
    std::string path_;
};

}  // namespace lut::cli
