// How the workers' reports reach the window: the waker queues a call to the GUI thread, which takes the
// reports in the order they were made, so that no worker touches a widget.
#pragma once

#include <functional>

#include "update/workers/WorkerReports.h"

class QObject;

namespace lut::app {

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
