// dlgOpen1: the system's open-file dialog of Browse, with the filter "程序文件|*.bin" and no other
// settings of its own. It proposes the name it was given.
#pragma once

#include <filesystem>
#include <string>

#include "update/WindowOperations.h"
#include "win32/WinApi.h"

namespace lut::win32 {

class OpenFileDialog final : public FileDialog {
  public:
    explicit OpenFileDialog(HWND owner) : owner_(owner) {}

    void SetFileName(const std::filesystem::path& proposed) override;
    bool Execute() override;
    std::filesystem::path FileName() const override;

  private:
    HWND owner_;
    std::wstring fileName_;
};

}  // namespace lut::win32
