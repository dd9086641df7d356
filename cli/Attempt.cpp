#include "cli/Attempt.h"

#include <algorithm>

#include "cli/FoundLoggers.h"
#include "record/Sha256.h"
#include "update/Overloaded.h"
#include "update/TrimText.h"
#include "update/dialogue/DialoguePresenter.h"

namespace lut::cli {
namespace {

// How often a waiting request looks at the pacer's clock, whose pace the loop does not know.
constexpr std::chrono::milliseconds RequestCheck{50};

// The longest quiet spell of a sound transfer is the final pause before the first query; beyond that and
// a query's pause, the workers have stopped without a verdict.
std::chrono::milliseconds StallLimit(std::chrono::milliseconds wait) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(FinishDelay + QueryDelay) + wait;
}

ExitCode ExitCodeOf(VersionCheck::Result result) {
    switch (result) {
        case VersionCheck::Result::Verified:
            return ExitCode::Complete;
        case VersionCheck::Result::NotVerified:
            return ExitCode::NotVerified;
        case VersionCheck::Result::Pending:
        case VersionCheck::Result::NoAnswer:
            break;
    }
    return ExitCode::NoVerifyAnswer;
}

std::string NotTheApprovedFile(const std::string& file, const std::string& sha256,
                               const std::string& approved) {
    return file + " is not the approved file: its SHA-256 is " + sha256 + ", not " + approved + ".";
}

}  // namespace

std::optional<Outcome> LoadAttemptFile(Session& session, AttemptShared& shared) {
    const UpdateOptions& options = shared.options;
    if (const auto failure = session.LoadFile(options.file, options.version)) {
        return Outcome{ExitCode::CheckFailed, *failure};
    }
    // The bytes that were loaded are the bytes that would be sent.
    if (options.sha256) {
        const ImageText& image = session.Core().LoadedImage();
        const std::string sha256 =
            record::Sha256OfHexText(image ? std::string_view(*image) : std::string_view());
        if (sha256 != *options.sha256) {
            return Outcome{ExitCode::CheckFailed, NotTheApprovedFile(options.file, sha256, *options.sha256)};
        }
    }
    shared.record.Loaded(session.Core().LoadedFile(), session.Core().LoadedImage());
    shared.versionText = session.Window().VersionText();
    return std::nullopt;
}

std::optional<Outcome> PrepareAttempts(Session& session, AttemptShared& shared) {
    if (const auto failure = session.Start()) {
        return Outcome{ExitCode::EndpointFailed, *failure};
    }
    return LoadAttemptFile(session, shared);
}

Attempt::Attempt(LoggerRow logger, AttemptShared& shared, std::ostream& out, ProgressView::Style style)
    : Attempt(logger.ip, shared, out, style) {
    logger_ = std::move(logger);
}

Attempt::Attempt(std::string address, AttemptShared& shared, std::ostream& out, ProgressView::Style style)
    : shared_(shared), address_(std::move(address)), tally_(out, style) {}

bool Attempt::InFlight() const {
    return phase_ == Phase::Probing || phase_ == Phase::Requested || phase_ == Phase::Transferring ||
           phase_ == Phase::Verifying;
}

void Attempt::Start(Clock::time_point now) {
    started_ = lastActivity_ = now;
    if (logger_) {
        Request(now);
        return;
    }
    phase_ = Phase::Probing;
    shared_.core.SearchAddresses({address_});
    const auto& unsent = shared_.core.UnsentProbes();
    if (const auto failed = unsent.find(address_); failed != unsent.end()) {
        Finish({ExitCode::NoAnswer,
                "The probe could not be sent to " + address_ + ": " + failed->second.message() + "."},
               now);
    }
}

// The request, asked again by Tick while no answer comes: a lost request or a lost acceptance leaves the
// dialogue in "LU".
void Attempt::Request(Clock::time_point now) {
    if (dialogue_ == nullptr) {
        dialogue_ = &shared_.router->Open(address_);
    }
    phase_ = Phase::Requested;  // before the request, whose event tells what went out
    const UpdateCheck check = dialogue_->btnUPGClick(
        {logger_, shared_.versionText, shared_.options.file, shared_.core.LoadedImage()});
    if (check != UpdateCheck::Passed) {
        Finish({ExitCode::CheckFailed, std::string(MessageOf(check))}, now);
        return;
    }
    retries_.Begin(shared_.pacer.Now());
    lastRequest_ = now;
    shared_.listener->Requested(*this);
}

bool Attempt::TakeProbeAnswer(Clock::time_point now) {
    const std::vector<LoggerRow>& rows = shared_.core.Loggers();
    const auto row =
        std::find_if(rows.begin(), rows.end(), [this](const LoggerRow& r) { return r.ip == address_; });
    const Clock::time_point roundsOver = started_ + RoundInterval * shared_.options.common.tool.searchRounds;
    if (row == rows.end() || (now < roundsOver && now < started_ + shared_.options.common.wait)) {
        return false;
    }
    if (shared_.core.Answers().Conflicting(address_)) {
        Finish({ExitCode::AddressConflict, ConflictOutcome(shared_.core.Answers().At(address_))}, now);
        return true;
    }
    logger_ = *row;
    shared_.listener->Found(*this);
    Request(now);
    return true;
}

Attempt::Clock::time_point Attempt::Tick(Clock::time_point now) {
    const std::chrono::milliseconds wait = shared_.options.common.wait;
    switch (phase_) {
        case Phase::Probing: {
            if (TakeProbeAnswer(now)) {
                return now;
            }
            if (now >= started_ + wait) {
                Finish({ExitCode::NoAnswer, "No answer from " + address_ + " to the probe within " +
                                                cli::Seconds(wait) +
                                                ": is the logger on, and is the address right?"},
                       now);
                return now;
            }
            // The core sends the later rounds of the probe.
            shared_.core.Tick();
            Clock::time_point next = std::min(
                started_ + wait, started_ + RoundInterval * shared_.options.common.tool.searchRounds);
            if (const auto due = shared_.core.UntilTick()) {
                next = std::min(next, now + *due);
            }
            return next;
        }
        case Phase::Requested:
            if (retries_.Next()) {
                if (retries_.Due(shared_.pacer.Now()) && dialogue_->RequestAgain()) {
                    lastRequest_ = now;
                }
                return now + RequestCheck;
            }
            if (now >= lastRequest_ + wait) {
                Finish(unreadable_ ? Outcome{ExitCode::UnknownError, *unreadable_}
                                   : Outcome{ExitCode::NoAnswer,
                                             "No answer from " + address_ + " to the update request, sent " +
                                                 std::to_string(RequestRetries::Requests) + " times " +
                                                 cli::Seconds(RequestRetries::RequestInterval) +
                                                 " apart, within " + cli::Seconds(wait) + " of the last."},
                       now);
                return now;
            }
            return lastRequest_ + wait;
        case Phase::Transferring: {
            const std::chrono::milliseconds stall = StallLimit(wait);
            if (now >= lastActivity_ + stall) {
                Finish({ExitCode::UpdateFail,
                        "The transfer stalled: nothing happened for " + cli::Seconds(stall) +
                            ". The logger may hold a partial image; run the update again."},
                       now);
                return now;
            }
            return lastActivity_ + stall;
        }
        case Phase::Verifying: {
            // A probe the system refuses is as good as one the restarting logger does not hear.
            if (check_->Step(now)) {
                shared_.core.Probe(check_->Logger().ip);
            }
            Take();
            return check_->Next();
        }
        case Phase::Waiting:
        case Phase::Done:
        case Phase::Skipped:
            break;
    }
    return Clock::time_point::max();
}

bool Attempt::Take() {
    if (phase_ == Phase::Probing) {
        return TakeProbeAnswer(Clock::now());
    }
    if (phase_ != Phase::Verifying) {
        return false;
    }
    // Each probe of the check empties the list: what it lists then answered after the update.
    for (const LoggerRow& row : shared_.core.Loggers()) {
        check_->Take(row);
    }
    const VersionCheck::Result result = check_->Outcome();
    if (result == VersionCheck::Result::Pending) {
        return false;
    }
    Finish({ExitCodeOf(result), check_->Message()}, Clock::now());
    return true;
}

void Attempt::OnDialogueEvent(const DialogueEvent& event, Clock::time_point now) {
    if (Correctable() && std::holds_alternative<dialogue::Complete>(event)) {
        Correct(now);
        return;
    }
    tally_.Apply(event);
    lastActivity_ = now;
    if (phase_ != Phase::Requested && phase_ != Phase::Transferring) {
        return;
    }
    std::visit(Overloaded{
                   [&](const dialogue::RequestSent& e) { request_ = e; },
                   [&](const dialogue::Accepted&) { phase_ = Phase::Transferring; },
                   [&](const dialogue::UnreadableAnswer& e) {
                       const bool first = !unreadable_;
                       unreadable_ = UnreadableText(e);
                       if (first) {
                           tally_.Close();
                           shared_.listener->Unreadable(*this, *unreadable_);
                       }
                   },
                   [](const auto&) {},
               },
               event);
    std::optional<Outcome> outcome = OutcomeOf(event);
    if (!outcome) {
        return;
    }
    if (outcome->code == ExitCode::Complete && shared_.options.verify) {
        phase_ = Phase::Verifying;
        check_.emplace(*logger_, request_->version, now, shared_.options.verifyWait,
                       shared_.options.verifyInterval);
        return;
    }
    Finish(std::move(*outcome), now);
}

void Attempt::Finish(Outcome outcome, Clock::time_point now) {
    phase_ = Phase::Done;
    seconds_ = started_ == Clock::time_point{} ? 0 : std::chrono::duration<double>(now - started_).count();
    if (request_) {
        recordLine_ = shared_.record.Write(*logger_, *request_, tally_, Check(), outcome.code,
                                           outcome.message, seconds_);
    }
    outcome_ = std::move(outcome);
    tally_.End();
    if (shared_.listener != nullptr) {
        shared_.listener->Ended(*this);
    }
}

bool Attempt::Correctable() const {
    return phase_ == Phase::Done && dialogue_ != nullptr && recordLine_ && outcome_ &&
           outcome_->code == ExitCode::UpdateFail;
}

void Attempt::Correct(Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - started_).count();
    shared_.record.Write(*logger_, *request_, tally_, Check(), ExitCode::Complete,
                         OutcomeText(dialogue::Complete{}), seconds, &*recordLine_);
    recordLine_.reset();
}

void Attempt::Interrupt(Clock::time_point now, const std::string& networkFailure) {
    if (phase_ == Phase::Verifying) {
        Finish({ExitCode::Interrupted,
                InterruptedText(networkFailure) +
                    " after \"Update complete\", before the logger's version was checked."},
               now);
    } else if (InFlight()) {
        Finish(InterruptedOutcome(tally_, networkFailure), now);
    } else if (phase_ == Phase::Waiting) {
        SkipIt(Skip::Stopped);
    }
}

void Attempt::SkipIt(Skip why) {
    phase_ = Phase::Skipped;
    skipped_ = why;
}

Json Attempt::Report(const Json& extra) const {
    const bool checked = check_ && check_->Outcome() != VersionCheck::Result::Pending;
    Json report{
        {"result", ResultName()},
        {"exitCode", outcome_ ? Json(ToInt(outcome_->code)) : Json()},
        {"message", outcome_ ? outcome_->message : "Not started."},
        {"logger", address_},
    };
    for (const auto& [key, value] : extra.items()) {
        report[key] = value;
    }
    report["blocks"] = BlockCountOf(*shared_.core.LoadedImage());
    report["blocksSent"] = tally_.BlocksSent();
    report["blocksResent"] = tally_.BlocksResent();
    report["sendFailures"] = tally_.SendFailures();
    report["seconds"] = seconds_;
    report["verified"] = checked ? Json(check_->Outcome() == VersionCheck::Result::Verified) : Json();
    report["versionBefore"] = logger_ ? Json(std::string(TrimBlankAndControl(logger_->version))) : Json();
    report["versionAfter"] = check_ && !check_->Reported().empty() ? Json(check_->Reported()) : Json();
    return report;
}

std::string Attempt::ResultName() const {
    if (outcome_) {
        return std::string(NameOf(outcome_->code));
    }
    return skipped_ == Skip::CanaryFailed ? "skipped (canary failed)" : "skipped";
}

}  // namespace lut::cli
