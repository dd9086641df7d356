#include "cli/ProgressView.h"

#include <algorithm>

#include "update/Messages.h"
#include "update/TimeLeft.h"

namespace lut::cli {
namespace {

constexpr int BarWidth = 30;

std::string Bar(int position, int maximum) {
    const int filled = maximum > 0 ? std::clamp(position, 0, maximum) * BarWidth / maximum : 0;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(BarWidth - filled), '.') + "]";
}

}  // namespace

void ProgressView::Status(const std::string& text) {
    if (text == text::QueryUpdateResult) {
        ++queries_;
    } else if (text == text::Updating) {
        queries_ = 0;
    }
    const bool changed = text != status_;
    status_ = text;
    if (style_ == Style::Lines && changed) {
        out_ << text << '\n' << std::flush;
    }
    Draw();
}

void ProgressView::Apply(const DisplayEvent& event) {
    switch (event.kind) {
        case DisplayEvent::Kind::ProgressMax:
            ++runs_;
            maximum_ = event.value;
            if (runs_ == 1) {
                blockCount_ = event.value;
            } else {
                blocksResent_ += event.value;
            }
            break;
        case DisplayEvent::Kind::ProgressPosition:
            position_ = event.value;
            break;
        case DisplayEvent::Kind::Advance:
            ++position_;
            ++blocksSent_;
            break;
        case DisplayEvent::Kind::Status:
            Status(event.text);
            return;
    }
    Draw();
}

void ProgressView::Draw() {
    if (style_ != Style::Bar) {
        return;
    }
    std::string line;
    if (runs_ > 0 && status_ == text::Updating) {
        // A new run's maximum may arrive before its start position.
        const int position = std::min(position_, maximum_);
        line = Bar(position, maximum_) + " " + std::to_string(position) + "/" + std::to_string(maximum_) +
               " blocks, " + TimeLeft(maximum_ - position) + " left  " + status_;
    } else if (runs_ > 0 && status_ == text::QueryUpdateResult) {
        line = Bar(maximum_, maximum_) + " " + std::to_string(maximum_) + "/" + std::to_string(maximum_) +
               " blocks  " + status_ + " (query " + std::to_string(queries_) + ")";
    } else {
        line = status_;
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

}  // namespace lut::cli
