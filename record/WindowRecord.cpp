#include "record/WindowRecord.h"

#include <iostream>

#include "record/RecordFile.h"
#include "record/Sha256.h"
#include "update/DialoguePresenter.h"
#include "update/TrimText.h"

namespace lut::record {

Entry AttemptEntry(const LoggerRow& logger, const dialogue::RequestSent& request,
                   const std::filesystem::path& updateFile) {
    Entry entry;
    entry.time = UtcNow();
    entry.toolVersion = ToolVersion();
    entry.sn = logger.sn;
    entry.ip = logger.ip;
    entry.versionBefore = std::string(TrimBlankAndControl(logger.version));
    entry.file = updateFile.filename().string();
    std::error_code unknown;
    const std::uintmax_t size = std::filesystem::file_size(updateFile, unknown);
    entry.fileSize = unknown ? 0 : size;
    entry.sha256 = FileSha256Hex(updateFile).value_or("");
    entry.versionSent = request.version;
    entry.blocks = request.blockCount;
    entry.host = HostName();
    entry.user = UserName();
    return entry;
}

WindowRecord::WindowRecord(std::function<std::filesystem::path()> updateFile)
    : updateFile_(std::move(updateFile)) {}

void WindowRecord::OnDialogueEvent(const DialogueEvent& event) {
    if (const auto* request = std::get_if<dialogue::RequestSent>(&event)) {
        attempt_ = AttemptEntry(request->logger, *request, updateFile_());
        began_ = std::chrono::steady_clock::now();
        return;
    }
    if (!attempt_) {
        return;
    }
    if (const auto* block = std::get_if<dialogue::BlockSent>(&event)) {
        ++attempt_->blocksSent;
        attempt_->blocksResent += block->resend ? 1 : 0;
        return;
    }
    const std::optional<DialogueEnd> end = EndOf(event);
    if (!end) {
        return;
    }
    attempt_->outcome = std::string(NameOf(*end));
    attempt_->message = OutcomeText(event);
    attempt_->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
    if (const std::optional<std::filesystem::path> file = RecordPath()) {
        if (const std::error_code failure = Append(*file, *attempt_)) {
            std::cerr << "warning: the update record " << file->string()
                      << " could not be written: " << failure.message() << '\n';
        }
    }
    attempt_.reset();
}

}  // namespace lut::record
