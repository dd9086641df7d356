// Several update dialogues at once over the one update endpoint, one per logger. Every datagram goes by
// its sender's address to that logger's own receive accumulator, so that two loggers' datagrams never
// mix in one frame, and its frames reach that logger's dialogue only. A datagram from an address that no
// open dialogue belongs to is ignored and counted. GUI thread only, but for the workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "update/dialogue/DialogueEvents.h"
#include "update/dialogue/UpdateDialogue.h"
#include "update/workers/Pacer.h"
#include "update/workers/WorkerReports.h"

namespace lut {

// Takes the events of every routed dialogue, each with the address of its logger.
class RoutedObserver {
  public:
    virtual ~RoutedObserver() = default;
    virtual void OnDialogueEvent(const std::string& logger, const DialogueEvent& event) = 0;
};

class DialogueRouter {
  public:
    // The dialogues send through the endpoint to the port, pause on the pacer (shared: each worker keeps
    // its own deadlines, each dialogue stops only its own), and wake the front end through the waker when
    // their workers report.
    DialogueRouter(Endpoint& updateSocket, std::uint16_t updatePort, Pacer& pacer, Waker& waker,
                   RoutedObserver& observer);
    ~DialogueRouter();  // stops and joins the workers; their waiting reports are dropped
    DialogueRouter(const DialogueRouter&) = delete;
    DialogueRouter& operator=(const DialogueRouter&) = delete;

    // A new dialogue with the logger at the address, its workers waiting; replaces none (the address
    // must not have one open).
    UpdateDialogue& Open(const std::string& logger);

    // Whether the logger's dialogue has both workers at rest, so that closing it blocks no one.
    bool AtRest(const std::string& logger) const;

    // Ends the logger's dialogue: its workers' pauses are cut short and the workers joined; its later
    // answers count as unrouted.
    void Close(const std::string& logger);

    // One datagram of the update endpoint, from the sender.
    void HandleDatagram(std::span<const char> datagram, const std::string& sender);

    // Hands the workers' waiting reports of every dialogue to the observer; true when there was any.
    bool HandleWorkerReports();

    // Datagrams from addresses that had no open dialogue.
    std::size_t Unrouted() const { return unrouted_; }
    std::size_t OpenCount() const { return routes_.size(); }

    // Wakes every routed dialogue's workers out of their pauses and joins them, hands the reports they had
    // made to the observer, so that it knows of every block sent, and ends every dialogue; no other
    // dialogue is touched. Idempotent.
    void Shutdown();

  private:
    struct Route;

    void StopWorkers();

    Endpoint& updateSocket_;
    std::uint16_t updatePort_;
    Pacer& pacer_;
    Waker& waker_;
    RoutedObserver& observer_;
    std::map<std::string, std::unique_ptr<Route>> routes_;
    std::size_t unrouted_ = 0;
};

}  // namespace lut
