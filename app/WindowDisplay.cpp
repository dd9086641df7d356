#include "app/WindowDisplay.h"

#include <QMetaObject>

namespace lut::app {

WindowDisplay::WindowDisplay(QObject& context, std::function<void()> takeReports)
    : context_(context), takeReports_(std::move(takeReports)) {}

void WindowDisplay::Wake() {
    QMetaObject::invokeMethod(&context_, takeReports_, Qt::QueuedConnection);
}

}  // namespace lut::app
