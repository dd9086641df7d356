#include "cli/Session.h"

#include "update/Messages.h"

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
      core_(window_, waker_, pacer, options),
      loop_(core_, waker_, interruptHandle) {}

std::optional<std::string> Session::Start() {
    core_.StartUp();
    const LinkState& link = core_.Link();
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

}  // namespace lut::cli
