// update of a whole site or a list: the search (of the /24, every adapter's, or each listed address), the
// loggers to update chosen from what it found, then the batch (cli/BatchScheduler.h) with a progress line, a
// result line as each logger ends and a summary table at the end.
#include <algorithm>

#include "cli/BatchLine.h"
#include "cli/BatchReport.h"
#include "cli/BatchScheduler.h"
#include "cli/Commands.h"
#include "cli/FoundLoggers.h"
#include "cli/SiteSearch.h"
#include "cli/VersionOrder.h"
#include "update/TrimText.h"

namespace lut::cli {
namespace {

using Clock = EventLoop::Clock;

class BatchRun final : public BatchOutput {
  public:
    BatchRun(const UpdateOptions& options, const RunContext& context)
        : options_(options),
          context_(context),
          session_(options.common.tool, LocalAddressOrNone(options.common), context.pacer,
                   context.interruptHandle),
          record_(options.record, context.err),
          shared_(session_.Core(), context.pacer, record_, options),
          line_(context.out, context.Progress(options.common.json)) {}

    int Execute();

  private:
    std::optional<Outcome> Prepare();
    std::optional<Outcome> Search();
    void Choose(const SiteSearchResult& search);
    int DryRun();
    int Report(bool interrupted, const BatchScheduler& scheduler);
    void Summarise(const BatchScheduler& scheduler);

    void Requested(const Attempt& attempt) override;
    // On a terminal the progress line counts the loggers that succeed; the failures are listed.
    void Ended(const Attempt& attempt) override {
        if (!context_.terminal || attempt.Failed()) {
            line_.Say(ResultLine(attempt));
        }
    }
    void Waiting(const Attempts& attempts) override {
        line_.Draw(attempts, static_cast<std::size_t>(options_.parallel), Blocks());
    }

    int Blocks() { return static_cast<int>(BlockCountOf(*session_.Core().LoadedImage())); }

    const UpdateOptions& options_;
    const RunContext& context_;
    Session session_;
    AttemptRecord record_;
    AttemptShared shared_;
    BatchLine line_;
    std::string version_;  // as it goes out in the request
    Attempts attempts_;
    std::vector<FoundLogger> found_;  // by the search
    std::size_t unchanged_ = 0;  // loggers left alone: already at the file's version, or not below --below
    const Clock::time_point start_ = Clock::now();
};

int BatchRun::Execute() {
    if (auto failure = Prepare()) {
        // Too few loggers found: the technician sees which were.
        const bool showFound = failure->code == ExitCode::FewerThanExpected;
        if (options_.common.json) {
            Json report{{"result", NameOf(failure->code)},
                        {"exitCode", ToInt(failure->code)},
                        {"message", failure->message}};
            if (showFound) {
                report["found"] = FoundJson(found_, options_.common.allAdapters);
            }
            context_.out << ToJsonText(report) << '\n';
        } else {
            if (showFound) {
                PrintFoundTable(context_.out, found_, options_.common.allAdapters);
            }
            context_.err << failure->message << '\n';
        }
        return ToInt(failure->code);
    }
    if (options_.dryRun) {
        return DryRun();
    }
    BatchPolicy policy{static_cast<std::size_t>(options_.parallel), std::nullopt,
                       static_cast<std::size_t>(options_.canary)};
    if (!options_.keepGoing) {
        policy.maxFailures = static_cast<std::size_t>(options_.maxFailures.value_or(1));
    }
    BatchScheduler scheduler(session_, shared_, policy, *this);
    const bool interrupted = scheduler.Run(attempts_);
    return Report(interrupted, scheduler);
}

// The file, then the search, then the loggers to update.
std::optional<Outcome> BatchRun::Prepare() {
    if (auto failure = LoadAttemptFile(session_, shared_)) {
        return failure;
    }
    version_ = std::string(TrimBlankAndControl(shared_.versionText));
    return Search();
}

std::optional<Outcome> BatchRun::Search() {
    const CommonOptions& common = options_.common;
    SiteSearchResult search;
    if (common.allAdapters) {
        // Each adapter's search binds the tool's ports on the adapter's address, so it ends before this
        // run's own endpoints open on every address.
        const AdapterSessions adapters(common, context_.pacer, context_.err, context_.interruptHandle);
        const std::vector<Session*>& sessions = adapters.Sessions();
        if (sessions.empty()) {
            return Outcome{ExitCode::EndpointFailed, std::string(NoAdapterText)};
        }
        search = SearchInRounds(sessions, common.wait);
        if (!search.interrupted && !ReportSearchFailures(search, sessions, context_.err)) {
            return Outcome{ExitCode::EndpointFailed, "No adapter could send a probe."};
        }
    }
    if (const auto failure = session_.Start()) {
        return Outcome{ExitCode::EndpointFailed, *failure};
    }
    if (!common.allAdapters) {
        search = SearchInRounds({&session_}, common.wait,
                                options_.all ? std::vector<std::string>{} : options_.loggers);
        if (!search.interrupted && !ReportSearchFailures(search, {&session_}, context_.err)) {
            return Outcome{ExitCode::EndpointFailed, SweepFailure(search.sweeps.front())};
        }
    }
    if (search.interrupted) {
        return Outcome{ExitCode::Interrupted, "Interrupted during the search; no logger was changed."};
    }
    found_ = std::move(search.found);
    WarnConflicts(context_.err, found_);
    if (options_.expect && found_.size() < static_cast<std::size_t>(*options_.expect)) {
        return Outcome{ExitCode::FewerThanExpected,
                       "The search found " + std::to_string(found_.size()) + " loggers, fewer than the " +
                           std::to_string(*options_.expect) + " expected: no logger was updated."};
    }
    Choose(search);
    line_.Say("Update file " + options_.file + ", version " + Printable(version_) + ", " +
              std::to_string(Blocks()) + " blocks: " + std::to_string(found_.size()) + " loggers found, " +
              std::to_string(attempts_.size()) + " to update, " + std::to_string(unchanged_) +
              " left alone.");
    return std::nullopt;
}

// A conflicting address gets one attempt that ends at once; the other loggers are updated when wanted.
void BatchRun::Choose(const SiteSearchResult& search) {
    const auto wanted = [this](const LoggerRow& row) {
        const std::string_view version = TrimBlankAndControl(row.version);
        return !options_.below || VersionBelow(version, *options_.below);
    };
    const auto add = [this](auto&& logger) {
        attempts_.push_back(std::make_unique<Attempt>(std::forward<decltype(logger)>(logger), shared_,
                                                      context_.out, ProgressView::Style::Quiet));
    };
    const auto refuseConflict = [&](const FoundLogger& logger) {
        add(logger.logger);
        attempts_.back()->Finish(
            {ExitCode::AddressConflict, ConflictOutcome(LoggersAt(found_, logger.logger.ip))}, Clock::now());
    };
    if (options_.all) {
        std::vector<std::string> refused;
        for (const FoundLogger& f : found_) {
            if (f.conflict) {
                if (std::find(refused.begin(), refused.end(), f.logger.ip) == refused.end()) {
                    refused.push_back(f.logger.ip);
                    refuseConflict(f);
                }
            } else if (TrimBlankAndControl(f.logger.version) != version_ && wanted(f.logger)) {
                add(f.logger);
            } else {
                ++unchanged_;
            }
        }
        return;
    }
    for (const std::string& address : options_.loggers) {
        // An address named twice is updated once.
        if (std::any_of(attempts_.begin(), attempts_.end(),
                        [&address](const auto& attempt) { return attempt->Address() == address; })) {
            continue;
        }
        const auto unsent = std::find_if(search.unsent.begin(), search.unsent.end(),
                                         [&](const auto& failed) { return failed.first == address; });
        const auto found = std::find_if(found_.begin(), found_.end(),
                                        [&](const FoundLogger& f) { return f.logger.ip == address; });
        if (unsent != search.unsent.end()) {
            add(address);
            attempts_.back()->Finish({ExitCode::NoAnswer, "The probe could not be sent to " + address + ": " +
                                                              unsent->second.message() + "."},
                                     Clock::now());
        } else if (found == found_.end()) {
            add(address);
            attempts_.back()->Finish(
                {ExitCode::NoAnswer, "No answer from " + address + " to the probe within " +
                                         Seconds(options_.common.wait) +
                                         ": is the logger on, and is the address right?"},
                Clock::now());
        } else if (found->conflict) {
            refuseConflict(*found);
        } else if (wanted(found->logger)) {
            add(found->logger);
        } else {
            ++unchanged_;
        }
    }
}

int BatchRun::DryRun() {
    Json list = Json::array();
    std::optional<ExitCode> failure;
    for (const auto& attempt : attempts_) {
        if (attempt->Failed()) {
            failure = failure.value_or(attempt->Result()->code);
            continue;
        }
        const LoggerRow& row = *attempt->Logger();
        list.push_back({{"sn", row.sn}, {"ip", row.ip}, {"version", row.version}, {"versionSent", version_}});
        line_.Say("Would update " + Printable(row.sn) + " at " + row.ip + " from " + Printable(row.version) +
                  " to " + Printable(version_));
    }
    if (options_.common.json) {
        context_.out << ToJsonText(list) << '\n';
    }
    return ToInt(failure.value_or(ExitCode::Complete));
}

void BatchRun::Requested(const Attempt& attempt) {
    if (!context_.terminal) {
        const LoggerRow& row = *attempt.Logger();
        line_.Say("Updating " + Printable(row.sn) + " at " + row.ip + " from " + Printable(row.version) +
                  " to " + Printable(version_));
    }
}

int BatchRun::Report(bool interrupted, const BatchScheduler& scheduler) {
    const std::string& failure = scheduler.NetworkFailure();
    const ExitCode exit = !failure.empty() ? ExitCode::EndpointFailed
                          : interrupted    ? ExitCode::Interrupted
                                           : scheduler.FirstFailure().value_or(ExitCode::Complete);
    session_.ReportReceiveErrors(context_.err);
    Summarise(scheduler);
    if (!failure.empty()) {
        context_.err << NetworkFailureText(failure) << '\n';
    }
    return ToInt(exit);
}

// The JSON array, or the table of every logger with the totals.
void BatchRun::Summarise(const BatchScheduler& scheduler) {
    if (options_.common.json) {
        context_.out << ToJsonText(ReportArray(attempts_)) << '\n';
        return;
    }
    if (attempts_.empty()) {
        line_.Say("Nothing to update.");
        return;
    }
    line_.Say("");
    for (const std::string& row : SummaryTable(attempts_)) {
        line_.Say(row);
    }
    // The loggers the search found, so that one missing from the site can be noticed.
    line_.Say(TotalLine(attempts_, std::chrono::duration<double>(Clock::now() - start_).count(),
                        scheduler.FirstFailure(), scheduler.Unrouted()) +
              "; the search found " + std::to_string(found_.size()) + " loggers.");
}

}  // namespace

int RunBatch(const UpdateOptions& options, const RunContext& context) {
    return BatchRun(options, context).Execute();
}

}  // namespace lut::cli
