// The main window on the Win32 API: its controls under their form names, one handler per control event,
// and WndProc, through which Winsock's notification of a readable endpoint reaches the socket handler.
// The window procedure finds the window object through GWLP_USERDATA and hands each message to one
// method; every handler forwards to the tool's core through ToolGlue.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "update/ToolCore.h"
#include "win32/FormFonts.h"
#include "win32/FrmmainControls.h"
#include "win32/FrmmainOperations.h"
#include "win32/ToolGlue.h"
#include "win32/WindowDisplay.h"

namespace lut::win32 {

struct FrmmainSettings {
    ToolOptions tool;
    // lbl3's text instead of the address looked up when the window is shown.
    std::optional<std::string> localAddress;
    // Empty: real modal boxes.
    BoxPresenter boxes;
    // Empty: the system's open-file dialog.
    std::unique_ptr<FileDialog> dlgOpen1;
    // Closing the window ends the message loop (the program's window); a test's windows leave it running.
    bool quitOnClose = true;
};

class TFrmmain {
  public:
    explicit TFrmmain(FrmmainSettings settings = {});
    ~TFrmmain();
    TFrmmain(const TFrmmain&) = delete;
    TFrmmain& operator=(const TFrmmain&) = delete;

    // Shows the window, centred on the screen; the program's first showing takes the launcher's show command
    // (a shortcut set to "Maximized" or "Minimized", start /max) whatever is asked here.
    void Show(int command = SW_SHOWNORMAL);
    HWND Handle() const { return handle_; }
    FrmmainOperations& Operations() { return *operations_; }

    // Window events.
    void FormShow();
    void FormActivate();
    void FormClose();
    void stat1DrawPanel(const RECT& panel);

    // Control events.
    void btnsearchClick();
    void btn1Click();
    void btnUPGClick();
    // Offers the machine's adapters and their IPv4 addresses; the choice becomes the address whose subnet
    // Search sweeps.
    void lbl3Click();

    // Messages 1106 (the endpoints' notification) to 1206 go to HandleSocketMessage, every other message
    // to its method or to the default window procedure.
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Reads one datagram for a notification (message 1106; the numbers above it carry no endpoint).
    void HandleSocketMessage(UINT message, LPARAM lParam);

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT OnWindowPosChanging(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCursor(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnActivate(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnClose(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnSize(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDpiChanged(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDrawItem(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnWorkerReports(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(UINT message, WPARAM wParam, LPARAM lParam);

    void ExplainStatus();
    // The core's next due moment (a search round, a request asked again, the version check) on the timer.
    void ScheduleTick();
    // Puts a tooltip over the control (it copies the text), or changes its text, and keeps it in `tip`.
    void SetTip(HWND& tip, const form::Control& control, std::wstring text);

    FrmmainSettings settings_;
    HWND handle_ = nullptr;
    UINT dpi_ = 96;
    std::unique_ptr<FormFonts> fonts_;
    std::unique_ptr<FrmmainControls> ui_;
    std::unique_ptr<FrmmainOperations> operations_;
    std::unique_ptr<WindowDisplay> display_;
    std::unique_ptr<FileDialog> dlgOpen1_;
    std::unique_ptr<ToolGlue> glue_;
    HWND lbl3Tip_ = nullptr;
    HWND lbl6Tip_ = nullptr;
    bool shown_ = false;
    bool started_ = false;
    bool closed_ = false;
};

}  // namespace lut::win32
