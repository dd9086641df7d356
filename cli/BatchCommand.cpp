// update of a whole site or a list: the search, then up to --parallel loggers at once, each with its own
// dialogue (its own state, workers and pacing) fed by the router with its own logger's answers only; each
// logger ends with its result line and record line, the run with a summary table.
#include <algorithm>
#include <iomanip>
#include <sstream>
#include <vector>

#include "cli/AttemptRecord.h"
#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/GivenFileDialog.h"
#include "cli/Outcome.h"
#include "cli/Output.h"
#include "cli/ProgressView.h"
#include "cli/Session.h"
#include "cli/VersionCheck.h"
#include "cli/VersionOrder.h"
#include "link/LocalAddress.h"
#include "update/DialoguePresenter.h"
#include "update/Overloaded.h"
#include "update/TrimText.h"

namespace lut::cli {
namespace {

using Clock = EventLoop::Clock;

// How often the loop looks at the clock while dialogues wait for their workers to come to rest.
constexpr std::chrono::milliseconds RestCheck{50};

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

std::string Clocked(double seconds) {
    const auto whole = static_cast<long>(seconds + 0.5);
    std::ostringstream text;
    text << whole / 60 << ':' << std::setw(2) << std::setfill('0') << whole % 60;
    return text.str();
}

// One logger of the batch.
struct Unit {
    enum class Phase { Waiting, Requested, Transferring, Verifying, Done, Skipped };

    explicit Unit(LoggerRow row) : logger(std::move(row)) {}

    LoggerRow logger;
    Phase phase = Phase::Waiting;
    std::ostringstream silent;
    ProgressView tally{silent, ProgressView::Style::Quiet};
    std::optional<dialogue::RequestSent> request;
    std::optional<std::string> unreadable;
    std::optional<VersionCheck> check;
    std::optional<Outcome> outcome;
    Clock::time_point started{};
    Clock::time_point lastActivity{};
    double seconds = 0;
    bool routed = false;  // its dialogue is open in the router

    bool InFlight() const {
        return phase == Phase::Requested || phase == Phase::Transferring || phase == Phase::Verifying;
    }
};

class BatchRun final : public RoutedObserver {
  public:
    BatchRun(const UpdateOptions& options, const RunContext& context)
        : options_(options),
          context_(context),
          session_(options.common.tool, LocalAddressOrNone(options.common), context.pacer,
                   context.interruptHandle),
          record_(options.record, options.file, context.err) {}

    int Execute();

    void OnDialogueEvent(const std::string& logger, const DialogueEvent& event) override;

  private:
    std::optional<Outcome> Prepare();
    std::optional<Outcome> Search();
    void Choose(const std::vector<LoggerRow>& found);
    int DryRun();
    bool Transfer();
    void Start(Unit& unit);
    Clock::time_point Tick(Clock::time_point now);
    bool Harvest();
    void Finish(Unit& unit, Outcome outcome);
    void Retire();
    void Interrupt();
    void Draw();
    int Report();
    void Say(const std::string& line);
    Unit* Find(const std::string& address);

    const UpdateOptions& options_;
    const RunContext& context_;
    Session session_;
    AttemptRecord record_;
    DialogueRouter* router_ = nullptr;
    std::string version_;  // as it goes out in the request
    std::vector<std::unique_ptr<Unit>> units_;
    std::size_t next_ = 0;       // the first unit not yet started
    bool stopping_ = false;      // a failure without --keep-going: start no more
    bool changed_ = false;       // some logger's phase changed since the loop last looked
    bool lineOpen_ = false;      // the terminal's progress line is drawn
    std::size_t unchanged_ = 0;  // loggers left alone: already at the file's version, or not below --below
    std::optional<ExitCode> firstFailure_;
    bool interrupted_ = false;
    std::size_t unrouted_ = 0;  // update answers from addresses without a running dialogue
    const Clock::time_point start_ = Clock::now();
};

int BatchRun::Execute() {
    if (auto failure = Prepare()) {
        (options_.common.json ? context_.out : context_.err)
            << (options_.common.json ? ToJsonText(Json{{"result", NameOf(failure->code)},
                                                       {"exitCode", ToInt(failure->code)},
                                                       {"message", failure->message}})
                                     : failure->message)
            << '\n';
        return ToInt(failure->code);
    }
    if (options_.dryRun) {
        return DryRun();
    }
    interrupted_ = Transfer();
    return Report();
}

// The file, then the search, then the loggers to update.
std::optional<Outcome> BatchRun::Prepare() {
    if (const auto failure = session_.Start()) {
        return Outcome{ExitCode::EndpointFailed, *failure};
    }
    MemoryWindow& window = session_.Window();
    GivenFileDialog dialog(options_.file);
    const std::size_t shown = window.log.size();
    session_.Core().btn1Click(dialog);
    if (window.log.size() > shown) {
        return Outcome{ExitCode::CheckFailed, window.log[shown].text};
    }
    if (options_.version) {
        window.SetVersionText(*options_.version);
    }
    version_ = std::string(TrimBlankAndControl(window.VersionText()));
    return Search();
}

std::optional<Outcome> BatchRun::Search() {
    ToolCore& core = session_.Core();
    core.btnsearchClick();
    const auto end =
        session_.Loop().Run([] { return false; }, {Clock::now() + options_.common.wait, std::nullopt});
    if (end == EventLoop::End::Interrupted) {
        return Outcome{ExitCode::Interrupted, "Interrupted during the search; no logger was changed."};
    }
    Choose(core.Loggers());
    Say("Update file " + options_.file + ", version " + Printable(version_) + ", " +
        std::to_string(BlockCountOf(*core.LoadedImage())) +
        " blocks: " + std::to_string(core.Loggers().size()) + " loggers found, " +
        std::to_string(units_.size()) + " to update, " + std::to_string(unchanged_) + " left alone.");
    return std::nullopt;
}

void BatchRun::Choose(const std::vector<LoggerRow>& found) {
    const auto wanted = [this](const LoggerRow& row) {
        const std::string_view version = TrimBlankAndControl(row.version);
        return !options_.below || VersionBelow(version, *options_.below);
    };
    if (options_.all) {
        for (const LoggerRow& row : found) {
            if (TrimBlankAndControl(row.version) != version_ && wanted(row)) {
                units_.push_back(std::make_unique<Unit>(row));
            } else {
                ++unchanged_;
            }
        }
        return;
    }
    for (const std::string& address : options_.loggers) {
        const auto row =
            std::find_if(found.begin(), found.end(), [&](const LoggerRow& r) { return r.ip == address; });
        if (row == found.end()) {
            auto unit = std::make_unique<Unit>(LoggerRow{"", address, ""});
            unit->phase = Unit::Phase::Done;
            unit->outcome =
                Outcome{ExitCode::NoAnswer, "No answer from " + address + " to the search within " +
                                                Seconds(options_.common.wait) + "."};
            firstFailure_ = firstFailure_.value_or(ExitCode::NoAnswer);
            units_.push_back(std::move(unit));
        } else if (wanted(*row)) {
            units_.push_back(std::make_unique<Unit>(*row));
        } else {
            ++unchanged_;
        }
    }
}

int BatchRun::DryRun() {
    Json list = Json::array();
    for (const auto& unit : units_) {
        if (unit->phase != Unit::Phase::Waiting) {
            continue;
        }
        const LoggerRow& row = unit->logger;
        list.push_back({{"sn", row.sn}, {"ip", row.ip}, {"version", row.version}, {"versionSent", version_}});
        Say("Would update " + Printable(row.sn) + " at " + row.ip + " from " + Printable(row.version) +
            " to " + Printable(version_));
    }
    if (options_.common.json) {
        context_.out << ToJsonText(list) << '\n';
    }
    return ToInt(firstFailure_.value_or(ExitCode::Complete));
}

// Starts loggers while there is room, and runs the loop until every started logger has ended; true when
// Ctrl-C ended it.
bool BatchRun::Transfer() {
    ToolCore& core = session_.Core();
    router_ = &core.StartRouting(*this);
    next_ = 0;
    for (;;) {
        std::size_t inFlight = 0;
        for (const auto& unit : units_) {
            inFlight += unit->InFlight() ? 1 : 0;
        }
        while (!stopping_ && next_ < units_.size() &&
               inFlight < static_cast<std::size_t>(options_.parallel)) {
            Unit& unit = *units_[next_++];
            if (unit.phase == Unit::Phase::Waiting) {
                Start(unit);
                inFlight += unit.InFlight() ? 1 : 0;
            }
        }
        // Once every logger has ended, the workers still pausing after a verdict are woken by StopRouting.
        if (inFlight == 0 && (stopping_ || next_ == units_.size())) {
            break;
        }
        Retire();
        Draw();
        const Clock::time_point wake = Tick(Clock::now());
        changed_ = false;
        const auto end = session_.Loop().Run([this] { return Harvest() || changed_; }, {wake, std::nullopt});
        if (end == EventLoop::End::Interrupted) {
            Interrupt();
            return true;
        }
    }
    for (std::size_t i = next_; i < units_.size(); ++i) {
        if (units_[i]->phase == Unit::Phase::Waiting) {
            units_[i]->phase = Unit::Phase::Skipped;
        }
    }
    unrouted_ = router_->Unrouted();
    core.StopRouting();
    router_ = nullptr;
    return false;
}

void BatchRun::Start(Unit& unit) {
    unit.started = unit.lastActivity = Clock::now();
    unit.phase = Unit::Phase::Requested;
    unit.routed = true;
    UpdateDialogue& dialogue = router_->Open(unit.logger.ip);
    const UpdateRequest request{unit.logger, session_.Window().VersionText(), options_.file,
                                session_.Core().LoadedImage()};
    const UpdateCheck check = dialogue.btnUPGClick(request);
    if (check != UpdateCheck::Passed) {
        Finish(unit, {ExitCode::CheckFailed, std::string(MessageOf(check))});
        return;
    }
    if (!options_.common.json && !context_.terminal) {
        Say("Updating " + Printable(unit.logger.sn) + " at " + unit.logger.ip + " from " +
            Printable(unit.logger.version) + " to " + Printable(version_));
    }
}

// The limits of every running logger, and the probes of the version checks that are due; returns when
// to look again.
Clock::time_point BatchRun::Tick(Clock::time_point now) {
    Clock::time_point wake = now + std::chrono::seconds(1);
    const auto stall =
        std::chrono::duration_cast<Clock::duration>(FinishDelay + QueryDelay + options_.common.wait);
    for (const auto& pointer : units_) {
        Unit& unit = *pointer;
        switch (unit.phase) {
            case Unit::Phase::Requested:
                if (now >= unit.started + options_.common.wait) {
                    Finish(unit, unit.unreadable
                                     ? Outcome{ExitCode::UnknownError, *unit.unreadable}
                                     : Outcome{ExitCode::NoAnswer, "No answer from " + unit.logger.ip +
                                                                       " to the update request within " +
                                                                       Seconds(options_.common.wait) + "."});
                } else {
                    wake = std::min(wake, unit.started + options_.common.wait);
                }
                break;
            case Unit::Phase::Transferring:
                if (now >= unit.lastActivity + stall) {
                    Finish(unit, {ExitCode::UpdateFail,
                                  "The transfer stalled. The logger may hold a partial "
                                  "image; run the update again."});
                } else {
                    wake = std::min(wake, unit.lastActivity + stall);
                }
                break;
            case Unit::Phase::Verifying:
                wake = std::min(wake, unit.check->Step(session_.Core(), now));
                Harvest();
                break;
            case Unit::Phase::Done:
                if (unit.routed) {
                    wake = std::min(wake, now + RestCheck);
                }
                break;
            case Unit::Phase::Waiting:
            case Unit::Phase::Skipped:
                break;
        }
    }
    return wake;
}

// The version checks' answers in the logger list, and the checks whose wait is over; true when one ended.
bool BatchRun::Harvest() {
    bool ended = false;
    for (const auto& pointer : units_) {
        Unit& unit = *pointer;
        if (unit.phase != Unit::Phase::Verifying) {
            continue;
        }
        unit.check->Take(session_.Core().Loggers());
        const VersionCheck::Result result = unit.check->Outcome();
        if (result == VersionCheck::Result::Pending) {
            continue;
        }
        Finish(unit, {result == VersionCheck::Result::Verified      ? ExitCode::Complete
                      : result == VersionCheck::Result::NotVerified ? ExitCode::NotVerified
                                                                    : ExitCode::NoVerifyAnswer,
                      unit.check->Message()});
        ended = true;
    }
    return ended;
}

void BatchRun::OnDialogueEvent(const std::string& logger, const DialogueEvent& event) {
    Unit* unit = Find(logger);
    if (unit == nullptr) {
        return;
    }
    unit->tally.Apply(event);
    unit->lastActivity = Clock::now();
    changed_ = true;
    if (!unit->InFlight() || unit->phase == Unit::Phase::Verifying) {
        return;
    }
    std::visit(Overloaded{
                   [&](const dialogue::RequestSent& e) { unit->request = e; },
                   [&](const dialogue::Accepted&) { unit->phase = Unit::Phase::Transferring; },
                   [&](const dialogue::UnreadableAnswer& e) { unit->unreadable = UnreadableText(e); },
                   [](const auto&) {},
               },
               event);
    std::optional<Outcome> outcome = OutcomeOf(event);
    if (!outcome) {
        return;
    }
    if (outcome->code == ExitCode::Complete && options_.verify) {
        unit->phase = Unit::Phase::Verifying;
        unit->check.emplace(unit->logger, unit->request->version, Clock::now(), options_.verifyWait,
                            options_.verifyInterval);
        return;
    }
    Finish(*unit, std::move(*outcome));
}

void BatchRun::Finish(Unit& unit, Outcome outcome) {
    unit.phase = Unit::Phase::Done;
    unit.seconds = std::chrono::duration<double>(Clock::now() - unit.started).count();
    if (unit.request) {
        record_.Write(unit.logger, *unit.request, unit.tally, unit.check ? &*unit.check : nullptr,
                      outcome.code, outcome.message, unit.seconds);
    }
    if (outcome.code != ExitCode::Complete) {
        firstFailure_ = firstFailure_.value_or(outcome.code);
        stopping_ = stopping_ || !options_.keepGoing;
    }
    std::ostringstream line;
    line << Printable(unit.logger.sn) << " at " << unit.logger.ip << ": " << NameOf(outcome.code) << " in "
         << std::fixed << std::setprecision(1) << unit.seconds << " s: " << outcome.message;
    unit.outcome = std::move(outcome);
    changed_ = true;
    Say(line.str());
}

// Closes the dialogues of the loggers that have ended once their workers are at rest.
void BatchRun::Retire() {
    for (const auto& unit : units_) {
        if (unit->routed && !unit->InFlight() && router_->AtRest(unit->logger.ip)) {
            router_->Close(unit->logger.ip);
            unit->routed = false;
        }
    }
}

// Ctrl-C: every running logger stops at once and says what it may hold; those not started are skipped.
void BatchRun::Interrupt() {
    unrouted_ = router_->Unrouted();
    session_.Core().Shutdown();
    router_ = nullptr;
    for (const auto& unit : units_) {
        if (unit->InFlight()) {
            Finish(*unit,
                   unit->phase == Unit::Phase::Verifying
                       ? Outcome{ExitCode::Interrupted,
                                 "Interrupted after \"Update complete\", before the version was checked."}
                       : InterruptedOutcome(unit->tally));
        } else if (unit->phase == Unit::Phase::Waiting) {
            unit->phase = Unit::Phase::Skipped;
        }
    }
}

// One line for the whole batch on a terminal: loggers done and in flight, blocks sent, time left.
void BatchRun::Draw() {
    if (options_.common.json || !context_.terminal) {
        return;
    }
    std::size_t done = 0;
    std::size_t inFlight = 0;
    std::size_t waiting = 0;
    long blocksSent = 0;
    long blocksTotal = 0;
    double longestLeft = 0;
    const int blocks = static_cast<int>(BlockCountOf(*session_.Core().LoadedImage()));
    const double oneLogger = blocks * 0.2 + 5.0;
    for (const auto& unit : units_) {
        done += unit->phase == Unit::Phase::Done ? 1 : 0;
        inFlight += unit->InFlight() ? 1 : 0;
        waiting += unit->phase == Unit::Phase::Waiting ? 1 : 0;
        blocksSent += unit->tally.BlocksSent();
        blocksTotal += blocks;
        if (unit->InFlight()) {
            longestLeft = std::max(longestLeft, std::max(0, blocks - unit->tally.BlocksSent()) * 0.2 + 5.0);
        }
    }
    const auto parallel = static_cast<std::size_t>(options_.parallel);
    const double left = longestLeft + static_cast<double>((waiting + parallel - 1) / parallel) * oneLogger;
    context_.out << "\r" << done << " done, " << inFlight << " in flight, " << waiting << " waiting; "
                 << blocksSent << "/" << blocksTotal << " blocks, " << Clocked(left) << " left  "
                 << std::flush;
    lineOpen_ = true;
}

int BatchRun::Report() {
    const int code = ToInt(interrupted_ ? ExitCode::Interrupted : firstFailure_.value_or(ExitCode::Complete));
    if (options_.common.json) {
        Json list = Json::array();
        for (const auto& unit : units_) {
            const bool ended = unit->outcome.has_value();
            const VersionCheck* check = unit->check ? &*unit->check : nullptr;
            const bool checked = check != nullptr && check->Outcome() != VersionCheck::Result::Pending;
            list.push_back({
                {"sn", unit->logger.sn},
                {"logger", unit->logger.ip},
                {"result", ended ? std::string(NameOf(unit->outcome->code)) : "skipped"},
                {"exitCode", ended ? Json(ToInt(unit->outcome->code)) : Json()},
                {"message", ended ? unit->outcome->message : "Not started."},
                {"versionBefore", std::string(TrimBlankAndControl(unit->logger.version))},
                {"versionAfter",
                 check != nullptr && !check->Reported().empty() ? Json(check->Reported()) : Json()},
                {"verified", checked ? Json(check->Outcome() == VersionCheck::Result::Verified) : Json()},
                {"blocks", unit->request ? unit->request->blockCount : 0},
                {"blocksSent", unit->tally.BlocksSent()},
                {"blocksResent", unit->tally.BlocksResent()},
                {"sendFailures", unit->tally.SendFailures()},
                {"seconds", unit->seconds},
            });
        }
        context_.out << ToJsonText(list) << '\n';
        return code;
    }
    if (units_.empty()) {
        Say("Nothing to update.");
        return code;
    }
    const std::vector<std::string> header{"SN", "IP", "Before", "After", "Outcome", "Time"};
    std::vector<std::vector<std::string>> rows{header};
    for (const auto& unit : units_) {
        const VersionCheck* check = unit->check ? &*unit->check : nullptr;
        std::ostringstream time;
        time << std::fixed << std::setprecision(1) << unit->seconds << " s";
        rows.push_back({Printable(unit->logger.sn), unit->logger.ip,
                        Printable(std::string(TrimBlankAndControl(unit->logger.version))),
                        check != nullptr && !check->Reported().empty() ? Printable(check->Reported()) : "-",
                        unit->outcome ? std::string(NameOf(unit->outcome->code)) : "skipped",
                        unit->outcome ? time.str() : "-"});
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    Say("");
    for (const auto& row : rows) {
        std::ostringstream line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line << std::left << std::setw(i + 1 == row.size() ? 0 : static_cast<int>(widths[i] + 2))
                 << row[i];
        }
        Say(line.str());
    }
    std::ostringstream total;
    total << units_.size() << " loggers in " << std::fixed << std::setprecision(1)
          << std::chrono::duration<double>(Clock::now() - start_).count() << " s";
    if (firstFailure_) {
        total << "; the first failure: " << NameOf(*firstFailure_);
    }
    if (unrouted_ > 0) {
        total << "; " << unrouted_ << " update answers from addresses without a running update were ignored";
    }
    Say(total.str() + ".");
    return code;
}

void BatchRun::Say(const std::string& line) {
    if (options_.common.json) {
        return;
    }
    if (lineOpen_) {
        context_.out << '\n';
        lineOpen_ = false;
    }
    // Flushed, so that a log or a script that follows the output sees each logger as it ends.
    context_.out << line << '\n' << std::flush;
}

Unit* BatchRun::Find(const std::string& address) {
    for (const auto& unit : units_) {
        if (unit->logger.ip == address) {
            return unit.get();
        }
    }
    return nullptr;
}

}  // namespace

int RunBatch(const UpdateOptions& options, const RunContext& context) {
    return BatchRun(options, context).Execute();
}

}  // namespace lut::cli
