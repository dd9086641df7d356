#include "win32/Frmmain.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <vector>

#include "form/ApplicationTitle.h"
#include "link/LocalAddress.h"
#include "link/uPubpro.h"
#include "update/Messages.h"
#include "win32/Dpi.h"
#include "win32/OpenFileDialog.h"
#include "win32/WideText.h"

namespace lut::win32 {

namespace {

constexpr wchar_t ClassName[] = L"TFrmmain";
constexpr DWORD WindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// The icon resource of the program (logger-update-tool.rc).
constexpr int ToolIconResource = 1;
// The timer of the core's due moments.
constexpr UINT_PTR TickTimer = 1;

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

void RegisterWindowClass(WNDPROC procedure) {
    static const bool registered = [procedure] {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                            ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = Instance();
        windowClass.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(ToolIconResource));
        windowClass.hIconSm = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(ToolIconResource),
                                                            IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                            GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = ClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    if (!registered) {
        throw std::runtime_error("The main window's class cannot be registered.");
    }
}

std::string ProgramPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return Narrow(path);
}

// The group box and the panel pass their children's commands and colour questions on to the window,
// where the handlers are, and paint their own background (the window clips its children).
LRESULT CALLBACK ForwardCommands(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR form) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            return SendMessageW(reinterpret_cast<HWND>(form), message, wParam, lParam);
        case WM_ERASEBKGND: {
            RECT area;
            GetClientRect(control, &area);
            FillRect(reinterpret_cast<HDC>(wParam), &area, GetSysColorBrush(COLOR_BTNFACE));
            return TRUE;
        }
        default:
            break;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, ForwardCommands, id);
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

// The progress bar shows the blocks sent and the time left over its bar.
LRESULT CALLBACK DrawProgressText(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR operations) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(bar, DrawProgressText, id);
    }
    const LRESULT result = DefSubclassProc(bar, message, wParam, lParam);
    const std::wstring& text = reinterpret_cast<const FrmmainOperations*>(operations)->ProgressText();
    if (message == WM_PAINT && !text.empty()) {
        HDC dc = GetDC(bar);
        RECT area;
        GetClientRect(bar, &area);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, previous);
        ReleaseDC(bar, dc);
    }
    return result;
}

RECT ChildPlace(HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

}  // namespace

TFrmmain::TFrmmain(FrmmainSettings settings) : settings_(std::move(settings)) {
    RegisterWindowClass(&TFrmmain::WindowProcedure);
    CreateWindowExW(0, ClassName, Widen(text::Caption).c_str(), WindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, Instance(), this);
    if (handle_ == nullptr) {
        throw std::runtime_error("The main window cannot be created.");
    }
    dpi_ = WindowDpi(handle_);
    fonts_ = std::make_unique<FormFonts>(ChooseFormFace(), dpi_);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->For(form::WindowFont)), FALSE);
    ui_ = std::make_unique<FrmmainControls>(handle_, dpi_, *fonts_);
    SetWindowSubclass((*ui_)(form::grp1), ForwardCommands, 0, reinterpret_cast<DWORD_PTR>(handle_));
    SetWindowSubclass((*ui_)(form::pnl1), ForwardCommands, 0, reinterpret_cast<DWORD_PTR>(handle_));

    operations_ = std::make_unique<FrmmainOperations>(
        *ui_, settings_.boxes ? std::move(settings_.boxes) : ModalBoxes(handle_),
        Widen(form::ApplicationTitle(ProgramPath())));
    display_ = std::make_unique<WindowDisplay>(handle_);
    SetWindowSubclass((*ui_)(form::ProgressBar1), DrawProgressText, 0,
                      reinterpret_cast<DWORD_PTR>(operations_.get()));
    dlgOpen1_ =
        settings_.dlgOpen1 ? std::move(settings_.dlgOpen1) : std::make_unique<OpenFileDialog>(handle_);
    glue_ = std::make_unique<ToolGlue>(*operations_, *display_, settings_.tool, [this] { ExplainStatus(); });
    glue_->SetTickListener([this] { ScheduleTick(); });
    SetTip(lbl3Tip_, form::lbl3, Widen(form::lbl3Hint));

    // Centred on the screen's work area, with the form's client size at the window's dpi.
    const SIZE outer = OuterSize({Scale(form::ClientSize.width, dpi_), Scale(form::ClientSize.height, dpi_)},
                                 WindowStyle, 0, dpi_);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(handle_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    SetWindowPos(handle_, nullptr, work.left + (work.right - work.left - outer.cx) / 2,
                 work.top + (work.bottom - work.top - outer.cy) / 2, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(handle_, &client);
    ui_->Arrange({client.right, client.bottom}, dpi_);
}

TFrmmain::~TFrmmain() {
    FormClose();
    if (handle_ != nullptr) {
        DestroyWindow(handle_);
    }
}

void TFrmmain::Show(int command) {
    ShowWindow(handle_, command);
    UpdateWindow(handle_);
}

void TFrmmain::FormShow() {
    glue_->Guarded([this] {
        const std::string address = settings_.localAddress ? *settings_.localAddress : LocalAddressText();
        ui_->SetLabelText(form::lbl3, Widen(address));
    });
}

void TFrmmain::FormActivate() {
    if (started_) {
        return;
    }
    started_ = true;
    glue_->Guarded([this] {
        glue_->StartUp(handle_);
        ExplainStatus();
    });
}

// The status line keeps its texts; the reasons (port taken, no such local address, probes the system
// refused, a record that could not be written) wait in its tooltip for the technician who needs them. The
// tooltip is made when there is first a reason, and its text follows the reasons from then on.
void TFrmmain::ExplainStatus() {
    std::wstring reasons = Widen(glue_->StatusReasons() + operations_->StatusTip());
    if (reasons.empty() && lbl6Tip_ == nullptr) {
        return;
    }
    SetTip(lbl6Tip_, form::lbl6, std::move(reasons));
}

void TFrmmain::SetTip(HWND& tip, const form::Control& control, std::wstring text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = handle_;
    tool.uId = reinterpret_cast<UINT_PTR>((*ui_)(control));
    tool.lpszText = text.data();
    if (tip != nullptr) {
        SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        return;
    }
    tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr, Instance(), nullptr);
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, Scale(400, dpi_));
}

void TFrmmain::ScheduleTick() {
    if (const std::optional<std::chrono::milliseconds> due = glue_->UntilTick()) {
        SetTimer(handle_, TickTimer,
                 static_cast<UINT>(std::max<std::int64_t>(due->count(), USER_TIMER_MINIMUM)), nullptr);
    } else {
        KillTimer(handle_, TickTimer);
    }
}

void TFrmmain::FormClose() {
    if (closed_) {
        return;
    }
    closed_ = true;
    KillTimer(handle_, TickTimer);
    glue_->Shutdown();
}

void TFrmmain::stat1DrawPanel(const RECT& panel) {
    const HWND bar = (*ui_)(form::ProgressBar1);
    const HWND status = (*ui_)(form::stat1);
    if (GetParent(bar) != status) {
        SetParent(bar, status);
    }
    const RECT place{panel.left, panel.top, panel.right - Scale(form::ProgressBarGap, dpi_), panel.bottom};
    const RECT current = ChildPlace(bar);
    if (!EqualRect(&place, &current)) {
        MoveWindow(bar, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
    }
}

void TFrmmain::btnsearchClick() {
    glue_->Search();
    ExplainStatus();
    ScheduleTick();
}

void TFrmmain::btn1Click() {
    glue_->Browse(*dlgOpen1_);
}

void TFrmmain::btnUPGClick() {
    glue_->Update();
    ScheduleTick();
}

void TFrmmain::lbl3Click() {
    glue_->Guarded([this] {
        const std::vector<InterfaceAddress> addresses = MachineAddresses();
        const std::wstring current = WindowText((*ui_)(form::lbl3));
        HMENU menu = CreatePopupMenu();
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            const std::wstring address = Widen(addresses[i].address);
            const std::wstring entry = address + L"  (" + Widen(addresses[i].interfaceName) + L")";
            AppendMenuW(menu, MF_STRING | (address == current ? MF_CHECKED : MF_UNCHECKED), i + 1,
                        entry.c_str());
        }
        if (addresses.empty()) {
            AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"No IPv4 address is up");
        }
        RECT label;
        GetWindowRect((*ui_)(form::lbl3), &label);
        const auto chosen =
            static_cast<std::size_t>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN,
                                                    label.left, label.bottom, 0, handle_, nullptr));
        DestroyMenu(menu);
        if (chosen >= 1 && chosen <= addresses.size()) {
            ui_->SetLabelText(form::lbl3, Widen(addresses[chosen - 1].address));
        }
    });
}

LRESULT CALLBACK TFrmmain::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TFrmmain*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TFrmmain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const LRESULT result = self->WndProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->handle_ = nullptr;
    }
    return result;
}

LRESULT TFrmmain::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= static_cast<UINT>(SocketNotifyMessage) &&
        message <= static_cast<UINT>(SocketNotifyLastMessage)) {
        HandleSocketMessage(message, lParam);
        return 0;
    }
    struct Route {
        UINT first;
        UINT last;
        LRESULT (TFrmmain::*method)(UINT, WPARAM, LPARAM);
    };
    static constexpr Route routes[] = {
        {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGING, &TFrmmain::OnWindowPosChanging},
        {WM_SETCURSOR, WM_SETCURSOR, &TFrmmain::OnSetCursor},
        {WM_ACTIVATE, WM_ACTIVATE, &TFrmmain::OnActivate},
        {WM_CLOSE, WM_CLOSE, &TFrmmain::OnClose},
        {WM_DESTROY, WM_DESTROY, &TFrmmain::OnDestroy},
        {WM_SIZE, WM_SIZE, &TFrmmain::OnSize},
        {WM_DPICHANGED, WM_DPICHANGED, &TFrmmain::OnDpiChanged},
        {WM_COMMAND, WM_COMMAND, &TFrmmain::OnCommand},
        {WM_DRAWITEM, WM_DRAWITEM, &TFrmmain::OnDrawItem},
        {WM_TIMER, WM_TIMER, &TFrmmain::OnTimer},
        {WM_NOTIFY, WM_NOTIFY, &TFrmmain::OnNotify},
        {WindowDisplay::WorkerReportsMessage, WindowDisplay::WorkerReportsMessage,
         &TFrmmain::OnWorkerReports},
    };
    const auto route = std::find_if(std::begin(routes), std::end(routes), [message](const Route& r) {
        return message >= r.first && message <= r.last;
    });
    if (route == std::end(routes) || ui_ == nullptr) {
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
    return (this->*route->method)(message, wParam, lParam);
}

void TFrmmain::HandleSocketMessage(UINT message, LPARAM lParam) {
    if (message != static_cast<UINT>(SocketNotifyMessage)) {
        return;
    }
    glue_->SocketNotification(WSAGETSELECTEVENT(lParam));
    ScheduleTick();
}

// The first showing, whatever the show command: a window shown maximized or minimized gets no
// WM_SHOWWINDOW, but every showing changes its place with SWP_SHOWWINDOW. The change is announced before
// the window is activated (WM_WINDOWPOSCHANGED comes after WM_ACTIVATE), so lbl3 is known at start-up.
LRESULT TFrmmain::OnWindowPosChanging(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto& place = *reinterpret_cast<const WINDOWPOS*>(lParam);
    if ((place.flags & SWP_SHOWWINDOW) != 0 && !shown_) {
        shown_ = true;
        FormShow();
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

// lbl3 opens a menu when clicked: the hand says so.
LRESULT TFrmmain::OnSetCursor(UINT message, WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(wParam) == (*ui_)(form::lbl3) && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
        return TRUE;
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT TFrmmain::OnActivate(UINT message, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) != WA_INACTIVE) {
        FormActivate();
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT TFrmmain::OnClose(UINT, WPARAM, LPARAM) {
    FormClose();
    DestroyWindow(handle_);
    return 0;
}

LRESULT TFrmmain::OnDestroy(UINT, WPARAM, LPARAM) {
    if (settings_.quitOnClose) {
        PostQuitMessage(0);
    }
    return 0;
}

LRESULT TFrmmain::OnSize(UINT, WPARAM, LPARAM lParam) {
    ui_->Arrange({LOWORD(lParam), HIWORD(lParam)}, dpi_);
    return 0;
}

// The display's setting changed, or the window moved to a display with another: the window takes the
// size the system proposes, and the controls their places and fonts at the new dpi.
LRESULT TFrmmain::OnDpiChanged(UINT, WPARAM wParam, LPARAM lParam) {
    dpi_ = HIWORD(wParam);
    auto fonts = std::make_unique<FormFonts>(fonts_->Face(), dpi_);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->For(form::WindowFont)), FALSE);
    ui_->Place(dpi_, *fonts);
    fonts_ = std::move(fonts);
    const RECT& proposed = *reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(handle_, nullptr, proposed.left, proposed.top, proposed.right - proposed.left,
                 proposed.bottom - proposed.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

LRESULT TFrmmain::OnCommand(UINT message, WPARAM wParam, LPARAM lParam) {
    // BN_CLICKED of the buttons, STN_CLICKED of lbl3: both 0.
    if (HIWORD(wParam) != BN_CLICKED) {
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
    struct Click {
        const form::Control* control;
        void (TFrmmain::*handler)();
    };
    static constexpr Click clicks[] = {{&form::btnsearch, &TFrmmain::btnsearchClick},
                                       {&form::btn1, &TFrmmain::btn1Click},
                                       {&form::btnUPG, &TFrmmain::btnUPGClick},
                                       {&form::lbl3, &TFrmmain::lbl3Click}};
    for (const Click& click : clicks) {
        if (LOWORD(wParam) == ControlId(*click.control)) {
            (this->*click.handler)();
            return 0;
        }
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT TFrmmain::OnDrawItem(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.CtlID != static_cast<UINT>(ControlId(form::stat1))) {
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
    stat1DrawPanel(item.rcItem);
    return TRUE;
}

LRESULT TFrmmain::OnWorkerReports(UINT, WPARAM, LPARAM) {
    glue_->TakeWorkerReports();
    ScheduleTick();
    return 0;
}

LRESULT TFrmmain::OnTimer(UINT message, WPARAM wParam, LPARAM lParam) {
    if (wParam != TickTimer) {
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
    KillTimer(handle_, TickTimer);
    glue_->Tick();
    ExplainStatus();
    ScheduleTick();
    return 0;
}

// The info tip of a row of lv1 that has one (an address that several loggers answer from).
LRESULT TFrmmain::OnNotify(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
    if (header.hwndFrom != (*ui_)(form::lv1) || header.code != static_cast<UINT>(LVN_GETINFOTIPW)) {
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
    auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
    const std::wstring text = operations_->RowTip(tip.iItem);
    if (!text.empty() && tip.cchTextMax > 0) {
        const std::size_t length = std::min(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
        text.copy(tip.pszText, length);
        tip.pszText[length] = L'\0';
    }
    return 0;
}

}  // namespace lut::win32
