// dlgOpen1: the open-file dialog of Browse, with the filter "程序文件 (*.bin)". It remembers the last
// accepted file and proposes it next time.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <QString>

#include "update/WindowOperations.h"

class QWidget;

namespace lut::app {

// "name|pattern" as the dialog's filter "name (pattern)".
QString DialogFilter(std::string_view nameAndPattern);

// A path between the dialog's text and the file system, in the system's own encoding of file names.
std::filesystem::path PathOf(const QString& text);
QString TextOf(const std::filesystem::path& path);

class OpenFileDialog final : public FileDialog {
  public:
    explicit OpenFileDialog(QWidget* owner);

    void SetFileName(const std::filesystem::path& proposed) override;
    bool Execute() override;
    std::filesystem::path FileName() const override;

  private:
    QWidget* owner_;
    QString fileName_;
};

}  // namespace lut::app
