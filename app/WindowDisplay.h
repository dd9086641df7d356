// How the workers' reports reach the window: the waker queues a call to the GUI thread, which takes the
// reports in the order they were made, so that no worker touches a widget. Beyond the bare bar, the
// progress bar tells how many blocks went out and how long the rest will take at the fixed pace.
#pragma once

#include <functional>

#include <QString>

#include "update/WorkerReports.h"

class QObject;

namespace lut::app {

// "12 of 300 blocks, 1:03 left": the remaining blocks at one per 200 ms, then the 5000 ms before the
// result is asked for. Once every block is out: "300 of 300 blocks sent".
QString ProgressText(int sent, int total);

class WindowDisplay final : public Waker {
  public:
    // The context is the object whose thread carries the calls out (the window); takeReports hands the
    // waiting reports to the core.
    WindowDisplay(QObject& context, std::function<void()> takeReports);

    void Wake() override;

  private:
    QObject& context_;
    std::function<void()> takeReports_;
};

}  // namespace lut::app
