// The Win32 window as the technician sees it, driven in-process through its own messages: every control
// at its place with its texts, fonts and styles, the window's looks, how it follows a resize, the boxes,
// the workers' changes, the routing of messages 1106 to 1206, the command line; and, with simulated
// loggers on loopback (tests/win32/run_window_test.sh starts them), a whole search and update.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "win32/WinApi.h"
// After <windows.h>, as it needs.
#include <richedit.h>

#include "form/FrmmainForm.h"
#include "form/ToolIcon.h"
#include "link/Endpoint.h"
#include "link/uPubpro.h"
#include "update/Messages.h"
#include "update/dialogue/DialoguePresenter.h"
#include "update/workers/WorkerReports.h"
#include "win32/Dpi.h"
#include "win32/Frmmain.h"
#include "win32/Options.h"
#include "win32/WideText.h"

namespace {

using lut::win32::Box;
using lut::win32::BoxKind;
using lut::win32::ControlId;
using lut::win32::Narrow;
using lut::win32::TFrmmain;
using lut::win32::Widen;
using lut::win32::WindowText;

// Dispatches the window's messages until the condition holds; false if it still does not after a generous
// guard against a hang.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::seconds guard = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + guard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }
    return true;
}

// Dispatches every message already waiting.
void PumpWaiting() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A file dialog that "chooses" a given path.
class ChosenFile final : public lut::FileDialog {
  public:
    explicit ChosenFile(std::filesystem::path path) : path_(std::move(path)) {}
    void SetFileName(const std::filesystem::path&) override {}
    bool Execute() override { return true; }
    std::filesystem::path FileName() const override { return path_; }

  private:
    std::filesystem::path path_;
};

// Ports of this test process's own, so that runs side by side do not meet; 8000 and 23 where asked for.
lut::ToolOptions OwnPorts() {
    const auto base = static_cast<std::uint16_t>(40000 + GetCurrentProcessId() % 10000 * 2);
    return {"127.0.0.1", static_cast<std::uint16_t>(base + 1), base};
}

struct WindowUnderTest {
    explicit WindowUnderTest(lut::ToolOptions tool = OwnPorts(), std::string localAddress = "127.0.1.99",
                             std::string chosenFile = {}) {
        lut::win32::FrmmainSettings settings;
        settings.tool = std::move(tool);
        settings.localAddress = std::move(localAddress);
        settings.boxes = [this](const Box& box) { boxes.push_back(box); };
        settings.dlgOpen1 = std::make_unique<ChosenFile>(std::move(chosenFile));
        settings.quitOnClose = false;
        window = std::make_unique<TFrmmain>(std::move(settings));
    }

    // Shows the window and waits for the first activation's start-up.
    bool Start() {
        window->Show();
        SetForegroundWindow(window->Handle());
        return PumpUntil([this] { return !Status().empty(); });
    }

    HWND Control(const lut::form::Control& control) const {
        const HWND parent = control.parent == lut::form::FormName
                                ? window->Handle()
                                : Control(lut::form::FindControl(control.parent));
        return GetDlgItem(parent, ControlId(control));
    }

    std::string Status() const { return Narrow(WindowText(Control(lut::form::lbl6))); }

    void Click(const lut::form::Control& button) const { SendMessageW(Control(button), BM_CLICK, 0, 0); }

    std::vector<Box> boxes;
    std::unique_ptr<TFrmmain> window;
};

RECT PlaceInParent(HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

std::wstring ClassOf(HWND control) {
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    return name;
}

int FontHeight(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

bool HasStyle(HWND control, LONG_PTR style) {
    return (GetWindowLongPtrW(control, GWL_STYLE) & style) == style;
}

// The form's pixels at the window's dpi (run_window_test.sh runs the tests at 96 and at 144 dpi).
int Scaled(HWND window, int designPixels) {
    return lut::win32::Scale(designPixels, lut::win32::WindowDpi(window));
}

TEST(Win32Window, EveryControlAtItsDesignPlaceWithItsTextFontAndStyle) {
    WindowUnderTest w;
    const HWND window = w.window->Handle();
    struct Expected {
        const lut::form::Control* control;
        std::wstring windowClass;  // empty: any (the rich edit's depends on the system)
        LONG_PTR style;
    };
    const std::vector<Expected> table{
        {&lut::form::pnl1, L"Static", 0},
        {&lut::form::lv1, L"SysListView32", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS},
        {&lut::form::grp1, L"Button", BS_GROUPBOX},
        {&lut::form::lbl1, L"Static", 0},
        {&lut::form::edtHostPort, L"Edit", ES_READONLY | WS_DISABLED},
        {&lut::form::lbl2, L"Static", 0},
        {&lut::form::lbl3, L"Static", SS_NOTIFY},
        {&lut::form::btnsearch, L"Button", 0},
        {&lut::form::lbl4, L"Static", 0},
        {&lut::form::lbl6, L"Static", SS_CENTER},
        {&lut::form::lbl7, L"Static", 0},
        {&lut::form::lbl5, L"Static", SS_CENTER},
        {&lut::form::btnUPG, L"Button", 0},
        {&lut::form::stat1, L"msctls_statusbar32", SBARS_SIZEGRIP},
        {&lut::form::ProgressBar1, L"msctls_progress32", 0},
        {&lut::form::btn1, L"Button", 0},
        {&lut::form::edt1, L"Edit", 0},
        {&lut::form::redt2, L"", ES_MULTILINE | WS_VSCROLL},
    };
    ASSERT_EQ(table.size(), lut::form::Controls.size());
    for (const Expected& expected : table) {
        const lut::form::Control& c = *expected.control;
        SCOPED_TRACE(std::string(c.name));
        const HWND control = w.Control(c);
        ASSERT_NE(control, nullptr);
        if (!expected.windowClass.empty()) {
            EXPECT_EQ(ClassOf(control), expected.windowClass);
        }
        EXPECT_TRUE(HasStyle(control, expected.style));
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, c.enabled);
        if (c.kind == lut::form::Kind::RichEdit) {
            // A rich edit keeps its font and read-only state as its own options.
            CHARFORMATW format{};
            format.cbSize = sizeof format;
            SendMessageW(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
            EXPECT_EQ(format.yHeight, MulDiv(Scaled(window, c.font.pixelHeight), 1440,
                                             static_cast<int>(lut::win32::WindowDpi(window))));
            EXPECT_EQ(format.bCharSet, GB2312_CHARSET);
            EXPECT_TRUE(SendMessageW(control, EM_GETOPTIONS, 0, 0) & ECO_READONLY);
        } else {
            EXPECT_EQ(FontHeight(control), -Scaled(window, c.font.pixelHeight));
            EXPECT_EQ(Narrow(WindowText(control)), c.text);
        }
        const RECT place = PlaceInParent(control);
        EXPECT_EQ(place.left, Scaled(window, c.place.left));
        EXPECT_EQ(place.top, Scaled(window, c.place.top));
        if (c.sizing == lut::form::Sizing::ToText) {
            EXPECT_GE(place.right - place.left, 1);
        } else if (&c != &lut::form::pnl1 && &c != &lut::form::lv1) {
            EXPECT_EQ(place.right - place.left, Scaled(window, c.place.width));
            EXPECT_EQ(place.bottom - place.top, Scaled(window, c.place.height));
        }
    }
    EXPECT_TRUE(ListView_GetExtendedListViewStyle(w.Control(lut::form::lv1)) & LVS_EX_FULLROWSELECT);
    for (std::size_t i = 0; i < lut::form::LoggerColumns.size(); ++i) {
        wchar_t title[32] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title;
        column.cchTextMax = 32;
        ASSERT_TRUE(ListView_GetColumn(w.Control(lut::form::lv1), static_cast<int>(i), &column));
        EXPECT_EQ(Narrow(title), lut::form::LoggerColumns[i].title);
        EXPECT_EQ(column.cx, Scaled(window, lut::form::LoggerColumns[i].width));
    }
}

TEST(Win32Window, LooksAndIconAsDesigned) {
    WindowUnderTest w;
    const HWND window = w.window->Handle();
    EXPECT_EQ(ClassOf(window), L"TFrmmain");
    EXPECT_EQ(Narrow(WindowText(window)), lut::text::Caption);
    EXPECT_TRUE(HasStyle(window, WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CAPTION));
    if (const char* dpi = std::getenv("LUT_TEST_DPI")) {
        EXPECT_EQ(lut::win32::WindowDpi(window), static_cast<UINT>(std::atoi(dpi)));
    }
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, Scaled(window, lut::form::ClientSize.width));
    EXPECT_EQ(client.bottom, Scaled(window, lut::form::ClientSize.height));
    RECT outer;
    GetWindowRect(window, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    EXPECT_LE(std::abs((outer.left + outer.right) - (monitor.rcWork.left + monitor.rcWork.right)), 2);
    EXPECT_LE(std::abs((outer.top + outer.bottom) - (monitor.rcWork.top + monitor.rcWork.bottom)), 2);

    // The icon resource: one image of each size, 32 bits a pixel.
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const WORD*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_EQ(group[2], lut::form::ToolIconSizes.size());
    const auto* entries = reinterpret_cast<const GroupEntry*>(group + 3);
    for (std::size_t i = 0; i < lut::form::ToolIconSizes.size(); ++i) {
        EXPECT_EQ(entries[i].width, lut::form::ToolIconSizes[i]);
        EXPECT_EQ(entries[i].bitCount, 32);
    }
}

TEST(Win32Window, ResizeMovesListStatusBarAndProgressBar) {
    WindowUnderTest w;
    ASSERT_TRUE(w.Start());
    const HWND window = w.window->Handle();
    const UINT dpi = lut::win32::WindowDpi(window);
    struct Case {
        int width;
        int height;
    };
    for (const Case size : {Case{900, 600}, Case{500, 300}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        const SIZE outer = lut::win32::OuterSize(
            {size.width, size.height}, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), 0, dpi);
        SetWindowPos(w.window->Handle(), nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
        UpdateWindow(w.Control(lut::form::stat1));
        PumpWaiting();
        const int listHeight = size.height - Scaled(window, lut::form::StatusBarHeight);
        const RECT list = PlaceInParent(w.Control(lut::form::pnl1));
        EXPECT_EQ(list.bottom, listHeight);
        EXPECT_EQ(PlaceInParent(w.Control(lut::form::lv1)).bottom, listHeight);
        const RECT status = PlaceInParent(w.Control(lut::form::stat1));
        EXPECT_EQ(status.top, listHeight);
        EXPECT_EQ(status.right, size.width);
        const HWND bar = w.Control(lut::form::ProgressBar1) != nullptr
                             ? w.Control(lut::form::ProgressBar1)
                             : GetDlgItem(w.Control(lut::form::stat1), ControlId(lut::form::ProgressBar1));
        ASSERT_EQ(GetParent(bar), w.Control(lut::form::stat1));
        RECT panel;
        SendMessageW(w.Control(lut::form::stat1), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&panel));
        const RECT barPlace = PlaceInParent(bar);
        EXPECT_EQ(barPlace.left, panel.left);
        EXPECT_EQ(barPlace.right, panel.right - Scaled(window, lut::form::ProgressBarGap));
        EXPECT_EQ(PlaceInParent(w.Control(lut::form::grp1)).left, Scaled(window, lut::form::grp1.place.left));
        EXPECT_EQ(PlaceInParent(w.Control(lut::form::btnUPG)).top,
                  Scaled(window, lut::form::btnUPG.place.top));
    }
}

TEST(Win32Window, BoxesCarryTheirCaptions) {
    WindowUnderTest w;
    lut::WindowOperations& operations = w.window->Operations();
    operations.ShowWarning(std::string(lut::text::SameVersion));
    operations.ShowPlainMessage(std::string(lut::text::VersionMustBeginWithS));
    operations.ShowError("Cannot open file");
    ASSERT_EQ(w.boxes.size(), 3u);
    EXPECT_EQ(w.boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(w.boxes[0].caption, L"Hint");
    EXPECT_EQ(w.boxes[0].text, L"Same Version");
    EXPECT_EQ(w.boxes[1].kind, BoxKind::Plain);
    EXPECT_EQ(w.boxes[1].caption, L"win32_window_tests");
    EXPECT_EQ(w.boxes[2].kind, BoxKind::Error);
    EXPECT_EQ(w.boxes[2].caption, L"win32_window_tests");
}

std::string ItemText(HWND list, int row, int column) {
    wchar_t text[64] = {};
    ListView_GetItemText(list, row, column, text, 64);
    return Narrow(text);
}

TEST(Win32Window, ListShowsItsRowsAndTheSelection) {
    WindowUnderTest w;
    lut::WindowOperations& operations = w.window->Operations();
    const HWND list = w.Control(lut::form::lv1);
    operations.AppendRow({"SN0001", "127.0.0.2", "S1.00"});
    operations.AppendRow({"B", "127.0.0.3", "S2"});
    operations.SetRowCaption(1, "SN0002");
    EXPECT_EQ(ListView_GetItemCount(list), 2);
    EXPECT_EQ(ItemText(list, 0, lut::form::SnColumn), "SN0001");
    EXPECT_EQ(ItemText(list, 0, lut::form::IpColumn), "127.0.0.2");
    EXPECT_EQ(ItemText(list, 0, lut::form::VersionColumn), "S1.00");
    EXPECT_EQ(ItemText(list, 1, lut::form::SnColumn), "SN0002");
    EXPECT_FALSE(operations.SelectedRow().has_value());
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(operations.SelectedRow(), std::optional<int>(1));
    EXPECT_THROW(operations.SetRowCaption(2, "x"), std::out_of_range);
    operations.ClearList();
    EXPECT_EQ(ListView_GetItemCount(list), 0);
}

// Texts to and from the loggers are 8-bit, in the system's ANSI code page: a byte above 127 from a logger
// shows as its character (never U+FFFD), and a version typed in edt1 goes out as the code page's bytes.
TEST(Win32Window, LoggerTextsTravelInTheAnsiCodePage) {
    WindowUnderTest w;
    lut::WindowOperations& operations = w.window->Operations();
    operations.AppendRow({"SN\xB5", "127.0.0.2", "S1.0\xE9"});
    wchar_t shown[64] = {};
    ListView_GetItemText(w.Control(lut::form::lv1), 0, lut::form::VersionColumn, shown, 64);
    EXPECT_EQ(std::wstring(shown).find(L'\uFFFD'), std::wstring::npos);
    EXPECT_EQ(lut::win32::NarrowAnsi(shown), "S1.0\xE9");
    ListView_GetItemText(w.Control(lut::form::lv1), 0, lut::form::SnColumn, shown, 64);
    EXPECT_EQ(lut::win32::NarrowAnsi(shown), "SN\xB5");
    SetWindowTextW(w.Control(lut::form::edt1), lut::win32::WidenAnsi("S2.0\xB5").c_str());
    EXPECT_EQ(operations.VersionText(), "S2.0\xB5");

    // Browse's version, the file name's (UTF-8 to the window), goes out as the code page's bytes for it, as
    // the ANSI file dialog gives a name; a character without a byte there is refused, never sent as "?".
    struct Case {
        std::string fromFileName;
        std::wstring typed;  // over it
        std::optional<std::string> sent;
    };
    const std::vector<Case> cases = {
        {"S\xC3\xA9", L"", "S\xE9"},  // S\u00E9.bin, in Windows-1252 here
        {"S\xE2\x98\x83", L"", std::nullopt},
        {"S1.0", L"S\u7248", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fromFileName);
        operations.SetVersionText(c.fromFileName);
        if (!c.typed.empty()) {
            SetWindowTextW(w.Control(lut::form::edt1), c.typed.c_str());
        }
        if (c.sent) {
            EXPECT_EQ(operations.VersionText(), *c.sent);
        } else {
            EXPECT_THROW(operations.VersionText(), std::runtime_error);
        }
    }
}

// The tooltip text that the window's tooltips hold for the control.
std::string TipOf(const WindowUnderTest& w, const lut::form::Control& control) {
    std::wstring tip;
    for (HWND tooltip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); tooltip != nullptr;
         tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr)) {
        wchar_t text[1024] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = w.window->Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(w.Control(control));
        tool.lpszText = text;
        if (GetWindow(tooltip, GW_OWNER) == w.window->Handle()) {
            SendMessageW(tooltip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
            tip += text;
        }
    }
    return Narrow(tip);
}

// lbl3 opens the adapter menu when clicked: it says so with a hand cursor and a tooltip.
TEST(Win32Window, AddressLabelShowsAHandAndATooltip) {
    WindowUnderTest w;
    const HWND lbl3 = w.Control(lut::form::lbl3);
    EXPECT_EQ(SendMessageW(w.window->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(lbl3),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
    EXPECT_EQ(TipOf(w, lut::form::lbl3), lut::form::lbl3Hint);
}

// lbl3's text when the window under watch was first activated, taken before the window sees the message.
HWND watched = nullptr;
std::optional<std::string> lbl3AtActivation;

LRESULT CALLBACK SeeActivation(int code, WPARAM wParam, LPARAM lParam) {
    const auto& message = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message.hwnd == watched && message.message == WM_ACTIVATE &&
        LOWORD(message.wParam) != WA_INACTIVE && !lbl3AtActivation) {
        lbl3AtActivation = Narrow(WindowText(
            GetDlgItem(GetDlgItem(watched, ControlId(lut::form::grp1)), ControlId(lut::form::lbl3))));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The window is shown before its first activation, whatever the show command: a shortcut set to
// "Maximized" or "Minimized" (start /max) sends no WM_SHOWWINDOW, and the place changes that announce the
// showing also follow the activation. lbl3 has the address when start-up begins.
TEST(Win32Window, StartedMaximizedOrMinimizedTheWindowKnowsItsAddress) {
    for (const int command : {SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOWMINIMIZED}) {
        SCOPED_TRACE(command);
        WindowUnderTest w;
        watched = w.window->Handle();
        lbl3AtActivation.reset();
        const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, SeeActivation, nullptr, GetCurrentThreadId());
        w.window->Show(command);
        PumpWaiting();
        UnhookWindowsHookEx(hook);
        EXPECT_EQ(lbl3AtActivation, std::optional<std::string>("127.0.1.99"));
        EXPECT_EQ(Narrow(WindowText(w.Control(lut::form::lbl3))), "127.0.1.99");
        EXPECT_EQ(IsZoomed(w.window->Handle()) != FALSE, command == SW_SHOWMAXIMIZED);
        EXPECT_EQ(IsIconic(w.window->Handle()) != FALSE, command == SW_SHOWMINIMIZED);
    }
}

TEST(Win32Window, WorkerReportsWakeTheWindowAndShowInOrder) {
    WindowUnderTest w;
    const HWND window = w.window->Handle();
    const HWND bar = w.Control(lut::form::ProgressBar1);
    lut::win32::WindowDisplay waker(window);
    lut::WorkerReports queue(waker);
    std::thread worker([&queue] {
        queue.Report(1, lut::dialogue::RunBegins{4, 0, false});
        for (int block = 0; block < 3; ++block) {
            queue.Report(1, lut::dialogue::BlockSent{block, false, false});
        }
        queue.Report(1, lut::dialogue::QuerySent{1, false});
    });
    worker.join();
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);  // nothing was done on the worker's thread
    MSG wake;
    ASSERT_TRUE(PeekMessageW(&wake, window, lut::win32::WindowDisplay::WorkerReportsMessage,
                             lut::win32::WindowDisplay::WorkerReportsMessage, PM_REMOVE));
    for (const lut::DialogueEvent& event : queue.Take()) {
        lut::Present(event, w.window->Operations());
    }
    EXPECT_EQ(w.Status(), lut::text::QueryUpdateResult);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 4);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 3);
    EXPECT_EQ(w.window->Operations().ProgressText(), L"3 of 4 blocks, 0:05 left");

    // The run ends: the bar claims no blocks or time left.
    lut::Present(lut::dialogue::RunEnds{}, w.window->Operations());
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(w.window->Operations().ProgressText(), L"");
}

TEST(Win32Window, OnlyMessage1106ReadsADatagram) {
    WindowUnderTest w;
    ASSERT_TRUE(w.Start());
    w.Click(lut::form::btnsearch);  // sweeps 127.0.1.x, where nothing listens
    lut::Endpoint logger;
    ASSERT_FALSE(logger.Open({"127.0.0.1", 0}));
    const std::string answer = std::string(1, lut::FrameStart) + "SN0042#S1.00" + lut::FrameEnd;
    ASSERT_FALSE(logger.SendTo(answer, "127.0.0.1", OwnPorts().discoveryPort));

    for (UINT message = lut::SocketNotifyMessage + 1; message <= lut::SocketNotifyLastMessage; ++message) {
        EXPECT_EQ(w.window->WndProc(message, 0, FD_READ), 0);
    }
    EXPECT_EQ(ListView_GetItemCount(w.Control(lut::form::lv1)), 0);
    w.window->WndProc(lut::SocketNotifyMessage, 0, FD_READ);
    ASSERT_EQ(ListView_GetItemCount(w.Control(lut::form::lv1)), 1);
    EXPECT_EQ(ItemText(w.Control(lut::form::lv1), 0, lut::form::SnColumn), "SN0042");
    EXPECT_EQ(ItemText(w.Control(lut::form::lv1), 0, lut::form::IpColumn), "127.0.0.1");
}

// The record's folder is a plain file. No box says so, neither ahead of the dialogue's own texts (Update
// pressed again before the logger answered) nor at close: the status line's tooltip does.
TEST(Win32Window, RecordThatCannotBeWrittenIsSaidInTheStatusTooltip) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("lut-record-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path blocked = folder / "plainfile";
    std::ofstream(blocked) << "a plain file\n";
    const std::filesystem::path image = folder / "S1.02.bin";
    std::ofstream(image, std::ios::binary) << std::string(10, '\x5A');
    for (const int presses : {2, 1}) {
        SCOPED_TRACE(presses);
        WindowUnderTest w(OwnPorts(), "127.0.1.99", image.string());
        ASSERT_TRUE(w.Start());
        w.Click(lut::form::btnsearch);
        lut::Endpoint logger;
        ASSERT_FALSE(logger.Open({"127.0.0.1", 0}));
        ASSERT_FALSE(logger.SendTo(std::string(1, lut::FrameStart) + "SN0042#S1.00" + lut::FrameEnd,
                                   "127.0.0.1", OwnPorts().discoveryPort));
        w.window->WndProc(lut::SocketNotifyMessage, 0, FD_READ);
        ListView_SetItemState(w.Control(lut::form::lv1), 0, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        w.Click(lut::form::btn1);
        _putenv_s("LOGGER_UPDATE_RECORD", (blocked / "updates.jsonl").string().c_str());
        for (int press = 0; press < presses; ++press) {
            w.Click(lut::form::btnUPG);
        }
        if (presses == 1) {
            w.window->FormClose();
        }
        _putenv_s("LOGGER_UPDATE_RECORD", "off");
        EXPECT_TRUE(w.boxes.empty());
        EXPECT_EQ(w.Status(), lut::text::RequestUpdate);
        EXPECT_NE(TipOf(w, lut::form::lbl6).find("updates.jsonl could not be written"), std::string::npos)
            << TipOf(w, lut::form::lbl6);
    }
    std::filesystem::remove_all(folder);
}

// What the lbl3 menu offered, and the loopback entry chosen in it once it is up: the only address a test
// may sweep.
std::vector<std::wstring> offered;

void CALLBACK ChooseLoopback(HWND, UINT, UINT_PTR, DWORD) {
    const HWND menuWindow = FindWindowW(L"#32768", nullptr);
    if (menuWindow == nullptr || !offered.empty()) {
        return;
    }
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    int loopback = -1;
    for (int item = 0; item < GetMenuItemCount(menu); ++item) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(item), text, 128, MF_BYPOSITION);
        offered.emplace_back(text);
        if (offered.back().starts_with(L"127.0.0.1  (")) {
            loopback = item;
        }
    }
    for (int step = 0; step <= loopback; ++step) {
        PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    }
    PostMessageW(menuWindow, WM_KEYDOWN, loopback >= 0 ? VK_RETURN : VK_ESCAPE, 0);
}

TEST(Win32Window, LocalAddressMenuOffersMachineAddresses) {
    WindowUnderTest w;
    ASSERT_TRUE(w.Start());
    const HWND lbl3 = w.Control(lut::form::lbl3);
    SetWindowTextW(lbl3, L"127.0.0.99");
    offered.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ChooseLoopback);
    SendMessageW(w.window->Handle(), WM_COMMAND, MAKEWPARAM(ControlId(lut::form::lbl3), STN_CLICKED),
                 reinterpret_cast<LPARAM>(lbl3));
    KillTimer(nullptr, timer);
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(Narrow(WindowText(lbl3)), "127.0.0.1") << Narrow(offered.front());
}

TEST(Win32Window, CommandLineTakesTwoAddressesAndACapture) {
    using lut::win32::ParseOptions;
    struct Case {
        std::vector<std::string> arguments;
        bool valid;
    };
    const std::vector<Case> table{
        {{}, true},
        {{"--bind", "127.0.0.1", "--local-address", "192.168.1.20"}, true},
        {{"--bind"}, false},
        {{"--bind", "127.0.0.256"}, false},
        {{"--local-address", "1.2.3"}, false},
        {{"--local-address", "1.2.3.4.5"}, false},
        {{"--port", "8000"}, false},
        {{"--capture", "C:\\support\\run.pcap", "--bind", "127.0.0.1"}, true},
        {{"--capture"}, false},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        if (c.valid) {
            EXPECT_NO_THROW(ParseOptions(c.arguments));
        } else {
            EXPECT_THROW(ParseOptions(c.arguments), std::invalid_argument);
        }
    }
    const auto options = ParseOptions(std::vector<std::string>{"--bind", "127.0.0.1"});
    EXPECT_EQ(options.bind, "127.0.0.1");
    EXPECT_FALSE(options.localAddress.has_value());
    EXPECT_EQ(ParseOptions(std::vector<std::string>{"--capture", "run.pcap"}).capture, "run.pcap");
}

// Two loggers answering from one address (both on 127.0.0.1, from which Wine sends whatever the bind): the
// row says so, and Update on it sends no request.
TEST(Win32Window, TwoLoggersAtOneAddressAreMarkedAndNeverUpdated) {
    WindowUnderTest w;
    ASSERT_TRUE(w.Start());
    w.Click(lut::form::btnsearch);
    const HWND list = w.Control(lut::form::lv1);
    for (const std::string serial : {"SN0001", "SN0002"}) {
        lut::Endpoint logger;
        ASSERT_FALSE(logger.Open({"127.0.0.1", 0}));
        ASSERT_FALSE(logger.SendTo(lut::FrameStart + serial + "#S1.0" + lut::FrameEnd, "127.0.0.1",
                                   OwnPorts().discoveryPort));
        ASSERT_TRUE(PumpUntil([&] { return ItemText(list, 0, lut::form::SnColumn).ends_with("SN0001"); }));
    }
    ASSERT_TRUE(PumpUntil([&] { return ItemText(list, 0, lut::form::SnColumn) == "! SN0001"; }));
    EXPECT_EQ(ListView_GetItemCount(list), 1);
    EXPECT_EQ(Narrow(w.window->Operations().RowTip(0)), "Two loggers answer at this address: SN0001, SN0002");

    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    w.Click(lut::form::btnUPG);
    ASSERT_EQ(w.boxes.size(), 1U);
    EXPECT_EQ(Narrow(w.boxes[0].text),
              "Two loggers answer at 127.0.0.1 (SN0001, SN0002): give one of them "
              "another address, then Search again.");
    EXPECT_NE(w.Status(), lut::text::RequestUpdate);
}

// With simulated loggers on loopback: LUT_TEST_LOGGERS="SN@address#version,..." and LUT_TEST_IMAGE, the
// update file; the window uses ports 8000 and 23 as real loggers do. LUT_TEST_SHOT names a file that the
// test creates when the window is ready for its screenshot; it then waits for LUT_TEST_SHOT + ".done".
TEST(Win32WindowWithLoggers, SearchBrowseAndUpdate) {
    const char* loggers = std::getenv("LUT_TEST_LOGGERS");
    const char* image = std::getenv("LUT_TEST_IMAGE");
    if (loggers == nullptr || image == nullptr) {
        GTEST_SKIP() << "no simulated loggers (tests/win32/run_window_test.sh starts them)";
    }
    std::vector<lut::LoggerRow> expected;
    const std::string entries = loggers;
    for (std::size_t start = 0; start < entries.size();) {
        const std::size_t end = std::min(entries.find(',', start), entries.size());
        const std::string entry = entries.substr(start, end - start);
        const std::size_t at = entry.find('@');
        const std::size_t hash = entry.find('#');
        expected.push_back(
            {entry.substr(0, at), entry.substr(at + 1, hash - at - 1), entry.substr(hash + 1)});
        start = end + 1;
    }
    WindowUnderTest w({"127.0.0.1", lut::UpdatePort, lut::DiscoveryPort}, "127.0.0.1", image);
    ASSERT_TRUE(w.Start());
    ASSERT_EQ(w.Status(), lut::text::Ready);

    w.Click(lut::form::btnsearch);
    lut::WindowOperations& operations = w.window->Operations();
    const HWND list = w.Control(lut::form::lv1);
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(list) == static_cast<int>(expected.size()); }));
    std::vector<lut::LoggerRow> found;
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        found.push_back({ItemText(list, row, lut::form::SnColumn), ItemText(list, row, lut::form::IpColumn),
                         ItemText(list, row, lut::form::VersionColumn)});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.ip < b.ip; });
    EXPECT_EQ(found, expected);

    w.Click(lut::form::btn1);
    const std::string version = std::filesystem::path(image).stem().string();
    EXPECT_EQ(operations.VersionText(), version);
    EXPECT_EQ(operations.FilePathText(), image);
    ListView_SetItemState(w.Control(lut::form::lv1), 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);

    w.Click(lut::form::btnUPG);
    ASSERT_TRUE(PumpUntil([&] { return !w.boxes.empty(); }, std::chrono::seconds(120)));
    EXPECT_EQ(Narrow(w.boxes.front().text), lut::text::UpdateComplete);
    EXPECT_EQ(w.boxes.front().kind, BoxKind::Warning);

    if (const char* shot = std::getenv("LUT_TEST_SHOT")) {
        std::ofstream(shot) << "ready\n";
        const std::string done = std::string(shot) + ".done";
        PumpUntil([&] { return std::filesystem::exists(done); }, std::chrono::seconds(20));
    }
}

// With LUT_TEST_SEARCH="COUNT,DISCOVERY-PORT,UPDATE-PORT": that many simulated loggers on loopback that lose
// 5 % of their answers (run_window_test.sh starts them). The rounds ask again the loggers whose answer was
// lost, so a press misses a logger only when all three of its answers are lost (0.05³): 0.06 rows missing
// in 20 presses of 24 is the expectation, more than two about one run in 30,000. One sweep alone would
// miss 24.
TEST(Win32WindowWithLoggers, SearchRoundsListEveryLossyLogger) {
    const char* search = std::getenv("LUT_TEST_SEARCH");
    if (search == nullptr) {
        GTEST_SKIP() << "no lossy simulated loggers (tests/win32/run_window_test.sh starts them)";
    }
    int count = 0;
    unsigned discovery = 0;
    unsigned update = 0;
    ASSERT_EQ(std::sscanf(search, "%d,%u,%u", &count, &discovery, &update), 3) << search;
    WindowUnderTest w(
        {"127.0.0.1", static_cast<std::uint16_t>(update), static_cast<std::uint16_t>(discovery)},
        "127.0.0.1");
    ASSERT_TRUE(w.Start());
    const HWND list = w.Control(lut::form::lv1);
    constexpr int Presses = 20;
    std::vector<int> rows;
    for (int press = 0; press < Presses; ++press) {
        w.Click(lut::form::btnsearch);
        // The rounds end 600 ms after the press; the answers to the last one follow within moments.
        PumpUntil([&] { return ListView_GetItemCount(list) == count; }, std::chrono::seconds(3));
        rows.push_back(ListView_GetItemCount(list));
    }
    int missing = 0;
    for (const int listed : rows) {
        missing += count - listed;
    }
    EXPECT_LE(missing, 2) << "rows after each press: " << ::testing::PrintToString(rows);
    EXPECT_TRUE(w.boxes.empty());
}

}  // namespace
