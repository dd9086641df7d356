#include "cli/AttemptRecord.h"

#include "record/RecordFile.h"
#include "record/WindowRecord.h"
#include "update/UpdateImage.h"

namespace lut::cli {

AttemptRecord::AttemptRecord(bool enabled, std::filesystem::path updateFile, std::ostream& err)
    : path_(enabled ? record::RecordPath() : std::nullopt), updateFile_(std::move(updateFile)), err_(err) {}

void AttemptRecord::Write(const LoggerRow& logger, const dialogue::RequestSent& request,
                          const ProgressView& tally, const VersionCheck* check, ExitCode code,
                          const std::string& message, double seconds) {
    if (!path_) {
        return;
    }
    record::ImageFacts facts;
    try {
        facts = record::FactsOf(updateFile_, ShareImage(ReadImageFile(updateFile_)));
    } catch (const std::runtime_error&) {
    }
    record::Entry entry = record::AttemptEntry(logger, request, facts);
    entry.blocksSent = tally.BlocksSent();
    entry.blocksResent = tally.BlocksResent();
    entry.outcome = std::string(NameOf(code));
    entry.message = message;
    entry.seconds = seconds;
    if (check != nullptr && check->Outcome() != VersionCheck::Result::Pending) {
        entry.verified = check->Outcome() == VersionCheck::Result::Verified;
        if (!check->Reported().empty()) {
            entry.versionAfter = check->Reported();
        }
    }
    if (const std::error_code failure = record::Append(*path_, entry)) {
        err_ << "logger-update: warning: the update record " << path_->string()
             << " could not be written: " << failure.message() << '\n';
    }
}

}  // namespace lut::cli
