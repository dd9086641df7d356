#include "win32/FrmmainControls.h"

#include <richedit.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>

#include "win32/Dpi.h"
#include "win32/WideText.h"

namespace lut::win32 {

namespace {

std::size_t IndexOf(const form::Control& control) {
    const auto found = std::find(form::Controls.begin(), form::Controls.end(), &control);
    if (found == form::Controls.end()) {
        throw std::out_of_range("The form has no control " + std::string(control.name) + ".");
    }
    return static_cast<std::size_t>(std::distance(form::Controls.begin(), found));
}

// Msftedit's rich edit where the system has it, else Riched20's.
const wchar_t* RichEditClass() {
    static const wchar_t* const name = [] {
        if (LoadLibraryW(L"Msftedit.dll") != nullptr) {
            return MSFTEDIT_CLASS;
        }
        LoadLibraryW(L"Riched20.dll");
        return RICHEDIT_CLASSW;
    }();
    return name;
}

struct Kind {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle;
};

Kind KindOf(const form::Control& c) {
    const DWORD readOnly = c.readOnly ? ES_READONLY : 0;
    const DWORD alignment = c.centred                          ? SS_CENTER
                            : c.sizing == form::Sizing::ToText ? SS_LEFTNOWORDWRAP
                                                               : SS_LEFT;
    switch (c.kind) {
        case form::Kind::Panel:
            return {WC_STATICW, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
        case form::Kind::ListView:
            return {WC_LISTVIEWW, WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                    WS_EX_CLIENTEDGE};
        case form::Kind::GroupBox:
            return {WC_BUTTONW, BS_GROUPBOX, WS_EX_CONTROLPARENT};
        case form::Kind::Label:
            return {WC_STATICW, SS_NOTIFY | SS_NOPREFIX | alignment, 0};
        case form::Kind::Edit:
            return {WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL | readOnly, WS_EX_CLIENTEDGE};
        case form::Kind::RichEdit:
            return {RichEditClass(),
                    WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_DISABLENOSCROLL | readOnly,
                    WS_EX_CLIENTEDGE};
        case form::Kind::Button:
            return {WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON, 0};
        case form::Kind::StatusBar:
            // Placed by the window, not by the control itself, so that it keeps the form's height.
            return {STATUSCLASSNAMEW, SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN, 0};
        case form::Kind::ProgressBar:
            return {PROGRESS_CLASSW, 0, 0};
    }
    throw std::logic_error("unknown kind of control");
}

void SetUpList(HWND list, UINT dpi) {
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    for (std::size_t i = 0; i < form::LoggerColumns.size(); ++i) {
        std::wstring title = Widen(form::LoggerColumns[i].title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = title.data();
        column.cx = Scale(form::LoggerColumns[i].width, dpi);
        column.iSubItem = static_cast<int>(i);
        ListView_InsertColumn(list, static_cast<int>(i), &column);
    }
}

void SetUpStatusBar(HWND bar) {
    int rightEdge = -1;  // the one panel reaches the bar's right end
    SendMessageW(bar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&rightEdge));
    SendMessageW(bar, SB_SETTEXTW, SBT_OWNERDRAW, 0);
}

}  // namespace

int ControlId(const form::Control& control) {
    return 1000 + static_cast<int>(IndexOf(control));
}

FrmmainControls::FrmmainControls(HWND form, UINT dpi, FormFonts& fonts) : form_(form) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(form, GWLP_HINSTANCE));
    for (std::size_t i = 0; i < form::Controls.size(); ++i) {
        const form::Control& c = *form::Controls[i];
        const Kind kind = KindOf(c);
        const HWND parent = c.parent == form::FormName ? form : (*this)(form::FindControl(c.parent));
        const std::wstring text = Widen(c.text);
        handles_[i] = CreateWindowExW(
            kind.exStyle, kind.windowClass, text.c_str(),
            WS_CHILD | WS_VISIBLE | (c.enabled ? 0 : WS_DISABLED) | kind.style, 0, 0, 0, 0, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(c))), instance, nullptr);
        if (handles_[i] == nullptr) {
            throw std::runtime_error("The window cannot create its control " + std::string(c.name) + ".");
        }
    }
    SetUpList((*this)(form::lv1), dpi);
    SetUpStatusBar((*this)(form::stat1));
    SendMessageW((*this)(form::ProgressBar1), PBM_SETRANGE32, 0, 100);
    Place(dpi, fonts);
}

HWND FrmmainControls::operator()(const form::Control& control) const {
    return handles_[IndexOf(control)];
}

void FrmmainControls::Place(UINT dpi, FormFonts& fonts) const {
    for (std::size_t i = 0; i < form::Controls.size(); ++i) {
        const form::Control& c = *form::Controls[i];
        const HWND control = handles_[i];
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.For(c.font)), TRUE);
        if (GetParent(control) != form_ && c.parent == form::FormName) {
            continue;  // the progress bar, moved into the status bar
        }
        const RECT place = ScaledRect(c.place, dpi);
        MoveWindow(control, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
        if (c.sizing == form::Sizing::ToText) {
            FitToText(control);
        }
    }
    const HWND list = (*this)(form::lv1);
    for (std::size_t i = 0; i < form::LoggerColumns.size(); ++i) {
        ListView_SetColumnWidth(list, static_cast<int>(i), Scale(form::LoggerColumns[i].width, dpi));
    }
}

void FrmmainControls::Arrange(SIZE client, UINT dpi) const {
    const int statusHeight = Scale(form::StatusBarHeight, dpi);
    const int statusTop = std::max(0, static_cast<int>(client.cy) - statusHeight);
    const int listWidth = Scale(form::pnl1.place.width, dpi);
    MoveWindow((*this)(form::pnl1), 0, 0, listWidth, statusTop, TRUE);
    MoveWindow((*this)(form::lv1), 0, 0, listWidth, statusTop, TRUE);
    MoveWindow((*this)(form::stat1), 0, statusTop, client.cx, statusHeight, TRUE);
}

void FrmmainControls::SetLabelText(const form::Control& label, std::wstring_view text) const {
    const HWND control = (*this)(label);
    SetWindowTextW(control, std::wstring(text).c_str());
    if (label.sizing == form::Sizing::ToText) {
        FitToText(control);
    }
}

void FrmmainControls::FitToText(HWND label) const {
    const int length = GetWindowTextLengthW(label);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(label, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    HDC dc = GetDC(label);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    RECT extent{};
    DrawTextW(dc, text.c_str(), length, &extent, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, extent.right, extent.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace lut::win32
