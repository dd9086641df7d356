#include "app/WindowDisplay.h"

#include <chrono>

#include <QMetaObject>

#include "link/uPubpro.h"

namespace lut::app {

QString ProgressText(int sent, int total) {
    if (sent >= total) {
        return QStringLiteral("%1 of %1 blocks sent").arg(total);
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::seconds>((total - sent) * BlockDelay + FinishDelay);
    const auto minutes = left.count() / 60;
    const auto seconds = left.count() % 60;
    return QStringLiteral("%1 of %2 blocks, %3:%4 left")
        .arg(sent)
        .arg(total)
        .arg(minutes)
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

WindowDisplay::WindowDisplay(QObject& context, std::function<void()> takeReports)
    : context_(context), takeReports_(std::move(takeReports)) {}

void WindowDisplay::Wake() {
    QMetaObject::invokeMethod(&context_, takeReports_, Qt::QueuedConnection);
}

}  // namespace lut::app
