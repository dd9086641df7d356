#include "app/Frmmain.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QStyle>

#include "app/Appearance.h"
#include "app/OpenFileDialog.h"
#include "app/WindowMessage.h"
#include "form/FrmmainForm.h"
#include "link/LocalAddress.h"
#include "link/uPubpro.h"
#include "update/Messages.h"
#include "update/OpenFailure.h"
#include "update/image/UpdateImage.h"

namespace lut::app {

namespace {

constexpr int EventCodeMask = 0xFFFF;  // the notification's event code; the high half is not looked at

}  // namespace

TFrmmain::TFrmmain(FrmmainSettings settings)
    : ui_(BuildFrmmainControls(*this)),
      localAddress_(std::move(settings.localAddress)),
      lookUpLocalAddress_(settings.lookUpLocalAddress ? std::move(settings.lookUpLocalAddress)
                                                      : std::function<std::string()>(LocalAddressText)),
      dlgOpen1_(settings.dlgOpen1 ? std::move(settings.dlgOpen1) : std::make_unique<OpenFileDialog>(this)),
      operations_(ui_, settings.boxes ? std::move(settings.boxes) : ModalBoxes(this),
                  ApplicationTitle(QCoreApplication::applicationFilePath())),
      waker_(*this,
             [this] {
                 core_.HandleWorkerReports();
                 ScheduleTick();
             }),
      record_([this](const std::string& unwritten) {
          recordUnwritten_ = QString::fromStdString(unwritten);
          ExplainStatus();
      }),
      core_(operations_, waker_, settings.pacer != nullptr ? *settings.pacer : pacer_,
            std::move(settings.tool)) {
    core_.SetObserver(&record_);
    core_.SetTickListener([this] { ScheduleTick(); });
    setObjectName(QStringLiteral("Frmmain"));
    setWindowTitle(QString::fromUtf8(text::Caption.data(), static_cast<qsizetype>(text::Caption.size())));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(ToolIcon());
    setGeometry(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, ClientSize, screen()->availableGeometry()));
    ArrangeFrmmain(ui_, ClientSize);

    ui_.lbl3->setCursor(Qt::PointingHandCursor);
    ui_.lbl3->setToolTip(
        QString::fromUtf8(form::lbl3Hint.data(), static_cast<qsizetype>(form::lbl3Hint.size())));
    ui_.lbl3->installEventFilter(this);
    ui_.stat1->installEventFilter(this);

    tick_.setSingleShot(true);
    connect(&tick_, &QTimer::timeout, this, [this] {
        core_.Tick();
        ScheduleTick();
    });
    connect(ui_.btnsearch, &QPushButton::clicked, this, &TFrmmain::btnsearchClick);
    connect(ui_.btn1, &QPushButton::clicked, this, &TFrmmain::btn1Click);
    connect(ui_.btnUPG, &QPushButton::clicked, this, &TFrmmain::btnUPGClick);
}

TFrmmain::~TFrmmain() = default;

void TFrmmain::FormShow() {
    core_.Guarded([this] {
        const QString address =
            localAddress_ ? *localAddress_ : QString::fromStdString(lookUpLocalAddress_());
        SetAutoSizeText(*ui_.lbl3, address);
    });
}

void TFrmmain::FormActivate() {
    if (started_) {
        return;
    }
    started_ = true;
    core_.StartUp();
    core_.Guarded([this] {
        ExplainStatus();
        WatchEndpoints();
    });
}

// The status line keeps its texts; the reasons (port taken, port 23 without the privilege, probes the
// system refused, a record that could not be written) wait in its tooltip for the technician who needs
// them.
void TFrmmain::ExplainStatus() {
    QStringList reasons;
    const auto add = [&reasons](const char* name, const BindRecord& bind, std::error_code why) {
        if (why) {
            reasons << QString::fromStdString(OpenFailure(name, bind, why, "logger-update-tool"));
        }
    };
    add("Update", core_.Link().UpdateBindAddress, core_.UpdateOpenError());
    add("Discovery", core_.Link().DiscoveryBindAddress, core_.DiscoveryOpenError());
    if (const std::string sweep = SweepFailure(core_.LastSweep()); !sweep.empty()) {
        reasons << QString::fromStdString(sweep);
    }
    if (!recordUnwritten_.isEmpty()) {
        reasons << recordUnwritten_;
    }
    ui_.lbl6->setToolTip(reasons.join(QLatin1Char('\n')));
}

void TFrmmain::ScheduleTick() {
    if (const std::optional<std::chrono::milliseconds> due = core_.UntilTick()) {
        tick_.start(*due);
    } else {
        tick_.stop();
    }
}

void TFrmmain::FormClose() {
    tick_.stop();
    notifiers_.clear();
    core_.Shutdown();
    record_.Close();
}

void TFrmmain::stat1DrawPanel(QRect panel) {
    QProgressBar& bar = *ui_.ProgressBar1;
    if (bar.parentWidget() != ui_.stat1) {
        bar.setParent(ui_.stat1);
        bar.show();
        // The grip stays usable at the bar's right end, over the last pixels of the panel.
        if (auto* grip = ui_.stat1->findChild<QSizeGrip*>()) {
            grip->raise();
        }
    }
    bar.setGeometry(ToQRect(form::ProgressBarPlace(panel.left(), panel.top(), panel.left() + panel.width(),
                                                   panel.top() + panel.height())));
}

void TFrmmain::btnsearchClick() {
    core_.btnsearchClick();
    ExplainStatus();
    ScheduleTick();
}

void TFrmmain::btn1Click() {
    core_.btn1Click(*dlgOpen1_);
    record_.Loaded(core_.LoadedFile(), core_.LoadedImage());
}

void TFrmmain::btnUPGClick() {
    core_.btnUPGClick();
    ScheduleTick();
}

void TFrmmain::lbl3Click() {
    core_.Guarded([this] {
        QMenu menu(this);
        menu.setObjectName(QStringLiteral("lbl3Menu"));
        for (const InterfaceAddress& entry : MachineAddresses()) {
            const QString address = QString::fromStdString(entry.address);
            QAction* action = menu.addAction(
                QStringLiteral("%1  (%2)").arg(address, QString::fromStdString(entry.interfaceName)));
            action->setData(address);
            action->setCheckable(true);
            action->setChecked(address == ui_.lbl3->text());
        }
        if (menu.isEmpty()) {
            menu.addAction(QStringLiteral("No IPv4 address is up"))->setEnabled(false);
        }
        const QAction* chosen = menu.exec(ui_.lbl3->mapToGlobal(QPoint(0, ui_.lbl3->height())));
        if (chosen != nullptr && chosen->data().isValid()) {
            SetAutoSizeText(*ui_.lbl3, chosen->data().toString());
        }
    });
}

bool TFrmmain::WndProc(int message, std::intptr_t /*wParam*/, std::intptr_t lParam) {
    if (message < SocketNotifyMessage || message > SocketNotifyLastMessage) {
        return false;
    }
    HandleSocketMessage(message, lParam);
    return true;
}

void TFrmmain::HandleSocketMessage(int message, std::intptr_t lParam) {
    if (message != SocketNotifyMessage) {
        return;
    }
    core_.HandleSocketMessage(static_cast<int>(lParam & EventCodeMask));
    ScheduleTick();
}

bool TFrmmain::event(QEvent* event) {
    if (event->type() == WindowMessage::EventType) {
        const auto& message = static_cast<const WindowMessage&>(*event);
        ResumeWatching(message.WParam());
        if (WndProc(message.Message(), message.WParam(), message.LParam())) {
            return true;
        }
    }
    return QWidget::event(event);
}

bool TFrmmain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.stat1 && event->type() == QEvent::Resize) {
        stat1DrawPanel(StatusPanelRect(*ui_.stat1));
    } else if (watched == ui_.lbl3 && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        lbl3Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmmain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TFrmmain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void TFrmmain::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TFrmmain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ArrangeFrmmain(ui_, size());
}

// Each readable endpoint posts message 1106 once and then waits until that message has been taken, so
// that a datagram waiting to be read does not flood the queue; like the platform's own notification, it
// is re-armed before the read, and fires again if more is waiting afterwards.
void TFrmmain::WatchEndpoints() {
    Watch(core_.Link().UpdateSocket.Handle());
    Watch(core_.Link().DiscoverySocket.Handle());
}

void TFrmmain::Watch(NativeSocket socket) {
    if (socket == InvalidSocket) {
        return;
    }
    auto notifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read, this);
    QSocketNotifier* watching = notifier.get();
    connect(watching, &QSocketNotifier::activated, this, [this, watching] {
        watching->setEnabled(false);
        QCoreApplication::postEvent(
            this, new WindowMessage(SocketNotifyMessage, static_cast<std::intptr_t>(watching->socket()),
                                    ReadEvent));
    });
    notifiers_.push_back(std::move(notifier));
}

void TFrmmain::ResumeWatching(std::intptr_t socket) {
    for (const auto& notifier : notifiers_) {
        if (static_cast<std::intptr_t>(notifier->socket()) == socket) {
            notifier->setEnabled(true);
        }
    }
}

}  // namespace lut::app
