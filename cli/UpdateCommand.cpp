// update: the file through Browse, the one logger through its answer to the probe, then exactly the
// window's Update button and the dialogue that follows, until the logger's verdict.
#include <sstream>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "link/LocalAddress.h"
#include "update/Messages.h"
#include "update/UpdateState.h"

namespace lut::cli {
namespace {

struct Outcome {
    ExitCode code;
    std::string message;
};

std::string Seconds(std::chrono::milliseconds wait) {
    std::ostringstream text;
    text << wait.count() / 1000.0 << " s";
    return text.str();
}

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

class UpdateRun {
  public:
    UpdateRun(const UpdateOptions& options, const RunContext& context)
        : options_(options),
          context_(context),
          session_(options.common.tool, LocalAddressOrNone(options.common), context.pacer,
                   context.interruptHandle),
          window_(session_.Window()),
          view_(context.out, options.common.json ? ProgressView::Style::Quiet
                             : context.terminal  ? ProgressView::Style::Bar
                                                 : ProgressView::Style::Lines) {}

    int Execute() { return Finish(Run()); }

  private:
    Outcome Run();
    std::optional<Outcome> FindLogger();
    std::optional<Outcome> DialogueOutcome();
    std::optional<std::string> NoticeSince(std::size_t first) const;
    Outcome InterruptedOutcome();
    void Say(const std::string& line);
    int Finish(const Outcome& outcome);

    const UpdateOptions& options_;
    const RunContext& context_;
    const EventLoop::Clock::time_point start_ = EventLoop::Clock::now();
    Session session_;
    TerminalWindow& window_;
    ProgressView view_;
    bool requested_ = false;
    std::size_t seenNotices_ = 0;            // boxes of the dialogue looked at so far
    std::optional<std::string> unreadable_;  // the last answer that could not be read
    std::optional<Outcome> outcome_;
};

Outcome UpdateRun::Run() {
    if (const auto failure = session_.Start()) {
        return {ExitCode::EndpointFailed, *failure};
    }

    // The file first, so that a wrong one ends the run before anything is sent.
    GivenFileDialog dialog(options_.file);
    session_.Core().btn1Click(dialog);
    if (const auto notice = NoticeSince(0)) {
        return {ExitCode::CheckFailed, *notice};
    }
    if (options_.version) {
        window_.SetVersionText(*options_.version);
    }

    if (auto failure = FindLogger()) {
        return *failure;
    }

    Say("Update file " + options_.file + ", version " + Printable(window_.VersionText()) + ", " +
        std::to_string(BlockCountOf(*session_.Core().State().LoadedImage)) + " blocks");
    const std::size_t checked = window_.Notices().size();
    session_.ShowProgressIn(view_);
    session_.Core().btnUPGClick();
    if (const auto notice = NoticeSince(checked)) {
        return {ExitCode::CheckFailed, *notice};
    }
    seenNotices_ = checked;
    requested_ = true;

    auto end =
        session_.Loop().Run([this] { return DialogueOutcome() || session_.State() != Protocol::Request; },
                            {EventLoop::Clock::now() + options_.common.wait, std::nullopt});
    if (end == EventLoop::End::Interrupted) {
        return InterruptedOutcome();
    }
    if (end == EventLoop::End::Deadline && unreadable_) {
        return {ExitCode::UnknownError, *unreadable_};
    }
    if (end == EventLoop::End::Deadline) {
        return {ExitCode::NoAnswer, "No answer from " + options_.logger + " to the update request within " +
                                        Seconds(options_.common.wait) + "."};
    }

    // The longest quiet spell of a sound transfer is the final pause before the first query; beyond
    // that and a query's pause, the workers have stopped without a verdict.
    const auto stall = FinishDelay + QueryDelay + options_.common.wait;
    end = session_.Loop().Run([this] { return DialogueOutcome().has_value(); }, {std::nullopt, stall});
    if (end == EventLoop::End::Interrupted) {
        return InterruptedOutcome();
    }
    if (const auto outcome = DialogueOutcome()) {
        return *outcome;
    }
    return {ExitCode::UpdateFail, "The transfer stalled: nothing happened for " +
                                      Seconds(std::chrono::duration_cast<std::chrono::milliseconds>(stall)) +
                                      ". The logger may hold a partial image; run the update again."};
}

// The probe of the sweep, to the one address, with the state of a search, so that the answer becomes the
// row that Update then works on.
std::optional<Outcome> UpdateRun::FindLogger() {
    ToolCore& core = session_.Core();
    core.State().ProtocolState.Store(Protocol::Search);
    window_.ClearList();
    if (!core.Link().DiscoverySocket.SendTo(DiscoveryProbe, options_.logger,
                                            options_.common.tool.discoveryPort)) {
        return Outcome{ExitCode::NoAnswer, "The probe could not be sent to " + options_.logger + "."};
    }
    const auto end = session_.Loop().Run([this] { return window_.FindRow(options_.logger).has_value(); },
                                         {EventLoop::Clock::now() + options_.common.wait, std::nullopt});
    if (end == EventLoop::End::Interrupted) {
        return InterruptedOutcome();
    }
    if (end != EventLoop::End::Done) {
        return Outcome{ExitCode::NoAnswer, "No answer from " + options_.logger + " to the probe within " +
                                               Seconds(options_.common.wait) +
                                               ": is the logger on, and is the address right?"};
    }
    const auto row = window_.FindRow(options_.logger);
    window_.SelectRow(row);
    const LoggerRow logger = window_.Row(*row);
    Say("Logger " + Printable(logger.sn) + " at " + logger.ip + ", version " + Printable(logger.version));
    return std::nullopt;
}

std::optional<std::string> UpdateRun::NoticeSince(std::size_t first) const {
    const auto& notices = window_.Notices();
    if (notices.size() > first) {
        return notices[first].text;
    }
    return std::nullopt;
}

// How the dialogue ended, once it has: the first box after the request, a refusal without a box (the
// state back to idle), or the workers' "Update Fail". An answer that cannot be read changes nothing (a
// readable one may follow), so its error is only told and kept.
std::optional<Outcome> UpdateRun::DialogueOutcome() {
    const auto& notices = window_.Notices();
    for (; !outcome_ && seenNotices_ < notices.size(); ++seenNotices_) {
        const Notice& notice = notices[seenNotices_];
        if (notice.kind == Notice::Kind::Error) {
            unreadable_ = notice.text;
            view_.Close();
            if (!options_.common.json) {
                context_.err << notice.text << '\n';
            }
        } else if (notice.text == text::UpdateComplete) {
            outcome_ = Outcome{ExitCode::Complete, notice.text};
        } else if (notice.text == text::FlashNotExists || notice.text == text::SameVersion) {
            outcome_ = Outcome{ExitCode::Refused, notice.text};
        } else {
            outcome_ = Outcome{ExitCode::UnknownError, notice.text};
        }
    }
    if (!outcome_ && session_.State() == Protocol::Idle) {
        outcome_ = Outcome{ExitCode::Refused, "The logger refused the update without giving a reason."};
    }
    if (!outcome_ && window_.StatusText() == text::UpdateFail) {
        outcome_ = Outcome{ExitCode::UpdateFail, std::string(text::UpdateFail)};
    }
    return outcome_;
}

// Stops the workers at once, then says what the logger may hold now.
Outcome UpdateRun::InterruptedOutcome() {
    session_.Core().Shutdown();
    session_.Loop().HandleDisplay();
    std::string what;
    if (!requested_) {
        what = "before the update request; the logger was not changed.";
    } else if (!view_.Transferring()) {
        what =
            "after the update request, before the logger's answer. The logger may have accepted the request "
            "and wait for blocks; run the update again.";
    } else if (window_.StatusText() == text::QueryUpdateResult || view_.Position() >= view_.Maximum()) {
        what =
            "after all blocks were sent, before the logger confirmed the image. It may hold the whole "
            "image or miss some blocks; search to see its version, or run the update again.";
    } else {
        what = std::string("while ") + (view_.Resending() ? "resending" : "sending") +
               " blocks: " + std::to_string(view_.Position()) + " of " + std::to_string(view_.Maximum()) +
               " sent. The logger holds a partial image and expects the rest or a new update request; run "
               "the update again.";
    }
    return {ExitCode::Interrupted, "Interrupted " + what};
}

void UpdateRun::Say(const std::string& line) {
    if (!options_.common.json) {
        context_.out << line << '\n';
    }
}

int UpdateRun::Finish(const Outcome& outcome) {
    view_.Close();
    const double seconds = std::chrono::duration<double>(EventLoop::Clock::now() - start_).count();
    const auto blocks = BlockCountOf(*session_.Core().State().LoadedImage);
    if (options_.common.json) {
        const Json report{
            {"result", NameOf(outcome.code)},
            {"exitCode", ToInt(outcome.code)},
            {"message", outcome.message},
            {"logger", options_.logger},
            {"file", options_.file},
            {"version", window_.VersionText()},
            {"blocks", blocks},
            {"blocksSent", view_.BlocksSent()},
            {"blocksResent", view_.BlocksResent()},
            {"seconds", seconds},
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
    (outcome.code == ExitCode::Complete ? context_.out : context_.err) << outcome.message << '\n';
    return ToInt(outcome.code);
}

}  // namespace

int RunUpdate(const UpdateOptions& options, const RunContext& context) {
    return UpdateRun(options, context).Execute();
}

}  // namespace lut::cli
