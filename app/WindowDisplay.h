// The workers' view of the window: every call is queued to the GUI thread, so each worker's changes
// arrive in the order it made them and no worker touches a widget. Beyond the bare bar, the progress
// bar tells how many blocks went out and how long the rest will take at the fixed pace.
#pragma once

#include "update/WorkerDisplay.h"

class QLabel;
class QObject;
class QProgressBar;

namespace lut::app {

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
