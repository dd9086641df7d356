#include "update/ToolCore.h"

#include <exception>
#include <utility>

#include "update/DialoguePresenter.h"
#include "update/LoggerList.h"
#include "update/Messages.h"
#include "update/UpdateImage.h"

namespace lut {

struct ToolCore::Parts final : DialogueObserver {
    Parts(WindowOperations& window, Waker& waker, Pacer& pacer, const ToolOptions& options)
        : window(window),
          pacer(pacer),
          waker(waker),
          updatePort(options.updatePort),
          reports(waker),
          dialogue(link.UpdateSocket, options.updatePort, pacer, reports, *this),
          list(window, dialogue.ProtocolState, link.DiscoverySocket, options.discoveryPort) {
        link.UpdateBindAddress = {options.bindAddress, options.updatePort};
        link.DiscoveryBindAddress = {options.bindAddress, options.discoveryPort};
        link.UpdateSocket.SetCapture(options.capture);
        link.DiscoverySocket.SetCapture(options.capture);
    }

    // The observer hears of an event first: the window's box may run a nested event loop.
    void OnDialogueEvent(const DialogueEvent& event) override {
        if (observer != nullptr) {
            observer->OnDialogueEvent(event);
        }
        Present(event, window);
    }

    // Joined before the endpoints close, so that a block a worker reports as sent did go out.
    void Stop(bool handOver) {
        if (shutDown) {
            return;
        }
        shutDown = true;
        dialogue.Stop();
        dialogue.Upthread.reset();
        dialogue.Upthread1.reset();
        if (router && handOver) {
            router->Shutdown();
        }
        router.reset();
        reports.CutOff();
        link.CloseUpdateEndpoint();
        link.CloseDiscoveryEndpoint();
        if (handOver && observer != nullptr) {
            for (const DialogueEvent& event : reports.Take()) {
                observer->OnDialogueEvent(event);
            }
        }
    }

    void Guarded(const std::function<void()>& handler) {
        try {
            handler();
        } catch (const std::exception& failure) {
            window.ShowError(failure.what());
        } catch (...) {
            window.ShowError(std::string(text::UnexpectedError));
        }
    }

    WindowOperations& window;
    Pacer& pacer;
    Waker& waker;
    std::uint16_t updatePort;
    DialogueObserver* observer = nullptr;
    ImageText LoadedImage = ShareImage({});
    std::filesystem::path LoadedFile;
    // Declared so that the workers (in the dialogue) go before the reports and the endpoints.
    LinkState link;
    WorkerReports reports;
    UpdateDialogue dialogue;
    LoggerList list;
    std::unique_ptr<DialogueRouter> router;
    SweepResult lastSweep;
    std::error_code updateOpenError;
    std::error_code discoveryOpenError;
    bool started = false;
    bool shutDown = false;
};

ToolCore::ToolCore(WindowOperations& window, Waker& waker, Pacer& pacer, ToolOptions options)
    : parts_(std::make_unique<Parts>(window, waker, pacer, options)) {}

ToolCore::~ToolCore() {
    parts_->Stop(false);
}

void ToolCore::Guarded(const std::function<void()>& handler) {
    parts_->Guarded(handler);
}

void ToolCore::SetObserver(DialogueObserver* observer) {
    parts_->observer = observer;
}

DialogueRouter& ToolCore::StartRouting(RoutedObserver& observer) {
    Parts& p = *parts_;
    p.router =
        std::make_unique<DialogueRouter>(p.link.UpdateSocket, p.updatePort, p.pacer, p.waker, observer);
    return *p.router;
}

void ToolCore::StopRouting() {
    parts_->router.reset();
}

void ToolCore::StartUp() {
    Parts& p = *parts_;
    if (p.started) {
        return;
    }
    p.started = true;
    p.Guarded([&p] {
        const bool updateOpen = p.link.OpenUpdateEndpoint(&p.updateOpenError);
        if (!updateOpen) {
            p.window.SetStatusText(std::string(text::CreateSocketFail));
        }
        const bool discoveryOpen = p.link.OpenDiscoveryEndpoint(&p.discoveryOpenError);
        if (!discoveryOpen) {
            p.window.SetStatusText(std::string(text::CreateSocketFail));
        }
        if (updateOpen && discoveryOpen) {
            p.window.SetStatusText(std::string(text::Ready));
        }
        p.dialogue.CreateWorkers();
    });
}

SweepResult ToolCore::btnsearchClick() {
    Parts& p = *parts_;
    p.lastSweep = {};
    p.Guarded([&p] { p.lastSweep = p.list.btnsearchClick(); });
    return p.lastSweep;
}

SweepResult ToolCore::SendSweep() {
    Parts& p = *parts_;
    p.lastSweep = {};
    p.Guarded([&p] { p.lastSweep = p.list.SendSweep(); });
    return p.lastSweep;
}

BrowseOutcome ToolCore::btn1Click(FileDialog& dialog) {
    Parts& p = *parts_;
    BrowseOutcome outcome = BrowseOutcome::NotRead;
    p.Guarded([&p, &dialog, &outcome] { outcome = lut::btn1Click(p.window, dialog, p.LoadedImage); });
    if (outcome == BrowseOutcome::Loaded) {
        p.LoadedFile = dialog.FileName();
    } else if (outcome == BrowseOutcome::NotRead) {
        p.LoadedFile.clear();
    }
    return outcome;
}

UpdateCheck ToolCore::btnUPGClick() {
    Parts& p = *parts_;
    UpdateCheck check = UpdateCheck::Passed;
    p.Guarded([&p, &check] {
        check = PressUpdate(p.dialogue, p.window, p.list.Row(p.window.SelectedRow()), p.LoadedImage);
    });
    return check;
}

std::error_code ToolCore::Probe(const std::string& address) {
    return parts_->list.Probe(address);
}

std::error_code ToolCore::ProbeAlso(const std::string& address) {
    return parts_->list.ProbeAlso(address);
}

void ToolCore::HandleSocketMessage(int eventCode) {
    Parts& p = *parts_;
    p.Guarded([&p, eventCode] {
        const auto onDiscovery = [&p](const std::string& frame, const std::string& sender) {
            p.list.HandleDiscoveryFrame(frame, sender);
        };
        if (p.router) {
            p.link.HandleSocketMessage(
                eventCode,
                [&p](std::span<const char> datagram, const std::string& sender) {
                    p.router->HandleDatagram(datagram, sender);
                },
                onDiscovery);
            return;
        }
        p.link.HandleSocketMessage(
            eventCode, [&p](const std::string& frame) { p.dialogue.HandleUpdateFrame(frame); }, onDiscovery);
    });
}

bool ToolCore::HandleWorkerReports() {
    Parts& p = *parts_;
    const std::vector<DialogueEvent> events = p.reports.Take();
    bool routed = false;
    p.Guarded([&p, &events, &routed] {
        for (const DialogueEvent& event : events) {
            p.OnDialogueEvent(event);
        }
        routed = p.router && p.router->HandleWorkerReports();
    });
    return routed || !events.empty();
}

void ToolCore::Shutdown() {
    parts_->Stop(true);
}

std::error_code ToolCore::UpdateOpenError() const {
    return parts_->updateOpenError;
}

std::error_code ToolCore::DiscoveryOpenError() const {
    return parts_->discoveryOpenError;
}

const SweepResult& ToolCore::LastSweep() const {
    return parts_->lastSweep;
}

std::size_t ToolCore::ReceiveErrors() const {
    return parts_->link.ReceiveErrors();
}

std::error_code ToolCore::ReceiveFailure() const {
    return parts_->link.ReceiveFailure();
}

const LinkState& ToolCore::Link() const {
    return parts_->link;
}

const UpdateDialogue& ToolCore::Dialogue() const {
    return parts_->dialogue;
}

const std::vector<LoggerRow>& ToolCore::Loggers() const {
    return parts_->list.Rows();
}

const AddressLedger& ToolCore::Answers() const {
    return parts_->list.Answers();
}

const ImageText& ToolCore::LoadedImage() const {
    return parts_->LoadedImage;
}

const std::filesystem::path& ToolCore::LoadedFile() const {
    return parts_->LoadedFile;
}

}  // namespace lut
