// The main window: its controls under their form names, one handler per control event, and WndProc,
// through which the endpoints' readability reaches the socket handler. Every handler forwards to the
// tool's core; the window only shows what the core decides.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "app/FrmmainLayout.h"
#include "app/FrmmainOperations.h"
#include "app/WindowDisplay.h"
#include "record/WindowRecord.h"
#include "update/ToolCore.h"
#include "update/workers/Pacer.h"

class QSocketNotifier;

namespace lut::app {

struct FrmmainSettings {
    ToolOptions tool;
    // lbl3's text instead of the address looked up when the window is shown.
    std::optional<QString> localAddress;
    // Empty: the machine's own look-up.
    std::function<std::string()> lookUpLocalAddress;
    // Empty: the real pacer. It outlives the window.
    Pacer* pacer = nullptr;
    // Empty: real modal boxes.
    BoxPresenter boxes;
    // Empty: the real open-file dialog.
    std::unique_ptr<FileDialog> dlgOpen1;
};

class TFrmmain final : public QWidget {
    Q_OBJECT

  public:
    explicit TFrmmain(FrmmainSettings settings = {});
    ~TFrmmain() override;

    // Window events.
    void FormShow();
    void FormActivate();
    void FormClose();
    void stat1DrawPanel(QRect panel);

    // Control events.
    void btnsearchClick();
    void btn1Click();
    void btnUPGClick();
    // Offers the machine's IPv4 addresses; the choice becomes the address whose subnet Search sweeps.
    void lbl3Click();

    // Messages from 1106 (the endpoints' notification) to 1206 go to HandleSocketMessage; true when the
    // message was taken, false when it is left to the window's default handling.
    bool WndProc(int message, std::intptr_t wParam, std::intptr_t lParam);
    // Reads one datagram for a notification (message 1106; the numbers above it carry no endpoint).
    void HandleSocketMessage(int message, std::intptr_t lParam);

    ToolCore& Core() { return core_; }
    FrmmainOperations& Operations() { return operations_; }

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ExplainStatus();
    // The core's next due moment (a search round, a request asked again, the version check) on the timer.
    void ScheduleTick();
    void WatchEndpoints();
    void Watch(NativeSocket socket);
    void ResumeWatching(std::intptr_t socket);

    FrmmainControls ui_;
    std::optional<QString> localAddress_;
    std::function<std::string()> lookUpLocalAddress_;
    std::unique_ptr<FileDialog> dlgOpen1_;
    FrmmainOperations operations_;
    WindowDisplay waker_;
    QString recordUnwritten_;  // why the record could not be written, once it could not
    record::WindowRecord record_;
    RealPacer pacer_;
    ToolCore core_;
    bool started_ = false;
    QTimer tick_;
    // Declared after the core, so they stop watching before the core closes the endpoints.
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
};

}  // namespace lut::app
