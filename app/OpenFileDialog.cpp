#include "app/OpenFileDialog.h"

#include <QFile>
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

std::filesystem::path PathOf(const QString& text) {
#ifdef Q_OS_WIN
    return std::filesystem::path(text.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

QString TextOf(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

OpenFileDialog::OpenFileDialog(QWidget* owner) : owner_(owner) {}

void OpenFileDialog::SetFileName(const std::filesystem::path& proposed) {
    fileName_ = TextOf(proposed);
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

std::filesystem::path OpenFileDialog::FileName() const {
    return PathOf(fileName_);
}

}  // namespace lut::app
