#include "record/WindowRecord.h"

#include "record/RecordFile.h"
#include "record/Sha256.h"
#include "update/DialoguePresenter.h"
#include "update/TrimText.h"

namespace lut::record {

namespace {

constexpr const char* NoAnswerText = "The logger did not answer the update request.";
constexpr const char* InterruptedText =
    "The window was closed during the transfer. The logger may hold a partial image; run the update again.";
constexpr const char* SupersededText = "Update was pressed again before the logger answered.";

}  // namespace

ImageFacts FactsOf(const std::filesystem::path& file, const ImageText& image) {
    const std::string_view hex = image ? std::string_view(*image) : std::string_view();
    return {PathText(file.filename()), hex.size() / 2, Sha256OfHexText(hex)};
}

Entry AttemptEntry(const LoggerRow& logger, const dialogue::RequestSent& request, const ImageFacts& image) {
    Entry entry;
    entry.time = UtcNow();
    entry.toolVersion = ToolVersion();
    entry.sn = logger.sn;
    entry.ip = logger.ip;
    entry.versionBefore = std::string(TrimBlankAndControl(logger.version));
    entry.file = image.file;
    entry.fileSize = image.size;
    entry.sha256 = image.sha256;
    entry.versionSent = request.version;
    entry.blocks = request.blockCount;
    entry.host = HostName();
    entry.user = UserName();
    return entry;
}

std::string UnwrittenText(const std::filesystem::path& file, std::error_code why) {
    return "The update record " + PathText(file) + " could not be written: " + why.message();
}

WindowRecord::WindowRecord(std::function<void(const std::string&)> warn) : warn_(std::move(warn)) {}

void WindowRecord::Loaded(const std::filesystem::path& file, const ImageText& image) {
    if (image == image_) {
        return;
    }
    image_ = image;
    facts_ = FactsOf(file, image);
}

void WindowRecord::OnDialogueEvent(const DialogueEvent& event) {
    if (const auto* request = std::get_if<dialogue::RequestSent>(&event)) {
        if (attempt_ && !written_) {
            Write(SupersededOutcome, SupersededText, false);
        }
        attempt_ = AttemptEntry(request->logger, *request, facts_);
        accepted_ = false;
        written_ = false;
        began_ = std::chrono::steady_clock::now();
        return;
    }
    if (!attempt_) {
        return;
    }
    if (std::holds_alternative<dialogue::Accepted>(event)) {
        accepted_ = true;
        return;
    }
    if (const auto* block = std::get_if<dialogue::BlockSent>(&event)) {
        ++attempt_->blocksSent;
        attempt_->blocksResent += block->resend ? 1 : 0;
        return;
    }
    if (const std::optional<DialogueEnd> end = EndOf(event)) {
        Write(std::string(NameOf(*end)), OutcomeText(event), *end == DialogueEnd::UpdateFail);
    }
}

void WindowRecord::Close() {
    if (attempt_ && !written_) {
        Write(accepted_ ? InterruptedOutcome : NoAnswerOutcome, accepted_ ? InterruptedText : NoAnswerText,
              false);
    }
}

void WindowRecord::Write(std::string outcome, std::string message, bool correctable) {
    Entry line = *attempt_;
    if (written_) {
        line.corrects = attempt_->time;
        line.time = UtcNow();
    }
    line.outcome = std::move(outcome);
    line.message = std::move(message);
    line.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
    if (const std::optional<std::filesystem::path> file = RecordPath()) {
        if (const std::error_code failure = Append(*file, line); failure && !warned_) {
            warned_ = true;
            warn_(UnwrittenText(*file, failure));
        }
    }
    written_ = true;
    if (!correctable) {
        attempt_.reset();
    }
}

}  // namespace lut::record
