#include "record/WindowRecord.h"

#include <iostream>

#include "record/RecordFile.h"
#include "update/dialogue/DialoguePresenter.h"

namespace lut::record {

namespace {

constexpr const char* NoAnswerText = "The logger did not answer the update request.";
constexpr const char* InterruptedText =
    "The window was closed during the transfer. The logger may hold a partial image; run the update again.";
constexpr const char* SupersededText = "Update was pressed again before the logger answered.";

}  // namespace

WindowRecord::WindowRecord(std::function<void(const std::string&)> unwritten)
    : unwritten_(std::move(unwritten)) {}

void WindowRecord::Loaded(const std::filesystem::path& file, const ImageText& image) {
    if (image == image_) {
        return;
    }
    image_ = image;
    facts_ = FactsOf(file, image);
}

void WindowRecord::OnDialogueEvent(const DialogueEvent& event) {
    if (const auto* verdict = std::get_if<dialogue::VersionChecked>(&event)) {
        if (complete_) {
            Entry line = CorrectionOf(*complete_);
            line.message = verdict->message;
            line.seconds = SecondsSinceRequest();
            line.verified = verdict->verified;
            if (!verdict->reported.empty()) {
                line.versionAfter = verdict->reported;
            }
            Append(line);
            complete_.reset();
        }
        return;
    }
    if (const auto* request = std::get_if<dialogue::RequestSent>(&event)) {
        if (request->again && attempt_ && !written_) {
            return;  // the same attempt, asked once more
        }
        if (attempt_ && !written_) {
            Write(SupersededOutcome, SupersededText, false);
        }
        complete_.reset();
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
        Entry line = Write(std::string(NameOf(*end)), OutcomeText(event), *end == DialogueEnd::UpdateFail);
        if (*end == DialogueEnd::Complete) {
            complete_ = std::move(line);
        }
    }
}

void WindowRecord::Close() {
    if (attempt_ && !written_) {
        Write(accepted_ ? InterruptedOutcome : NoAnswerOutcome, accepted_ ? InterruptedText : NoAnswerText,
              false);
    }
}

Entry WindowRecord::Write(std::string outcome, std::string message, bool correctable) {
    Entry line = written_ ? CorrectionOf(*attempt_) : *attempt_;
    line.outcome = std::move(outcome);
    line.message = std::move(message);
    line.seconds = SecondsSinceRequest();
    Append(line);
    written_ = true;
    if (!correctable) {
        attempt_.reset();
    }
    return line;
}

double WindowRecord::SecondsSinceRequest() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
}

void WindowRecord::Append(const Entry& line) {
    if (const std::optional<std::filesystem::path> file = RecordPath()) {
        if (const std::error_code failure = record::Append(*file, line); failure && !told_) {
            told_ = true;
            const std::string text = UnwrittenText(*file, failure);
            std::cerr << "logger-update-tool: warning: " << text << '\n';
            unwritten_(text);
        }
    }
}

}  // namespace lut::record
