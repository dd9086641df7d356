// dlgOpen1: the open-file dialog of Browse, with the filter "程序文件 (*.bin)". It remembers the last
// accepted file and proposes it next time.
#pragma once

#include <string>
#include <string_view>

#include <QString>

#include "update/WindowOperations.h"

class QWidget;

namespace lut::app {

// "name|pattern" as the dialog's filter "name (pattern)".
QString DialogFilter(std::string_view nameAndPattern);

class OpenFileDialog final : public FileDialog {
  public:
    explicit OpenFileDialog(QWidget* owner);

    void SetFileName(const std::string& proposed) override;
    bool Execute() override;
    std::string FileName() const override;

  private:
    QWidget* owner_;
    QString fileName_;
};

}  // namespace lut::app
