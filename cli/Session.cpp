#include "cli/Session.h"

#include "update/Messages.h"
#include "update/UpdateState.h"

namespace lut::cli {
namespace {

// Opening the endpoint again with the same bind record yields the system's reason, which start-up does
// not keep; a technician needs it to act (free the port, or grant the privilege).
std::string WhyNotOpen(const char* name, const BindRecord& bind) {
    Endpoint probe;
    const std::error_code why = probe.Open(bind);
    std::string line =
        std::string(name) + " endpoint " + bind.address + ":" + std::to_string(bind.port) + ": ";
    if (!why) {
        return line + "could not be opened, for a reason that has passed; try again";
    }
    line += why.message();
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
        message += "\n  " + WhyNotOpen("update", link.UpdateBindAddress);
    }
    if (!link.DiscoverySocket.IsOpen()) {
        message += "\n  " + WhyNotOpen("discovery", link.DiscoveryBindAddress);
    }
    return message;
}

Protocol Session::State() {
    return core_.State().ProtocolState.Load();
}

}  // namespace lut::cli
