#include "update/ToolCore.h"

#include <algorithm>
#include <exception>
#include <set>
#include <utility>

#include "update/FieldTexts.h"
#include "update/Messages.h"
#include "update/dialogue/DialoguePresenter.h"
#include "update/dialogue/RequestRetries.h"
#include "update/image/UpdateImage.h"
#include "update/search/LoggerList.h"
#include "update/search/VersionCheck.h"

namespace lut {

struct ToolCore::Parts final : DialogueObserver {
    Parts(WindowOperations& window, Waker& waker, Pacer& pacer, const ToolOptions& options)
        : options(options),
          window(window),
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

    // The observer hears of an event first: the window's box may run a nested event loop. So does the
    // version check, which begins with "Update complete" and its box.
    void OnDialogueEvent(const DialogueEvent& event) override {
        if (const auto* request = std::get_if<dialogue::RequestSent>(&event)) {
            lastRequest = *request;
        } else if (std::holds_alternative<dialogue::Complete>(event) && lastRequest) {
            check.emplace(lastRequest->logger, lastRequest->version, pacer.Now(), options.versionWait,
                          options.versionInterval);
            list.Await(lastRequest->logger.ip);
            if (tickListener) {
                tickListener();
            }
        }
        if (observer != nullptr) {
            observer->OnDialogueEvent(event);
        }
        Present(event, window);
    }

    // A Search, an Update press or closing: what still runs of the last search and update ends.
    void EndFieldWork() {
        rounds.End();
        retries.End();
        EndCheck();
    }

    void EndCheck() {
        check.reset();
        list.Await({});
    }

    // A later round of the search. The first round went out, so a later one that cannot be sent changes
    // nothing but for the listed addresses, each of which must have been reached once.
    void SendRound() {
        if (roundAddresses.empty()) {
            list.SendSweep();
            return;
        }
        for (const std::string& address : roundAddresses) {
            Reach(address, list.ProbeAlso(address));
        }
    }

    void Reach(const std::string& address, std::error_code failed) {
        if (!failed) {
            reached.insert(address);
            unsent.erase(address);
        } else if (!reached.contains(address)) {
            unsent[address] = failed;
        }
    }

    // The check's probe when due, and its verdict once the wait is over.
    void StepCheck(Pacer::TimePoint now) {
        if (check->Step(now)) {
            list.ProbeAlso(check->Logger().ip);
        }
        if (check->Outcome() != VersionCheck::Result::Pending) {
            Decided();
        }
    }

    // The check came to its verdict: the observer (the record) hears it first; another version is said
    // in a box, no answer at all in the status line's tooltip.
    void Decided() {
        const VersionCheck ended = *check;
        EndCheck();
        OnDialogueEvent(dialogue::VersionChecked{ended.Outcome() == VersionCheck::Result::Verified,
                                                 ended.Reported(), ended.Message()});
        switch (ended.Outcome()) {
            case VersionCheck::Result::NotVerified:
                window.ShowWarning(
                    text::VersionMismatchHint(ended.Logger(), ended.Reported(), ended.Expected()));
                break;
            case VersionCheck::Result::NoAnswer:
                window.SetStatusTip(
                    text::NoVersionAnswerTip(ended.Logger(), ended.Expected(), options.versionWait));
                break;
            case VersionCheck::Result::Pending:
            case VersionCheck::Result::Verified:
                break;
        }
    }

    // A receive failure that is no transient error, said once until the next Search.
    void SayReceiveFailure() {
        const std::size_t failures = link.ReceiveFailures();
        if (failures == failuresSeen) {
            return;
        }
        failuresSeen = failures;
        if (!receiveFailureSaid) {
            receiveFailureSaid = true;
            window.ShowWarning(
                text::ReceiveFailureHint(window.LocalAddressText(), link.LastReceiveFailure()));
        }
    }

    // Joined before the endpoints close, so that a block a worker reports as sent did go out.
    void Stop(bool handOver) {
        if (shutDown) {
            return;
        }
        shutDown = true;
        EndFieldWork();
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

    const ToolOptions options;
    WindowOperations& window;
    Pacer& pacer;
    Waker& waker;
    std::uint16_t updatePort;
    DialogueObserver* observer = nullptr;
    std::function<void()> tickListener;
    ImageText LoadedImage = ShareImage({});
    std::filesystem::path LoadedFile;
    // Declared so that the workers (in the dialogue) go before the reports and the endpoints.
    LinkState link;
    WorkerReports reports;
    UpdateDialogue dialogue;
    LoggerList list;
    std::unique_ptr<DialogueRouter> router;
    SweepResult lastSweep;
    // The search's rounds: the sweep, or the probes of the listed addresses.
    SearchRounds rounds;
    std::vector<std::string> roundAddresses;
    std::set<std::string> reached;
    std::map<std::string, std::error_code> unsent;
    // The window's dialogue: its request asked again, and the version check after it.
    RequestRetries retries;
    std::optional<dialogue::RequestSent> lastRequest;
    std::optional<VersionCheck> check;
    std::size_t failuresSeen = 0;
    bool receiveFailureSaid = false;
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
    p.Guarded([&p] {
        p.EndFieldWork();
        p.receiveFailureSaid = false;
        p.roundAddresses.clear();
        p.lastSweep = p.list.btnsearchClick();
        if (p.lastSweep.probes > 0 && p.lastSweep.Sent() == 0) {
            p.window.ShowWarning(text::SweepFailureHint(p.lastSweep));
            return;
        }
        p.rounds.Begin(p.pacer.Now(), p.options.searchRounds);
    });
    return p.lastSweep;
}

void ToolCore::SearchAddresses(const std::vector<std::string>& addresses) {
    Parts& p = *parts_;
    p.Guarded([&p, &addresses] {
        p.EndFieldWork();
        p.roundAddresses = addresses;
        p.reached.clear();
        p.unsent.clear();
        for (const std::string& address : addresses) {
            p.Reach(address,
                    address == addresses.front() ? p.list.Probe(address) : p.list.ProbeAlso(address));
        }
        p.rounds.Begin(p.pacer.Now(), p.options.searchRounds);
    });
}

const std::map<std::string, std::error_code>& ToolCore::UnsentProbes() const {
    return parts_->unsent;
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
        p.EndFieldWork();
        const std::optional<LoggerRow> selected = p.list.Row(p.window.SelectedRow());
        if (selected && p.list.Answers().Conflicting(selected->ip)) {
            check = UpdateCheck::AddressConflict;
            p.window.ShowWarning(text::ConflictHint(p.list.Answers().At(selected->ip)));
            return;
        }
        check = PressUpdate(p.dialogue, p.window, selected, p.LoadedImage);
        if (check == UpdateCheck::Passed) {
            p.retries.Begin(p.pacer.Now());
        }
    });
    return check;
}

std::error_code ToolCore::Probe(const std::string& address) {
    Parts& p = *parts_;
    p.rounds.End();
    p.roundAddresses.clear();
    return p.list.Probe(address);
}

void ToolCore::Tick() {
    Parts& p = *parts_;
    p.Guarded([&p] {
        const Pacer::TimePoint now = p.pacer.Now();
        if (p.rounds.Due(now)) {
            p.SendRound();
        }
        if (p.dialogue.ProtocolState.Load() == Protocol::Request && p.retries.Due(now)) {
            p.dialogue.RequestAgain();
        }
        if (p.check) {
            p.StepCheck(now);
        }
    });
}

std::optional<std::chrono::milliseconds> ToolCore::UntilTick() const {
    Parts& p = *parts_;
    std::optional<Pacer::TimePoint> next = p.rounds.Next();
    const auto earliest = [&next](std::optional<Pacer::TimePoint> due) {
        if (due && (!next || *due < *next)) {
            next = due;
        }
    };
    if (p.dialogue.ProtocolState.Load() == Protocol::Request) {
        earliest(p.retries.Next());
    }
    if (p.check) {
        earliest(p.check->Next());
    }
    if (!next) {
        return std::nullopt;
    }
    const Pacer::Clock::duration left = std::max(Pacer::Clock::duration::zero(), *next - p.pacer.Now());
    return std::chrono::ceil<std::chrono::milliseconds>(left);
}

void ToolCore::SetTickListener(std::function<void()> listener) {
    parts_->tickListener = std::move(listener);
}

bool ToolCore::Searching() const {
    return parts_->rounds.Next().has_value();
}

void ToolCore::HandleSocketMessage(int eventCode) {
    Parts& p = *parts_;
    p.Guarded([&p, eventCode] {
        const auto onDiscovery = [&p](const std::string& frame, const std::string& sender) {
            const std::optional<LoggerRow> answer = p.list.HandleDiscoveryFrame(frame, sender);
            if (answer && p.check && p.check->Take(*answer)) {
                p.Decided();
            }
        };
        if (p.router) {
            p.link.HandleSocketMessage(
                eventCode,
                [&p](std::span<const char> datagram, const std::string& sender) {
                    p.router->HandleDatagram(datagram, sender);
                },
                onDiscovery);
        } else {
            p.link.HandleSocketMessage(
                eventCode, [&p](const std::string& frame) { p.dialogue.HandleUpdateFrame(frame); },
                onDiscovery);
        }
        p.SayReceiveFailure();
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
