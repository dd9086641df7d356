#include "app/WindowDisplay.h"

#include <chrono>

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>

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

WindowDisplay::WindowDisplay(QObject& context, QProgressBar& bar, QLabel& status)
    : context_(context), bar_(bar), status_(status) {}

template <typename Change>
void WindowDisplay::OnGuiThread(Change change) {
    QMetaObject::invokeMethod(&context_, std::move(change), Qt::QueuedConnection);
}

void WindowDisplay::SetProgressMax(int maximum) {
    OnGuiThread([this, maximum] {
        bar_.setMaximum(maximum);
        bar_.setTextVisible(true);
        ShowProgressText();
    });
}

void WindowDisplay::SetProgressPosition(int position) {
    OnGuiThread([this, position] {
        bar_.setValue(position);
        ShowProgressText();
    });
}

void WindowDisplay::AdvanceProgress() {
    OnGuiThread([this] {
        bar_.setValue(bar_.value() + 1);
        ShowProgressText();
    });
}

void WindowDisplay::SetStatus(const std::string& text) {
    OnGuiThread([this, shown = QString::fromStdString(text)] { status_.setText(shown); });
}

void WindowDisplay::ShowProgressText() {
    bar_.setFormat(ProgressText(bar_.value() - bar_.minimum(), bar_.maximum() - bar_.minimum()));
}

}  // namespace lut::app
