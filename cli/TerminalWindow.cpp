#include "cli/TerminalWindow.h"

namespace lut::cli {

TerminalWindow::TerminalWindow(std::string localAddress) : localAddress_(std::move(localAddress)) {}

void TerminalWindow::SetStatusText(const std::string& text) {
    status_ = text;
    if (onStatus_) {
        onStatus_(text);
    }
}

std::optional<int> TerminalWindow::FindRow(const std::string& ip) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].ip == ip) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

void TerminalWindow::ClearList() {
    rows_.clear();
    selected_.reset();
}

LoggerRow TerminalWindow::Row(int index) const {
    return rows_.at(static_cast<std::size_t>(index));
}

void TerminalWindow::SetRowCaption(int index, const std::string& caption) {
    rows_.at(static_cast<std::size_t>(index)).sn = caption;
}

void TerminalWindow::ShowWarning(const std::string& message) {
    notices_.push_back({Notice::Kind::Warning, message});
}

void TerminalWindow::ShowPlainMessage(const std::string& message) {
    notices_.push_back({Notice::Kind::Plain, message});
}

void TerminalWindow::ShowError(const std::string& message) {
    notices_.push_back({Notice::Kind::Error, message});
}

}  // namespace lut::cli
