#include "cli/ProgressView.h"

#include <algorithm>
#include <string>

#include "update/Messages.h"
#include "update/Overloaded.h"
#include "update/dialogue/TimeLeft.h"

namespace lut::cli {
namespace {

constexpr int BarWidth = 30;

std::string Bar(int position, int maximum) {
    const int filled = maximum > 0 ? std::clamp(position, 0, maximum) * BarWidth / maximum : 0;
    std::string bar = "[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(BarWidth - filled), '.');
    bar += ']';
    return bar;
}

// The status line's text at each stage, as the window shows it.
std::string_view StatusOf(ProgressView::Stage stage) {
    switch (stage) {
        case ProgressView::Stage::None:
            return {};
        case ProgressView::Stage::Requested:
            return text::RequestUpdate;
        case ProgressView::Stage::Sending:
        case ProgressView::Stage::Resending:
            return text::Updating;
        case ProgressView::Stage::Querying:
            return text::QueryUpdateResult;
        case ProgressView::Stage::Failed:
            return text::UpdateFail;
    }
    return {};
}

}  // namespace

void ProgressView::Apply(const DialogueEvent& event) {
    std::visit(Overloaded{
                   [this](const dialogue::RequestSent& e) {
                       blockCount_ = e.blockCount;
                       sendFailures_ += e.sendFailed ? 1 : 0;
                       Enter(Stage::Requested);
                   },
                   [this](const dialogue::Accepted&) { Enter(Stage::Sending); },
                   [this](const dialogue::ResendAsked&) { Enter(Stage::Resending); },
                   [this](const dialogue::RunBegins& e) {
                       ++runs_;
                       maximum_ = e.blocks;
                       position_ = e.position;
                   },
                   [this](const dialogue::BlockSent& e) {
                       ++position_;
                       ++blocksSent_;
                       blocksResent_ += e.resend ? 1 : 0;
                       sendFailures_ += e.sendFailed ? 1 : 0;
                   },
                   [this](const dialogue::QuerySent& e) {
                       queries_ = e.number;
                       sendFailures_ += e.sendFailed ? 1 : 0;
                       Enter(Stage::Querying);
                   },
                   [this](const dialogue::QueriesUnanswered&) { Enter(Stage::Failed); },
                   [this](const dialogue::RunFailed&) { Enter(Stage::Failed); },
                   [](const dialogue::Refused&) {},
                   [](const dialogue::Complete&) {},
                   [](const dialogue::RunEnds&) {},
                   [](const dialogue::UnknownError&) {},
                   [](const dialogue::UnreadableAnswer&) {},
                   [](const dialogue::VersionChecked&) {},
               },
               event);
    Draw();
}

void ProgressView::Enter(Stage stage) {
    const bool changed = stage != stage_;
    stage_ = stage;
    if (style_ == Style::Lines && changed && !ended_) {
        out_ << StatusOf(stage) << '\n' << std::flush;
    }
}

void ProgressView::Draw() {
    if (style_ != Style::Bar || ended_) {
        return;
    }
    std::string line;
    const std::string status(StatusOf(stage_));
    if (runs_ > 0 && (stage_ == Stage::Sending || stage_ == Stage::Resending)) {
        // A resend's first block may be reported before its run's size.
        const int position = std::min(position_, maximum_);
        line = Bar(position, maximum_) + " " + std::to_string(position) + "/" + std::to_string(maximum_) +
               " blocks, " + TimeLeft(maximum_ - position) + " left  " + status;
    } else if (runs_ > 0 && stage_ == Stage::Querying) {
        line = Bar(maximum_, maximum_) + " " + std::to_string(maximum_) + "/" + std::to_string(maximum_) +
               " blocks  " + status + " (query " + std::to_string(queries_) + ")";
    } else {
        line = status;
    }
    out_ << '\r' << line << "\x1b[K" << std::flush;
    lineOpen_ = true;
}

void ProgressView::Close() {
    if (lineOpen_) {
        out_ << '\n' << std::flush;
        lineOpen_ = false;
    }
}

void ProgressView::End() {
    Close();
    ended_ = true;
}

}  // namespace lut::cli
