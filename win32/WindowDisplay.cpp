#include "win32/WindowDisplay.h"

#include <memory>

#include "form/ProgressText.h"
#include "win32/WideText.h"

namespace lut::win32 {

WindowDisplay::WindowDisplay(HWND window, HWND bar, HWND status)
    : window_(window), bar_(bar), status_(status) {}

void WindowDisplay::Post(UINT message, LPARAM lParam) {
    PostMessageW(window_, message, 0, lParam);
}

void WindowDisplay::SetProgressMax(int maximum) {
    Post(ProgressMaxMessage, maximum);
}

void WindowDisplay::SetProgressPosition(int position) {
    Post(ProgressPositionMessage, position);
}

void WindowDisplay::AdvanceProgress() {
    Post(AdvanceProgressMessage, 0);
}

void WindowDisplay::SetStatus(const std::string& text) {
    auto shown = std::make_unique<std::wstring>(Widen(text));
    if (PostMessageW(window_, StatusMessage, 0, reinterpret_cast<LPARAM>(shown.get()))) {
        shown.release();  // the window owns it now
    }
}

bool WindowDisplay::Apply(UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case ProgressMaxMessage:
            SendMessageW(bar_, PBM_SETRANGE32, 0, lParam);
            showText_ = true;
            break;
        case ProgressPositionMessage:
            SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(lParam), 0);
            break;
        case AdvanceProgressMessage:
            SendMessageW(bar_, PBM_SETPOS, SendMessageW(bar_, PBM_GETPOS, 0, 0) + 1, 0);
            break;
        case StatusMessage: {
            const std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
            SetWindowTextW(status_, text->c_str());
            return true;
        }
        default:
            return false;
    }
    ShowProgressText();
    return true;
}

void WindowDisplay::Discard() {
    MSG message;
    while (PeekMessageW(&message, window_, ProgressMaxMessage, StatusMessage, PM_REMOVE)) {
        if (message.message == StatusMessage) {
            delete reinterpret_cast<std::wstring*>(message.lParam);
        }
    }
}

void WindowDisplay::ShowProgressText() {
    if (!showText_) {
        return;
    }
    const auto low = static_cast<int>(SendMessageW(bar_, PBM_GETRANGE, TRUE, 0));
    const auto high = static_cast<int>(SendMessageW(bar_, PBM_GETRANGE, FALSE, 0));
    const auto position = static_cast<int>(SendMessageW(bar_, PBM_GETPOS, 0, 0));
    progressText_ = Widen(form::ProgressText(position - low, high - low));
    InvalidateRect(bar_, nullptr, TRUE);
}

}  // namespace lut::win32
