// update of a whole site or a list: the search, the loggers to update chosen from what it found, then
// the batch (cli/BatchScheduler.h) with a progress line, a result line as each logger ends and a summary
// table at the end.
#include <algorithm>

#include "cli/BatchLine.h"
#include "cli/BatchReport.h"
#include "cli/BatchScheduler.h"
#include "cli/Commands.h"
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
          line_(context.out, options.common.json ? ProgressView::Style::Quiet
                             : context.terminal  ? ProgressView::Style::Bar
                                                 : ProgressView::Style::Lines) {}

    int Execute();

  private:
    std::optional<Outcome> Prepare();
    void Choose(const std::vector<LoggerRow>& found);
    int DryRun();
    int Report(bool interrupted, const BatchScheduler& scheduler);

    void Requested(const Attempt& attempt) override;
    void Ended(const Attempt& attempt) override { line_.Say(ResultLine(attempt)); }
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
    std::size_t unchanged_ = 0;  // loggers left alone: already at the file's version, or not below --below
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
    BatchScheduler scheduler(session_, shared_,
                             {static_cast<std::size_t>(options_.parallel),
                              options_.keepGoing ? std::nullopt : std::optional<std::size_t>(1)},
                             *this);
    const bool interrupted = scheduler.Run(attempts_);
    return Report(interrupted, scheduler);
}

// The file, then the search, then the loggers to update.
std::optional<Outcome> BatchRun::Prepare() {
    if (const auto failure = session_.Start()) {
        return Outcome{ExitCode::EndpointFailed, *failure};
    }
    if (const auto failure = session_.LoadFile(options_.file, options_.version)) {
        return Outcome{ExitCode::CheckFailed, *failure};
    }
    record_.Loaded(session_.Core().LoadedFile(), session_.Core().LoadedImage());
    shared_.versionText = session_.Window().VersionText();
    version_ = std::string(TrimBlankAndControl(shared_.versionText));

    ToolCore& core = session_.Core();
    core.btnsearchClick();
    const auto end =
        session_.Loop().Run([] { return false; }, {Clock::now() + options_.common.wait, std::nullopt});
    if (end == EventLoop::End::Interrupted) {
        return Outcome{ExitCode::Interrupted, "Interrupted during the search; no logger was changed."};
    }
    Choose(core.Loggers());
    line_.Say("Update file " + options_.file + ", version " + Printable(version_) + ", " +
              std::to_string(Blocks()) + " blocks: " + std::to_string(core.Loggers().size()) +
              " loggers found, " + std::to_string(attempts_.size()) + " to update, " +
              std::to_string(unchanged_) + " left alone.");
    return std::nullopt;
}

void BatchRun::Choose(const std::vector<LoggerRow>& found) {
    const auto wanted = [this](const LoggerRow& row) {
        const std::string_view version = TrimBlankAndControl(row.version);
        return !options_.below || VersionBelow(version, *options_.below);
    };
    const auto add = [this](auto&& logger) {
        attempts_.push_back(std::make_unique<Attempt>(std::forward<decltype(logger)>(logger), shared_,
                                                      context_.out, ProgressView::Style::Quiet));
    };
    if (options_.all) {
        for (const LoggerRow& row : found) {
            if (TrimBlankAndControl(row.version) != version_ && wanted(row)) {
                add(row);
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
            add(address);
            attempts_.back()->Finish(
                {ExitCode::NoAnswer, "No answer from " + address + " to the search within " +
                                         Seconds(options_.common.wait) + "."},
                Clock::now());
        } else if (wanted(*row)) {
            add(*row);
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
    const int code =
        ToInt(interrupted ? ExitCode::Interrupted : scheduler.FirstFailure().value_or(ExitCode::Complete));
    if (options_.common.json) {
        context_.out << ToJsonText(ReportArray(attempts_)) << '\n';
        return code;
    }
    if (attempts_.empty()) {
        line_.Say("Nothing to update.");
        return code;
    }
    line_.Say("");
    for (const std::string& row : SummaryTable(attempts_)) {
        line_.Say(row);
    }
    line_.Say(TotalLine(attempts_.size(), std::chrono::duration<double>(Clock::now() - start_).count(),
                        scheduler.FirstFailure(), scheduler.Unrouted()) +
              ".");
    return code;
}

}  // namespace

int RunBatch(const UpdateOptions& options, const RunContext& context) {
    return BatchRun(options, context).Execute();
}

}  // namespace lut::cli
