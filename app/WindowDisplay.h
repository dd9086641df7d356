// The workers' view of the window: every call is queued to the GUI thread, so each worker's changes
// arrive in the order it made them and no worker touches a widget. Beyond the bare bar, the progress
// bar tells how many blocks went out and how long the rest will take at the fixed pace.
#pragma once

#include <QString>

#include "update/WorkerDisplay.h"

class QLabel;
class QObject;
class QProgressBar;

namespace lut::app {

// "12 of 300 blocks, 1:03 left": the remaining blocks at one per 200 ms, then the 5000 ms before the
// result is asked for. Once every block is out: "300 of 300 blocks sent".
QString ProgressText(int sent, int total);

class WindowDisplay final : public WorkerDisplay {
  public:
    // The context is the object whose thread carries the calls out (the window).
    WindowDisplay(QObject& context, QProgressBar& bar, QLabel& status);

    void SetProgressMax(int maximum) override;
    void SetProgressPosition(int position) override;
    void AdvanceProgress() override;
    void SetStatus(const std::string& text) override;

  private:
    template <typename Change>
    void OnGuiThread(Change change);
    void ShowProgressText();

    QObject& context_;
    QProgressBar& bar_;
    QLabel& status_;
};

}  // namespace lut::app
