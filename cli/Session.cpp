#include "cli/Session.h"

#include "update/Messages.h"
#include "update/OpenFailure.h"
#include "update/UpdateState.h"

namespace lut::cli {

Session::Session(const ToolOptions& options, std::string localAddress, Pacer& pacer, int interruptHandle)
    : window_(std::move(localAddress)),
      core_(window_, display_, pacer, options),
      loop_(
          core_, display_,
          [this](const DisplayEvent& event) {
              if (event.kind == DisplayEvent::Kind::Status) {
                  window_.SetStatusText(event.text);
              } else if (view_ != nullptr) {
                  view_->Apply(event);
              }
          },
          interruptHandle) {
    window_.OnStatus([this](const std::string& text) {
        if (view_ != nullptr) {
            view_->Status(text);
        }
    });
}

std::optional<std::string> Session::Start() {
    core_.StartUp();
    LinkState& link = core_.Link();
    if (link.UpdateSocket.IsOpen() && link.DiscoverySocket.IsOpen()) {
        return std::nullopt;
    }
    std::string message(text::CreateSocketFail);
    if (!link.UpdateSocket.IsOpen()) {
        message +=
            "\n  " + OpenFailure("update", link.UpdateBindAddress, core_.UpdateOpenError(), "logger-update");
    }
    if (!link.DiscoverySocket.IsOpen()) {
        message += "\n  " + OpenFailure("discovery", link.DiscoveryBindAddress, core_.DiscoveryOpenError(),
                                        "logger-update");
    }
    return message;
}

Protocol Session::State() {
    return core_.State().ProtocolState.Load();
}

}  // namespace lut::cli
