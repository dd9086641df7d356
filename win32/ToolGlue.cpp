#include "win32/ToolGlue.h"

#include <utility>

#include "link/uPubpro.h"
#include "update/OpenFailure.h"
#include "update/image/UpdateImage.h"

namespace lut::win32 {

namespace {

// FD_READ, FD_ACCEPT and FD_CLOSE: 41.
constexpr long NotifiedEvents = FD_READ | FD_ACCEPT | FD_CLOSE;

void Announce(const Endpoint& endpoint, HWND window) {
    const auto socket = static_cast<SOCKET>(endpoint.Handle());
    if (socket != INVALID_SOCKET) {
        WSAAsyncSelect(socket, window, SocketNotifyMessage, NotifiedEvents);
    }
}

// One line for an endpoint that did not open; empty for one that did.
std::string Reason(std::string_view name, const BindRecord& bind, std::error_code why) {
    return why ? OpenFailure(name, bind, why, "logger-update-tool") + "\n" : std::string();
}

}  // namespace

ToolGlue::ToolGlue(WindowOperations& window, Waker& waker, ToolOptions options,
                   std::function<void()> reasonsChanged)
    : record_([this, reasonsChanged = std::move(reasonsChanged)](const std::string& unwritten) {
          recordUnwritten_ = unwritten;
          reasonsChanged();
      }),
      core_(window, waker, pacer_, std::move(options)) {
    core_.SetObserver(&record_);
}

void ToolGlue::Guarded(const std::function<void()>& handler) {
    core_.Guarded(handler);
}

void ToolGlue::StartUp(HWND window) {
    core_.StartUp();
    Announce(core_.Link().UpdateSocket, window);
    Announce(core_.Link().DiscoverySocket, window);
}

std::string ToolGlue::StatusReasons() {
    std::string reasons = Reason("Update", core_.Link().UpdateBindAddress, core_.UpdateOpenError()) +
                          Reason("Discovery", core_.Link().DiscoveryBindAddress, core_.DiscoveryOpenError());
    if (const std::string sweep = SweepFailure(core_.LastSweep()); !sweep.empty()) {
        reasons += sweep + "\n";
    }
    if (!recordUnwritten_.empty()) {
        reasons += recordUnwritten_ + "\n";
    }
    return reasons;
}

void ToolGlue::Search() {
    core_.btnsearchClick();
}

void ToolGlue::Browse(FileDialog& dialog) {
    core_.btn1Click(dialog);
    record_.Loaded(core_.LoadedFile(), core_.LoadedImage());
}

void ToolGlue::Update() {
    core_.btnUPGClick();  // a failed check has shown its warning
}

void ToolGlue::SocketNotification(int eventCode) {
    core_.HandleSocketMessage(eventCode);
}

void ToolGlue::TakeWorkerReports() {
    core_.HandleWorkerReports();
}

void ToolGlue::Tick() {
    core_.Tick();
}

std::optional<std::chrono::milliseconds> ToolGlue::UntilTick() const {
    return core_.UntilTick();
}

void ToolGlue::SetTickListener(std::function<void()> listener) {
    core_.SetTickListener(std::move(listener));
}

void ToolGlue::Shutdown() {
    core_.Shutdown();
    record_.Close();
}

}  // namespace lut::win32
