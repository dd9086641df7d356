// update: the file through Browse, the one logger through its answer to the probe, then exactly the
// window's Update button and the dialogue that follows, until the logger's verdict.
#include <sstream>
#include <stdexcept>

#include "cli/AttemptRecord.h"
#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/GivenFileDialog.h"
#include "cli/Outcome.h"
#include "cli/Output.h"
#include "cli/ProgressView.h"
#include "cli/Session.h"
#include "cli/VersionCheck.h"
#include "link/LocalAddress.h"
#include "update/DialoguePresenter.h"
#include "update/Messages.h"
#include "update/Overloaded.h"
#include "update/TrimText.h"

namespace lut::cli {
namespace {

// The local address only serves to ignore the workstation's own answers, so an unknown one is no reason
// to stop.
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

class UpdateRun final : public DialogueObserver {
  public:
    UpdateRun(const UpdateOptions& options, const RunContext& context)
        : options_(options),
          context_(context),
          address_(options.loggers.front()),
          session_(options.common.tool, LocalAddressOrNone(options.common), context.pacer,
                   context.interruptHandle),
          window_(session_.Window()),
          record_(options.record, options.file, context.err),
          view_(context.out, options.common.json ? ProgressView::Style::Quiet
                             : context.terminal  ? ProgressView::Style::Bar
                                                 : ProgressView::Style::Lines) {
        session_.Core().SetObserver(this);
    }

    int Execute() {
        const Outcome outcome = Run();
        return Finish(outcome.code == ExitCode::Complete && options_.verify ? Verify() : outcome);
    }

    // How the dialogue ends is decided here, from its events alone. An answer that cannot be read changes
    // nothing (a readable one may follow), so its error is only told and kept.
    void OnDialogueEvent(const DialogueEvent& event) override;

  private:
    Outcome Run();
    std::optional<Outcome> FindLogger();
    Outcome Verify();
    Outcome Interrupted();
    void Say(const std::string& line);
    int Finish(const Outcome& outcome);
    // true or false once the version was checked; null when it was not.
    Json Verified() const;

    const UpdateOptions& options_;
    const RunContext& context_;
    const std::string address_;  // the one logger
    const EventLoop::Clock::time_point start_ = EventLoop::Clock::now();
    Session session_;
    MemoryWindow& window_;
    AttemptRecord record_;
    ProgressView view_;
    bool accepted_ = false;
    std::optional<LoggerRow> logger_;  // as it answered the probe before the update
    std::optional<dialogue::RequestSent> request_;
    std::optional<VersionCheck> check_;      // once "Update complete" came
    std::optional<std::string> unreadable_;  // the last answer that could not be read
    std::optional<Outcome> outcome_;
};

Outcome UpdateRun::Run() {
    if (const auto failure = session_.Start()) {
        return {ExitCode::EndpointFailed, *failure};
    }

    // The file first, so that a wrong one ends the run before anything is sent.
    GivenFileDialog dialog(options_.file);
    const std::size_t shown = window_.log.size();
    if (session_.Core().btn1Click(dialog) != BrowseOutcome::Loaded) {
        // The box Browse showed says why.
        return {ExitCode::CheckFailed, window_.log.size() > shown ? window_.log[shown].text : options_.file};
    }
    if (options_.version) {
        window_.SetVersionText(*options_.version);
    }

    if (auto failure = FindLogger()) {
        return *failure;
    }

    Say("Update file " + options_.file + ", version " + Printable(window_.VersionText()) + ", " +
        std::to_string(BlockCountOf(*session_.Core().LoadedImage())) + " blocks");
    const UpdateCheck check = session_.Core().btnUPGClick();
    if (check != UpdateCheck::Passed) {
        return {ExitCode::CheckFailed, std::string(MessageOf(check))};
    }

    auto end = session_.Loop().Run([this] { return outcome_ || accepted_; },
                                   {EventLoop::Clock::now() + options_.common.wait, std::nullopt});
    if (end == EventLoop::End::Interrupted) {
        return Interrupted();
    }
    if (end == EventLoop::End::Deadline && unreadable_) {
        return {ExitCode::UnknownError, *unreadable_};
    }
    if (end == EventLoop::End::Deadline) {
        return {ExitCode::NoAnswer, "No answer from " + address_ + " to the update request within " +
                                        Seconds(options_.common.wait) + "."};
    }

    // The longest quiet spell of a sound transfer is the final pause before the first query; beyond
    // that and a query's pause, the workers have stopped without a verdict.
    const auto stall = FinishDelay + QueryDelay + options_.common.wait;
    end = session_.Loop().Run([this] { return outcome_.has_value(); }, {std::nullopt, stall});
    if (end == EventLoop::End::Interrupted) {
        return Interrupted();
    }
    if (outcome_) {
        return *outcome_;
    }
    return {ExitCode::UpdateFail, "The transfer stalled: nothing happened for " +
                                      Seconds(std::chrono::duration_cast<std::chrono::milliseconds>(stall)) +
                                      ". The logger may hold a partial image; run the update again."};
}

// The probe of the sweep, to the one address, so that the answer becomes the row that Update then works on.
std::optional<Outcome> UpdateRun::FindLogger() {
    ToolCore& core = session_.Core();
    if (const std::error_code failed = core.Probe(address_)) {
        return Outcome{ExitCode::NoAnswer,
                       "The probe could not be sent to " + address_ + ": " + failed.message() + "."};
    }
    const auto found = [&core, this]() -> std::optional<int> {
        const auto& rows = core.Loggers();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].ip == address_) {
                return static_cast<int>(i);
            }
        }
        return std::nullopt;
    };
    const auto end = session_.Loop().Run([&found] { return found().has_value(); },
                                         {EventLoop::Clock::now() + options_.common.wait, std::nullopt});
    if (end == EventLoop::End::Interrupted) {
        return Interrupted();
    }
    if (end != EventLoop::End::Done) {
        return Outcome{ExitCode::NoAnswer, "No answer from " + address_ + " to the probe within " +
                                               Seconds(options_.common.wait) +
                                               ": is the logger on, and is the address right?"};
    }
    const int row = *found();
    window_.selected = row;
    const LoggerRow& logger = core.Loggers()[static_cast<std::size_t>(row)];
    logger_ = logger;
    Say("Logger " + Printable(logger.sn) + " at " + logger.ip + ", version " + Printable(logger.version));
    return std::nullopt;
}

// The logger's version asked again after "Update complete", and compared with the version sent.
Outcome UpdateRun::Verify() {
    ToolCore& core = session_.Core();
    check_.emplace(*logger_, request_->version, EventLoop::Clock::now(), options_.verifyWait,
                   options_.verifyInterval);
    for (;;) {
        const auto next = check_->Step(core, EventLoop::Clock::now());
        if (check_->Outcome() != VersionCheck::Result::Pending) {
            break;
        }
        const auto end =
            session_.Loop().Run([this, &core] { return check_->Take(core.Loggers()); }, {next, std::nullopt});
        if (end == EventLoop::End::Interrupted) {
            return {ExitCode::Interrupted,
                    "Interrupted after \"Update complete\", before the logger's version was checked."};
        }
    }
    const VersionCheck::Result result = check_->Outcome();
    return {result == VersionCheck::Result::Verified      ? ExitCode::Complete
            : result == VersionCheck::Result::NotVerified ? ExitCode::NotVerified
                                                          : ExitCode::NoVerifyAnswer,
            check_->Message()};
}

void UpdateRun::OnDialogueEvent(const DialogueEvent& event) {
    view_.Apply(event);
    if (outcome_) {
        return;
    }
    std::visit(Overloaded{
                   [&](const dialogue::RequestSent& e) { request_ = e; },
                   [&](const dialogue::Accepted&) { accepted_ = true; },
                   [&](const dialogue::UnreadableAnswer& e) {
                       unreadable_ = UnreadableText(e);
                       view_.Close();
                       if (!options_.common.json) {
                           context_.err << *unreadable_ << '\n';
                       }
                   },
                   [](const auto&) {},
               },
               event);
    outcome_ = OutcomeOf(event);
}

// Stops the workers at once, then says what the logger may hold now.
Outcome UpdateRun::Interrupted() {
    session_.Core().Shutdown();
    session_.Loop().HandleReports();
    return InterruptedOutcome(view_);
}

void UpdateRun::Say(const std::string& line) {
    if (!options_.common.json) {
        context_.out << line << '\n';
    }
}

int UpdateRun::Finish(const Outcome& outcome) {
    view_.Close();
    session_.ReportReceiveErrors(context_.err);
    const double seconds = std::chrono::duration<double>(EventLoop::Clock::now() - start_).count();
    const auto blocks = BlockCountOf(*session_.Core().LoadedImage());
    if (request_) {
        record_.Write(*logger_, *request_, view_, check_ ? &*check_ : nullptr, outcome.code, outcome.message,
                      seconds);
    }
    if (options_.common.json) {
        const Json report{
            {"result", NameOf(outcome.code)},
            {"exitCode", ToInt(outcome.code)},
            {"message", outcome.message},
            {"logger", address_},
            {"file", options_.file},
            {"version", window_.VersionText()},
            {"blocks", blocks},
            {"blocksSent", view_.BlocksSent()},
            {"blocksResent", view_.BlocksResent()},
            {"sendFailures", view_.SendFailures()},
            {"receiveErrors", session_.Core().ReceiveErrors()},
            {"seconds", seconds},
            {"verified", Verified()},
            {"versionBefore", logger_ ? Json(std::string(TrimBlankAndControl(logger_->version))) : Json()},
            {"versionAfter", check_ && !check_->Reported().empty() ? Json(check_->Reported()) : Json()},
        };
        context_.out << ToJsonText(report) << '\n';
        return ToInt(outcome.code);
    }
    if (view_.Transferring()) {
        std::ostringstream summary;
        summary.precision(1);
        summary << std::fixed << view_.BlocksSent() << " blocks sent (" << view_.BlocksResent()
                << " resent) of " << blocks << ", in " << seconds << " s";
        Say(summary.str());
    }
    if (check_) {
        context_.out << text::UpdateComplete << '\n';
    }
    (outcome.code == ExitCode::Complete ? context_.out : context_.err) << outcome.message << '\n';
    return ToInt(outcome.code);
}

Json UpdateRun::Verified() const {
    if (!check_ || check_->Outcome() == VersionCheck::Result::Pending) {
        return Json();
    }
    return check_->Outcome() == VersionCheck::Result::Verified;
}

}  // namespace

int RunUpdate(const UpdateOptions& options, const RunContext& context) {
    if (!options.Single()) {
        return RunBatch(options, context);
    }
    return UpdateRun(options, context).Execute();
}

}  // namespace lut::cli
