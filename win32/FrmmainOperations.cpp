#include "win32/FrmmainOperations.h"

#include <optional>
#include <stdexcept>
#include <utility>

#include "form/ProgressText.h"
#include "update/Messages.h"
#include "win32/WideText.h"

namespace lut::win32 {

BoxPresenter ModalBoxes(HWND owner) {
    return [owner](const Box& box) {
        switch (box.kind) {
            case BoxKind::Warning:
                MessageBoxW(owner, box.text.c_str(), box.caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
                break;
            case BoxKind::Plain:
                // No owner: centred on the screen; task-modal: the window waits for it all the same.
                MessageBoxW(nullptr, box.text.c_str(), box.caption.c_str(), MB_OK | MB_TASKMODAL);
                break;
            case BoxKind::Error:
                MessageBoxW(owner, box.text.c_str(), box.caption.c_str(), MB_OK | MB_ICONSTOP);
                break;
        }
    };
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

FrmmainOperations::FrmmainOperations(const FrmmainControls& controls, BoxPresenter boxes,
                                     std::wstring applicationTitle)
    : controls_(controls), boxes_(std::move(boxes)), applicationTitle_(std::move(applicationTitle)) {}

std::string FrmmainOperations::Text(const form::Control& control) const {
    return Narrow(WindowText(controls_(control)));
}

void FrmmainOperations::SetText(const form::Control& control, const std::string& text) {
    SetWindowTextW(controls_(control), Widen(text).c_str());
}

std::string FrmmainOperations::StatusText() const {
    return Text(form::lbl6);
}

void FrmmainOperations::SetStatusText(const std::string& text) {
    SetText(form::lbl6, text);
}

std::string FrmmainOperations::LocalAddressText() const {
    return Text(form::lbl3);
}

void FrmmainOperations::ClearList() {
    ListView_DeleteAllItems(controls_(form::lv1));
    rowCount_ = 0;
    rowTips_.clear();
}

void FrmmainOperations::AppendRow(const LoggerRow& row) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = rowCount_;
    std::wstring caption = WidenAnsi(row.sn);
    item.pszText = caption.data();
    const int index = ListView_InsertItem(controls_(form::lv1), &item);
    if (index < 0) {
        throw std::runtime_error("The logger list cannot take another row.");
    }
    ++rowCount_;
    SetCell(index, form::IpColumn, row.ip);
    SetCell(index, form::VersionColumn, row.version);
}

void FrmmainOperations::CheckRow(int index) const {
    if (index < 0 || index >= rowCount_) {
        throw std::out_of_range("The logger list has no row " + std::to_string(index) + ".");
    }
}

void FrmmainOperations::SetRowCaption(int index, const std::string& caption) {
    CheckRow(index);
    SetCell(index, form::SnColumn, caption);
}

void FrmmainOperations::SetRowVersion(int index, const std::string& version) {
    CheckRow(index);
    SetCell(index, form::VersionColumn, version);
}

void FrmmainOperations::SetRowTip(int index, const std::string& tip) {
    CheckRow(index);
    rowTips_.resize(static_cast<std::size_t>(rowCount_));
    rowTips_[static_cast<std::size_t>(index)] = tip;
}

std::wstring FrmmainOperations::RowTip(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= rowTips_.size()) {
        return {};
    }
    return WidenAnsi(rowTips_[static_cast<std::size_t>(index)]);
}

void FrmmainOperations::SetCell(int index, int column, const std::string& bytes) {
    std::wstring shown = WidenAnsi(bytes);
    ListView_SetItemText(controls_(form::lv1), index, column, shown.data());
}

std::optional<int> FrmmainOperations::SelectedRow() const {
    const int selected = ListView_GetNextItem(controls_(form::lv1), -1, LVNI_SELECTED);
    if (selected < 0) {
        return std::nullopt;
    }
    return selected;
}

void FrmmainOperations::SetProgressMax(int maximum) {
    SendMessageW(controls_(form::ProgressBar1), PBM_SETRANGE32, 0, maximum);
    ShowProgressText();
}

void FrmmainOperations::SetProgressPosition(int position) {
    SendMessageW(controls_(form::ProgressBar1), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    if (!progressText_.empty()) {
        ShowProgressText();
    }
}

void FrmmainOperations::AdvanceProgress() {
    SetProgressPosition(static_cast<int>(SendMessageW(controls_(form::ProgressBar1), PBM_GETPOS, 0, 0)) + 1);
}

void FrmmainOperations::EndProgress() {
    SendMessageW(controls_(form::ProgressBar1), PBM_SETPOS, 0, 0);
    progressText_.clear();
    InvalidateRect(controls_(form::ProgressBar1), nullptr, TRUE);
}

void FrmmainOperations::ShowProgressText() {
    const HWND bar = controls_(form::ProgressBar1);
    const auto low = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, TRUE, 0));
    const auto high = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    const auto position = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    progressText_ = Widen(form::ProgressText(position - low, high - low));
    InvalidateRect(bar, nullptr, TRUE);
}

std::string FrmmainOperations::FilePathText() const {
    return Text(form::redt2);
}

void FrmmainOperations::SetFilePathText(const std::string& path) {
    SetText(form::redt2, path);
}

// Whether Browse put the file name's version there or it was typed, the request carries the code page's
// bytes for it, as the ANSI file dialog gives a name; a character the code page has no byte for is refused.
std::string FrmmainOperations::VersionText() const {
    const std::wstring shown = WindowText(controls_(form::edt1));
    std::optional<std::string> bytes = NarrowAnsiExactly(shown);
    if (!bytes) {
        throw std::runtime_error(std::string(text::VersionCannotTravel) + "\"" + Narrow(shown) + "\"");
    }
    return std::move(*bytes);
}

void FrmmainOperations::SetVersionText(const std::string& version) {
    SetText(form::edt1, version);
}

void FrmmainOperations::ShowWarning(const std::string& message) {
    boxes_({BoxKind::Warning, Widen(text::HintCaption), Widen(message)});
}

void FrmmainOperations::ShowPlainMessage(const std::string& message) {
    boxes_({BoxKind::Plain, applicationTitle_, Widen(message)});
}

void FrmmainOperations::ShowError(const std::string& message) {
    boxes_({BoxKind::Error, applicationTitle_, Widen(message)});
}

}  // namespace lut::win32
