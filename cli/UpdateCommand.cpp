// update of one logger: the file through Browse, then a batch of one attempt (cli/Attempt.h) that probes
// the address, presses Update and follows the dialogue to the logger's verdict and the version check,
// with a progress bar or a line per stage, and the logger's message or one JSON object at the end.
#include <sstream>

#include "cli/BatchScheduler.h"
#include "cli/Commands.h"
#include "update/Messages.h"

namespace lut::cli {
namespace {

using Clock = EventLoop::Clock;

class UpdateRun final : public BatchOutput {
  public:
    UpdateRun(const UpdateOptions& options, const RunContext& context)
        : options_(options),
          context_(context),
          session_(options.common.tool, LocalAddressOrNone(options.common), context.pacer,
                   context.interruptHandle),
          record_(options.record, context.err),
          shared_(session_.Core(), context.pacer, record_, options),
          attempt_(*attempts_.emplace_back(std::make_unique<Attempt>(
              options.loggers.front(), shared_, context.out, context.Progress(options.common.json)))) {}

    int Execute();

  private:
    void Found(const Attempt& attempt) override;
    void Unreadable(const Attempt& attempt, const std::string& text) override;
    int Report();
    void Say(const std::string& line);

    const UpdateOptions& options_;
    const RunContext& context_;
    Session session_;
    AttemptRecord record_;
    AttemptShared shared_;
    Attempts attempts_;  // the one
    Attempt& attempt_;
};

int UpdateRun::Execute() {
    // The file first, so that a wrong one ends the run before anything is sent.
    if (auto failure = PrepareAttempts(session_, shared_)) {
        attempt_.Finish(std::move(*failure), Clock::now());
        return Report();
    }
    BatchScheduler scheduler(session_, shared_, {1, 1}, *this);
    scheduler.Run(attempts_);
    const int code = Report();
    if (const std::string& failure = scheduler.NetworkFailure(); !failure.empty()) {
        context_.err << NetworkFailureText(failure) << '\n';
        return ToInt(ExitCode::EndpointFailed);
    }
    return code;
}

void UpdateRun::Found(const Attempt& attempt) {
    const LoggerRow& logger = *attempt.Logger();
    Say("Logger " + Printable(logger.sn) + " at " + logger.ip + ", version " + Printable(logger.version));
    Say("Update file " + options_.file + ", version " + Printable(shared_.versionText) + ", " +
        std::to_string(BlockCountOf(*session_.Core().LoadedImage())) + " blocks");
}

void UpdateRun::Unreadable(const Attempt&, const std::string& text) {
    if (!options_.common.json) {
        context_.err << text << '\n';
    }
}

int UpdateRun::Report() {
    const Outcome& outcome = *attempt_.Result();
    session_.ReportReceiveErrors(context_.err);
    if (options_.common.json) {
        Json report = attempt_.Report({{"file", options_.file}, {"version", shared_.versionText}});
        report["receiveErrors"] = session_.Core().ReceiveErrors();
        context_.out << ToJsonText(report) << '\n';
        return ToInt(outcome.code);
    }
    const ProgressView& tally = attempt_.Tally();
    if (tally.Transferring()) {
        std::ostringstream summary;
        summary.precision(1);
        summary << std::fixed << tally.BlocksSent() << " blocks sent (" << tally.BlocksResent()
                << " resent) of " << BlockCountOf(*session_.Core().LoadedImage()) << ", in "
                << attempt_.Seconds() << " s";
        Say(summary.str());
    }
    if (attempt_.Check() != nullptr) {
        context_.out << text::UpdateComplete << '\n';
    }
    (outcome.code == ExitCode::Complete ? context_.out : context_.err) << outcome.message << '\n';
    return ToInt(outcome.code);
}

void UpdateRun::Say(const std::string& line) {
    if (!options_.common.json) {
        context_.out << line << '\n';
    }
}

}  // namespace

int RunUpdate(const UpdateOptions& options, const RunContext& context) {
    if (!options.Single()) {
        return RunBatch(options, context);
    }
    return UpdateRun(options, context).Execute();
}

}  // namespace lut::cli
