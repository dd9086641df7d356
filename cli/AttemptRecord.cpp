#include "cli/AttemptRecord.h"

#include "record/RecordFile.h"
#include "record/Sha256.h"
#include "update/TrimText.h"

namespace lut::cli {

AttemptRecord::AttemptRecord(bool enabled, std::filesystem::path updateFile, std::ostream& err)
    : path_(enabled ? record::RecordPath() : std::nullopt), updateFile_(std::move(updateFile)), err_(err) {}

void AttemptRecord::Write(const LoggerRow& logger, const dialogue::RequestSent& request,
                          const ProgressView& tally, const VersionCheck* check, ExitCode code,
                          const std::string& message, double seconds) {
    if (!path_) {
        return;
    }
    if (!fileRead_) {
        fileRead_ = true;
        std::error_code ignored;
        fileSize_ = std::filesystem::file_size(updateFile_, ignored);
        sha256_ = record::FileSha256Hex(updateFile_).value_or("");
    }
    record::Entry entry;
    entry.time = record::UtcNow();
    entry.toolVersion = record::ToolVersion();
    entry.sn = logger.sn;
    entry.ip = logger.ip;
    entry.versionBefore = std::string(TrimBlankAndControl(logger.version));
    entry.file = updateFile_.filename().string();
    entry.fileSize = fileSize_ == static_cast<std::uintmax_t>(-1) ? 0 : fileSize_;
    entry.sha256 = sha256_;
    entry.versionSent = request.version;
    entry.blocks = request.blockCount;
    entry.blocksSent = tally.BlocksSent();
    entry.blocksResent = tally.BlocksResent();
    entry.outcome = std::string(NameOf(code));
    entry.message = message;
    entry.seconds = seconds;
    entry.host = record::HostName();
    entry.user = record::UserName();
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
