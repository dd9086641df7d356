#include "app/WindowDisplay.h"

#include <QMetaObject>

#include "update/TimeLeft.h"

namespace lut::app {

QString ProgressText(int sent, int total) {
    if (sent >= total) {
        return QStringLiteral("%1 of %1 blocks sent").arg(total);
    }
    return QStringLiteral("%1 of %2 blocks, %3 left")
        .arg(sent)
        .arg(total)
        .arg(QString::fromStdString(TimeLeft(total - sent)));
}

WindowDisplay::WindowDisplay(QObject& context, std::function<void()> takeReports)
    : context_(context), takeReports_(std::move(takeReports)) {}

void WindowDisplay::Wake() {
    QMetaObject::invokeMethod(&context_, takeReports_, Qt::QueuedConnection);
}

}  // namespace lut::app
