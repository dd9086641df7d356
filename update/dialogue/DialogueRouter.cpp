#include "update/dialogue/DialogueRouter.h"

#include <vector>

#include "link/RxAccumulator.h"
#include "link/uPubpro.h"

namespace lut {

struct DialogueRouter::Route final : DialogueObserver {
    Route(const std::string& logger, DialogueRouter& router)
        : logger(logger),
          observer(router.observer_),
          reports(router.waker_),
          dialogue(router.updateSocket_, router.updatePort_, router.pacer_, reports, *this) {}

    void OnDialogueEvent(const DialogueEvent& event) override { observer.OnDialogueEvent(logger, event); }

    const std::string logger;
    RoutedObserver& observer;
    RxAccumulator rx{Channel::Update};
    WorkerReports reports;
    UpdateDialogue dialogue;  // last, so that its workers stop before the reports go
};

DialogueRouter::DialogueRouter(Endpoint& updateSocket, std::uint16_t updatePort, Pacer& pacer, Waker& waker,
                               RoutedObserver& observer)
    : updateSocket_(updateSocket),
      updatePort_(updatePort),
      pacer_(pacer),
      waker_(waker),
      observer_(observer) {}

DialogueRouter::~DialogueRouter() {
    StopWorkers();
}

UpdateDialogue& DialogueRouter::Open(const std::string& logger) {
    auto route = std::make_unique<Route>(logger, *this);
    route->dialogue.CreateWorkers();
    UpdateDialogue& dialogue = route->dialogue;
    routes_[logger] = std::move(route);
    return dialogue;
}

bool DialogueRouter::AtRest(const std::string& logger) const {
    const auto found = routes_.find(logger);
    if (found == routes_.end()) {
        return true;
    }
    const UpdateDialogue& dialogue = found->second->dialogue;
    return (!dialogue.Upthread || dialogue.Upthread->Thread().Idle()) &&
           (!dialogue.Upthread1 || dialogue.Upthread1->Thread().Idle());
}

void DialogueRouter::Close(const std::string& logger) {
    routes_.erase(logger);
}

void DialogueRouter::HandleDatagram(std::span<const char> datagram, const std::string& sender) {
    const auto found = routes_.find(sender);
    if (found == routes_.end()) {
        ++unrouted_;
        return;
    }
    Route& route = *found->second;
    route.rx.ExtractFrames(datagram, [&route](const std::string& frame) {
        if (VerifyUpdateFrame(frame)) {
            route.dialogue.HandleUpdateFrame(frame);
        }
    });
}

bool DialogueRouter::HandleWorkerReports() {
    bool any = false;
    // The observer may close a dialogue while its events are handed over, so the addresses come first.
    std::vector<std::string> loggers;
    for (const auto& entry : routes_) {
        loggers.push_back(entry.first);
    }
    for (const std::string& logger : loggers) {
        const auto found = routes_.find(logger);
        if (found == routes_.end()) {
            continue;
        }
        for (const DialogueEvent& event : found->second->reports.Take()) {
            any = true;
            observer_.OnDialogueEvent(logger, event);
        }
    }
    return any;
}

void DialogueRouter::Shutdown() {
    StopWorkers();
    HandleWorkerReports();
    routes_.clear();
}

// All pauses are cut short first, so that the workers come to rest side by side, not one after another.
void DialogueRouter::StopWorkers() {
    for (auto& entry : routes_) {
        entry.second->dialogue.Stop();
    }
    for (auto& entry : routes_) {
        entry.second->dialogue.Upthread.reset();
        entry.second->dialogue.Upthread1.reset();
    }
}

}  // namespace lut
