#include "cli/AttemptRecord.h"

#include "record/RecordFile.h"

namespace lut::cli {

AttemptRecord::AttemptRecord(bool enabled, std::ostream& err)
    : path_(enabled ? record::RecordPath() : std::nullopt), err_(err) {}

void AttemptRecord::Loaded(const std::filesystem::path& file, const ImageText& image) {
    if (path_) {
        image_ = record::FactsOf(file, image);
    }
}

std::optional<record::Entry> AttemptRecord::Write(const LoggerRow& logger,
                                                  const dialogue::RequestSent& request,
                                                  const ProgressView& tally, const VersionCheck* check,
                                                  ExitCode code, const std::string& message, double seconds,
                                                  const record::Entry* corrects) {
    if (!path_) {
        return std::nullopt;
    }
    record::Entry entry =
        corrects != nullptr ? record::CorrectionOf(*corrects) : record::AttemptEntry(logger, request, image_);
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
        err_ << "logger-update: warning: " << record::UnwrittenText(*path_, failure) << '\n';
        return std::nullopt;
    }
    return entry;
}

}  // namespace lut::cli
