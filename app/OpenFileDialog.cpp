#include "app/OpenFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include "update/Messages.h"

namespace lut::app {

QString DialogFilter(std::string_view nameAndPattern) {
    const QString text =
        QString::fromUtf8(nameAndPattern.data(), static_cast<qsizetype>(nameAndPattern.size()));
    const qsizetype bar = text.indexOf(u'|');
    if (bar < 0) {
        return text;
    }
    return text.left(bar) + QStringLiteral(" (") + text.mid(bar + 1) + u')';
}

OpenFileDialog::OpenFileDialog(QWidget* owner) : owner_(owner) {}

void OpenFileDialog::SetFileName(const std::string& proposed) {
    fileName_ = QString::fromStdString(proposed);
}

bool OpenFileDialog::Execute() {
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(DialogFilter(text::FileFilter));
    if (!fileName_.isEmpty()) {
        const QFileInfo proposed(fileName_);
        dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    fileName_ = dialog.selectedFiles().front();
    return true;
}

std::string OpenFileDialog::FileName() const {
    return fileName_.toStdString();
}

}  // namespace lut::app
