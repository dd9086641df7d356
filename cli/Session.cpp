#include "cli/Session.h"

#include <stdexcept>

#include "cli/GivenFileDialog.h"
#include "link/LocalAddress.h"
#include "update/Messages.h"
#include "update/OpenFailure.h"

namespace lut::cli {

namespace {
constexpr std::string_view NoFileGiven = "No update file was given: --file names none.";
}  // namespace

Session::Session(const ToolOptions& options, std::string localAddress, Pacer& pacer,
                 NativeSocket interruptHandle)
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
        message +=
            "\n  " + OpenFailure("update", link.UpdateBindAddress, core_.UpdateOpenError(), "logger-update");
    }
    if (!link.DiscoverySocket.IsOpen()) {
        message += "\n  " + OpenFailure("discovery", link.DiscoveryBindAddress, core_.DiscoveryOpenError(),
                                        "logger-update");
    }
    return message;
}

void Session::ReportReceiveErrors(std::ostream& err) const {
    if (const std::size_t errors = core_.ReceiveErrors(); errors > 0) {
        err << errors << " receive error" << (errors == 1 ? " was" : "s were")
            << " skipped (an ICMP answer to an earlier datagram, or a datagram too long to take in).\n";
    }
}

std::optional<std::string> Session::LoadFile(const std::string& file,
                                             const std::optional<std::string>& version) {
    GivenFileDialog dialog(file);
    const std::size_t shown = window_.log.size();
    switch (core_.btn1Click(dialog)) {
        case BrowseOutcome::Loaded:
            break;
        case BrowseOutcome::Cancelled:
            return std::string(NoFileGiven);
        case BrowseOutcome::NameNotS:
        case BrowseOutcome::NotRead:
            // The box Browse showed says why.
            return window_.log.size() > shown ? window_.log[shown].text : file;
    }
    if (version) {
        window_.SetVersionText(*version);
    }
    return std::nullopt;
}

std::string LocalAddressOrNone(const CommonOptions& options) {
    if (options.localAddress) {
        return *options.localAddress;
    }
    try {
        return LocalAddressText();
    } catch (const std::runtime_error&) {
        return "";
    }
}

}  // namespace lut::cli
