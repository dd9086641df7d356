// One logger's update, from its address or its row to its line in the update record: the probe of the
// address (when no search listed the logger), the update request (sent again while no acceptance comes),
// the transfer through the logger's own dialogue in the router, the logger's verdict, the version check
// and the record line. `update --logger IP` runs one; a list or a whole site runs many side by side. The
// scheduler decides when each starts and hands it the loop's events and moments. GUI thread only.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

#include "cli/AttemptRecord.h"
#include "cli/CommandLine.h"
#include "cli/EventLoop.h"
#include "cli/Outcome.h"
#include "cli/Output.h"
#include "cli/ProgressView.h"
#include "cli/Session.h"
#include "update/ToolCore.h"
#include "update/dialogue/DialogueRouter.h"
#include "update/dialogue/RequestRetries.h"
#include "update/search/VersionCheck.h"
#include "update/workers/Pacer.h"

namespace lut::cli {

class Attempt;

// Told what happens to an attempt, as it happens.
class AttemptListener {
  public:
    virtual ~AttemptListener() = default;
    // The probe found the logger; the request goes out next.
    virtual void Found(const Attempt&) {}
    // The first update request went out.
    virtual void Requested(const Attempt&) {}
    // An answer that cannot be read; the attempt goes on, a readable answer may follow.
    virtual void Unreadable(const Attempt&, const std::string&) {}
    // The attempt has its outcome, and its record line is written.
    virtual void Ended(const Attempt&) {}
};

// What every attempt of a run shares: the core and the router it works through, the file and the
// version it sends, and how long it waits.
struct AttemptShared {
    AttemptShared(ToolCore& core, Pacer& pacer, AttemptRecord& record, const UpdateOptions& options)
        : core(core), pacer(pacer), record(record), options(options) {}

    ToolCore& core;
    Pacer& pacer;  // the clock of the pauses between two requests
    AttemptRecord& record;
    const UpdateOptions& options;  // the file, the waits and the version check
    std::string versionText;       // as the window's version box holds it once the file is loaded
    // Set while the scheduler runs.
    DialogueRouter* router = nullptr;
    AttemptListener* listener = nullptr;
};

// Loads the file with Browse and sets the version box, for every attempt of the run to send; the failure
// that ends the run before anything is sent, if any.
std::optional<Outcome> LoadAttemptFile(Session& session, AttemptShared& shared);

// Opens the endpoints, then loads the file as above.
std::optional<Outcome> PrepareAttempts(Session& session, AttemptShared& shared);

class Attempt {
  public:
    using Clock = EventLoop::Clock;
    enum class Phase { Waiting, Probing, Requested, Transferring, Verifying, Done, Skipped };
    // Why an attempt was never started.
    enum class Skip { Stopped, CanaryFailed };

    // A logger that a search listed.
    Attempt(LoggerRow logger, AttemptShared& shared, std::ostream& out, ProgressView::Style style);
    // A logger known by its address only: the attempt probes it first.
    Attempt(std::string address, AttemptShared& shared, std::ostream& out, ProgressView::Style style);

    // Sends the probe or the request.
    void Start(Clock::time_point now);
    // The limits and the due sends of the current phase; returns when to look again.
    Clock::time_point Tick(Clock::time_point now);
    // The probe's answer and the version check's answers in the logger list; true when the attempt moved
    // on.
    bool Take();
    void OnDialogueEvent(const DialogueEvent& event, Clock::time_point now);
    // Ends the attempt with a known outcome, before its start (a logger no search found) or while it runs.
    void Finish(Outcome outcome, Clock::time_point now);
    // Ctrl-C, or the network failed (`networkFailure` says how): a running attempt ends and says what the
    // logger may hold; a waiting one is skipped.
    void Interrupt(Clock::time_point now, const std::string& networkFailure = {});
    void SkipIt(Skip why);

    Phase CurrentPhase() const { return phase_; }
    bool InFlight() const;
    // Its dialogue is open in the router.
    bool Routed() const { return dialogue_ != nullptr; }
    // Its dialogue was closed.
    void Unroute() { dialogue_ = nullptr; }
    // Ended with "Update Fail", its dialogue still open: a late "R" corrects its record line.
    bool Correctable() const;
    const std::string& Address() const { return address_; }
    // The logger as the search or the probe found it; empty before the probe answered.
    const std::optional<LoggerRow>& Logger() const { return logger_; }
    const ProgressView& Tally() const { return tally_; }
    const std::optional<Outcome>& Result() const { return outcome_; }
    std::optional<Skip> Skipped() const { return skipped_; }
    // The version check, once it began.
    const VersionCheck* Check() const { return check_ ? &*check_ : nullptr; }
    double Seconds() const { return seconds_; }
    bool Failed() const { return outcome_ && outcome_->code != ExitCode::Complete; }
    // How it ended ("complete", "refused", ...) or why it never started ("skipped", ...).
    std::string ResultName() const;

    // The result, the message, the address, then `extra`'s fields, then the file's blocks, the tally and
    // the versions.
    Json Report(const Json& extra) const;

  private:
    void Request(Clock::time_point now);
    // The probe's answer, taken once the rounds are over, so that a second logger at the address is
    // heard before the attempt decides.
    bool TakeProbeAnswer(Clock::time_point now);
    // A late "R" after "Update Fail": the record line is corrected, as the window corrects its own.
    void Correct(Clock::time_point now);

    AttemptShared& shared_;
    const std::string address_;
    std::optional<LoggerRow> logger_;
    Phase phase_ = Phase::Waiting;
    ProgressView tally_;
    RequestRetries retries_;  // on the pacer's clock
    Clock::time_point lastRequest_{};
    std::optional<record::Entry> recordLine_;  // the record line written, which a correction names
    std::optional<dialogue::RequestSent> request_;
    std::optional<std::string> unreadable_;  // the last answer that could not be read
    std::optional<VersionCheck> check_;
    std::optional<Outcome> outcome_;
    std::optional<Skip> skipped_;
    Clock::time_point started_{};
    Clock::time_point lastActivity_{};
    double seconds_ = 0;
    UpdateDialogue* dialogue_ = nullptr;  // in the router, from the first request until closed
};

}  // namespace lut::cli
