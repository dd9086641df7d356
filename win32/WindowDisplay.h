// The workers' view of the window: every change is posted to the window as a message of its own, so each
// worker's changes arrive in the order it made them and no worker touches a control. The window carries
// them out on its thread (Apply). The progress bar tells how many blocks went out and the time left.
#pragma once

#include <string>

#include "update/WorkerDisplay.h"
#include "win32/WinApi.h"

namespace lut::win32 {

class WindowDisplay final : public WorkerDisplay {
  public:
    static constexpr UINT ProgressMaxMessage = WM_APP + 1;
    static constexpr UINT ProgressPositionMessage = WM_APP + 2;
    static constexpr UINT AdvanceProgressMessage = WM_APP + 3;
    static constexpr UINT StatusMessage = WM_APP + 4;

    WindowDisplay(HWND window, HWND bar, HWND status);

    // Any thread.
    void SetProgressMax(int maximum) override;
    void SetProgressPosition(int position) override;
    void AdvanceProgress() override;
    void SetStatus(const std::string& text) override;

    // GUI thread: carries out one posted change; false for a message that is not one.
    bool Apply(UINT message, WPARAM wParam, LPARAM lParam);
    // GUI thread, as the window goes: drops the changes still queued.
    void Discard();
    // What the progress bar shows over its bar; empty until a worker sets the maximum.
    const std::wstring& ProgressText() const { return progressText_; }

  private:
    void Post(UINT message, LPARAM lParam);
    void ShowProgressText();

    HWND window_;
    HWND bar_;
    HWND status_;
    bool showText_ = false;
    std::wstring progressText_;
};

}  // namespace lut::win32
