#include "app/FrmmainOperations.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include <QByteArray>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>
#include <QTreeWidget>

#include "form/ProgressText.h"
#include "update/Messages.h"

namespace lut::app {

namespace {

// A logger's texts come off the network as bytes: the row shows them decoded, and keeps the bytes
// themselves, so that the update compares and sends exactly what the logger said.
constexpr int BytesRole = Qt::UserRole;

// The program's own texts (paths, messages) are UTF-8.
QString Shown(const std::string& text) {
    return QString::fromStdString(text);
}

// Texts to and from the loggers are 8-bit. Linux has no system code page for them; Latin-1 keeps every
// byte as one character (a byte above 127 never becomes U+FFFD) and every such character as its byte.
QString FromLoggerBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void SetCell(QTreeWidgetItem& item, int column, const std::string& bytes) {
    item.setText(column, FromLoggerBytes(bytes));
    item.setData(column, BytesRole, QByteArray::fromStdString(bytes));
}

std::string Cell(const QTreeWidgetItem& item, int column) {
    return item.data(column, BytesRole).toByteArray().toStdString();
}

QTreeWidgetItem& RowItem(const QTreeWidget& list, int index) {
    QTreeWidgetItem* item = list.topLevelItem(index);
    if (item == nullptr) {
        throw std::out_of_range("The logger list has no row " + std::to_string(index) + ".");
    }
    return *item;
}

}  // namespace

BoxPresenter ModalBoxes(QWidget* owner) {
    return [owner](const Box& box) {
        const auto icon = box.kind == BoxKind::Warning ? QMessageBox::Warning
                          : box.kind == BoxKind::Error ? QMessageBox::Critical
                                                       : QMessageBox::NoIcon;
        QMessageBox message(icon, box.caption, box.text, QMessageBox::Ok, owner);
        message.setWindowModality(Qt::ApplicationModal);
        if (box.kind == BoxKind::Plain) {
            // The plain message stands in the middle of the screen, not over the window. The box takes its
            // size when it is shown, so it is placed after that.
            message.show();
            const QScreen* screen = message.screen();
            message.move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, message.frameGeometry().size(),
                                             screen->availableGeometry())
                             .topLeft());
        }
        message.exec();
    };
}

FrmmainOperations::FrmmainOperations(const FrmmainControls& controls, BoxPresenter boxes,
                                     QString applicationTitle)
    : controls_(controls), boxes_(std::move(boxes)), applicationTitle_(std::move(applicationTitle)) {}

std::string FrmmainOperations::StatusText() const {
    return controls_.lbl6->text().toStdString();
}

void FrmmainOperations::SetStatusText(const std::string& text) {
    controls_.lbl6->setText(Shown(text));
}

void FrmmainOperations::SetStatusTip(const std::string& tip) {
    controls_.lbl6->setToolTip(Shown(tip));
}

std::string FrmmainOperations::LocalAddressText() const {
    return controls_.lbl3->text().toStdString();
}

void FrmmainOperations::ClearList() {
    controls_.lv1->clear();
}

void FrmmainOperations::AppendRow(const LoggerRow& row) {
    auto* item = new QTreeWidgetItem(controls_.lv1);
    SetCell(*item, form::SnColumn, row.sn);
    SetCell(*item, form::IpColumn, row.ip);
    SetCell(*item, form::VersionColumn, row.version);
}

int FrmmainOperations::RowCount() const {
    return controls_.lv1->topLevelItemCount();
}

LoggerRow FrmmainOperations::Row(int index) const {
    const QTreeWidgetItem& item = RowItem(*controls_.lv1, index);
    return {Cell(item, form::SnColumn), Cell(item, form::IpColumn), Cell(item, form::VersionColumn)};
}

void FrmmainOperations::SetRowCaption(int index, const std::string& caption) {
    SetCell(RowItem(*controls_.lv1, index), form::SnColumn, caption);
}

void FrmmainOperations::SetRowVersion(int index, const std::string& version) {
    SetCell(RowItem(*controls_.lv1, index), form::VersionColumn, version);
}

void FrmmainOperations::SetRowTip(int index, const std::string& tip) {
    QTreeWidgetItem& item = RowItem(*controls_.lv1, index);
    for (int column = 0; column < item.columnCount(); ++column) {
        item.setToolTip(column, FromLoggerBytes(tip));
    }
}

std::optional<int> FrmmainOperations::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = controls_.lv1->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return controls_.lv1->indexOfTopLevelItem(selected.front());
}

void FrmmainOperations::SetProgressMax(int maximum) {
    // A range of 0 to 0 turns the bar into an endless busy animation.
    progressBlocks_ = maximum;
    controls_.ProgressBar1->setMaximum(std::max(maximum, 1));
    controls_.ProgressBar1->setTextVisible(true);
    ShowProgressText();
}

void FrmmainOperations::SetProgressPosition(int position) {
    controls_.ProgressBar1->setValue(position);
    ShowProgressText();
}

void FrmmainOperations::AdvanceProgress() {
    SetProgressPosition(controls_.ProgressBar1->value() + 1);
}

void FrmmainOperations::EndProgress() {
    controls_.ProgressBar1->setValue(0);
    controls_.ProgressBar1->setFormat(QString());
}

void FrmmainOperations::ShowProgressText() {
    const QProgressBar& bar = *controls_.ProgressBar1;
    controls_.ProgressBar1->setFormat(
        QString::fromStdString(form::ProgressText(bar.value() - bar.minimum(), progressBlocks_)));
}

std::string FrmmainOperations::FilePathText() const {
    return controls_.redt2->toPlainText().toStdString();
}

void FrmmainOperations::SetFilePathText(const std::string& path) {
    controls_.redt2->setPlainText(Shown(path));
}

// While edt1 shows the version Browse took from the file name, the request carries the name's own bytes
// (a name is UTF-8, or bytes that do not even decode). A version typed over it goes out one byte for each
// character, as the list shows a logger's version.
std::string FrmmainOperations::VersionText() const {
    const QString shown = controls_.edt1->text();
    if (shown == Shown(versionFromName_)) {
        return versionFromName_;
    }
    if (std::any_of(shown.begin(), shown.end(), [](QChar c) { return c.unicode() > 0xFF; })) {
        throw std::runtime_error(std::string(text::VersionCannotTravel) + "\"" + shown.toStdString() + "\"");
    }
    return shown.toLatin1().toStdString();
}

void FrmmainOperations::SetVersionText(const std::string& version) {
    versionFromName_ = version;
    controls_.edt1->setText(Shown(version));
}

void FrmmainOperations::ShowWarning(const std::string& message) {
    boxes_({BoxKind::Warning, Shown(std::string(text::HintCaption)), Shown(message)});
}

void FrmmainOperations::ShowPlainMessage(const std::string& message) {
    boxes_({BoxKind::Plain, applicationTitle_, Shown(message)});
}

void FrmmainOperations::ShowError(const std::string& message) {
    boxes_({BoxKind::Error, applicationTitle_, Shown(message)});
}

}  // namespace lut::app
