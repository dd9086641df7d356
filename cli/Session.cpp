#include "cli/Session.h"

#include "update/Messages.h"
#include "update/UpdateState.h"

namespace lut::cli {
namespace {

// The system's reason, with what a technician can do about it (free the port, or grant the privilege).
std::string WhyNotOpen(const char* name, const BindRecord& bind, std::error_code why) {
    std::string line = std::string(name) + " endpoint " + bind.address + ":" + std::to_string(bind.port) +
                       ": " + why.message();
    if (why == std::errc::permission_denied && bind.port < 1024) {
        line += " (port " + std::to_string(bind.port) +
                " needs root, or the capability given once by: sudo setcap cap_net_bind_service=+ep "
                "logger-update)";
    } else if (why == std::errc::address_in_use) {
        line += " (another program holds the port: the window, a second logger-update, or a server)";
    }
    return line;
}

}  // namespace

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
        message += "\n  " + WhyNotOpen("update", link.UpdateBindAddress, core_.UpdateOpenError());
    }
    if (!link.DiscoverySocket.IsOpen()) {
        message += "\n  " + WhyNotOpen("discovery", link.DiscoveryBindAddress, core_.DiscoveryOpenError());
    }
    return message;
}

Protocol Session::State() {
    return core_.State().ProtocolState.Load();
}

}  // namespace lut::cli
