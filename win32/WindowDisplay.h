// How the workers' reports reach the window: a worker's report wakes the window with a posted message, and
// the window, on its own thread, has the core take the reports in the order they were made, so that no
// worker touches a control.
#pragma once

#include "update/workers/WorkerReports.h"
#include "win32/WinApi.h"

namespace lut::win32 {

class WindowDisplay final : public Waker {
  public:
    // The message the window takes the reports on.
    static constexpr UINT WorkerReportsMessage = WM_APP + 1;

    explicit WindowDisplay(HWND window) : window_(window) {}

    // Any thread. A wake after the window has gone is lost, and with it nothing but a wake.
    void Wake() override { PostMessageW(window_, WorkerReportsMessage, 0, 0); }

  private:
    HWND window_;
};

}  // namespace lut::win32
