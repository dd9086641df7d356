// The one place where the Win32 window meets the tool's core: the verbs its handlers call, the endpoints
// it asks Winsock to announce, and the workers' reports it takes. The window reaches the core only through
// it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "record/WindowRecord.h"
#include "update/ToolCore.h"
#include "update/workers/Pacer.h"
#include "win32/WinApi.h"

namespace lut::win32 {

class ToolGlue {
  public:
    // `reasonsChanged` is called when StatusReasons has a new line outside the calls below that give one
    // (a record line that could not be written).
    ToolGlue(WindowOperations& window, Waker& waker, ToolOptions options,
             std::function<void()> reasonsChanged);

    // Runs a handler of the window's own; an error that escapes it goes to the error display.
    void Guarded(const std::function<void()>& handler);

    // Opens the endpoints ("Ready" or "Create Socket Fail!!") and creates the workers; then has Winsock
    // post the notification message to the window whenever an open endpoint has a datagram waiting.
    void StartUp(HWND window);
    // Why an endpoint did not open, why the last search's probes could not all be sent, and why the
    // record could not be written, one line each; empty when nothing failed.
    std::string StatusReasons();

    void Search();
    void Browse(FileDialog& dialog);
    void Update();
    void SocketNotification(int eventCode);
    // The workers' reports that wait, after a wake.
    void TakeWorkerReports();
    // What the core has due (a search round, a request asked again, the version check), and when next.
    void Tick();
    std::optional<std::chrono::milliseconds> UntilTick() const;
    // Told when something falls due while a box holds the handler (see ToolCore::SetTickListener).
    void SetTickListener(std::function<void()> listener);
    void Shutdown();

  private:
    std::string recordUnwritten_;
    record::WindowRecord record_;
    RealPacer pacer_;
    ToolCore core_;
};

}  // namespace lut::win32
