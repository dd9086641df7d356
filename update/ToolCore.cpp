#include "update/ToolCore.h"

#include <exception>
#include <utility>

#include "update/LoggerList.h"
#include "update/Messages.h"
#include "update/UpdateController.h"
#include "update/UpdateImage.h"
#include "update/UpdateState.h"

namespace lut {

struct ToolCore::Parts {
    Parts(WindowOperations& window, WorkerDisplay& display, Pacer& pacer, const ToolOptions& options)
        : window(window),
          pacer(pacer),
          gate(&display),
          list(window, state.ProtocolState, link.DiscoverySocket, options.discoveryPort),
          controller(window, state,
                     {link.UpdateSocket, options.updatePort, pacer, gate, state.ProtocolState}) {
        link.UpdateBindAddress = {options.bindAddress, options.updatePort};
        link.DiscoveryBindAddress = {options.bindAddress, options.discoveryPort};
    }

    WindowOperations& window;
    Pacer& pacer;
    // Declared so that the workers (in the update state) go before the display gate and the endpoints.
    LinkState link;
    DisplayGate gate;
    UpdateState state;
    LoggerList list;
    UpdateController controller;
    std::error_code updateOpenError;
    std::error_code discoveryOpenError;
    bool started = false;
    bool shutDown = false;
};

namespace {

// An error that escapes a handler goes to the error display, and the program carries on.
template <typename Handler>
void Guarded(WindowOperations& window, Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& failure) {
        window.ShowError(failure.what());
    }
}

}  // namespace

ToolCore::ToolCore(WindowOperations& window, WorkerDisplay& display, Pacer& pacer, ToolOptions options)
    : parts_(std::make_unique<Parts>(window, display, pacer, options)) {}

ToolCore::~ToolCore() {
    Shutdown();
}

void ToolCore::StartUp() {
    if (parts_->started) {
        return;
    }
    parts_->started = true;
    Parts& p = *parts_;
    Guarded(p.window, [&p] {
        if (!p.link.OpenUpdateEndpoint(&p.updateOpenError)) {
            p.window.SetStatusText(std::string(text::CreateSocketFail));
        }
        if (!p.link.OpenDiscoveryEndpoint(&p.discoveryOpenError)) {
            p.window.SetStatusText(std::string(text::CreateSocketFail));
        }
        if (p.window.StatusText().empty()) {
            p.window.SetStatusText(std::string(text::Ready));
        }
        p.controller.CreateWorkers();
    });
}

void ToolCore::btnsearchClick() {
    Guarded(parts_->window, [this] { parts_->list.btnsearchClick(); });
}

void ToolCore::btn1Click(FileDialog& dialog) {
    Guarded(parts_->window,
            [this, &dialog] { lut::btn1Click(parts_->window, dialog, parts_->state.LoadedImage); });
}

void ToolCore::btnUPGClick() {
    Guarded(parts_->window, [this] { parts_->controller.btnUPGClick(); });
}

void ToolCore::HandleSocketMessage(int eventCode) {
    Parts& p = *parts_;
    Guarded(p.window, [&p, eventCode] {
        p.link.HandleSocketMessage(
            eventCode, [&p](const std::string& frame) { p.controller.HandleUpdateFrame(frame); },
            [&p](const std::string& frame, const std::string& sender) {
                p.list.HandleDiscoveryFrame(frame, sender);
            });
    });
}

void ToolCore::Shutdown() {
    Parts& p = *parts_;
    if (p.shutDown) {
        return;
    }
    p.shutDown = true;
    p.gate.CutOff();
    p.pacer.Interrupt();
    p.link.CloseUpdateEndpoint();
    p.link.CloseDiscoveryEndpoint();
    p.state.Upthread.reset();
    p.state.Upthread1.reset();
}

std::error_code ToolCore::UpdateOpenError() const {
    return parts_->updateOpenError;
}

std::error_code ToolCore::DiscoveryOpenError() const {
    return parts_->discoveryOpenError;
}

LinkState& ToolCore::Link() {
    return parts_->link;
}

UpdateState& ToolCore::State() {
    return parts_->state;
}

}  // namespace lut
