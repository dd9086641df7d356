#include "win32/Dpi.h"

namespace lut::win32 {

namespace {

template <typename Function>
Function UserFunction(const char* name) {
    // Cast through a generic function pointer: the entry's real type is the caller's to state.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = UserFunction<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
            return dpi;
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : DesignDpi;
}

int Scale(int designPixels, UINT dpi) {
    return MulDiv(designPixels, static_cast<int>(dpi), DesignDpi);
}

int Unscale(int pixels, UINT dpi) {
    return MulDiv(pixels, DesignDpi, static_cast<int>(dpi));
}

RECT ScaledRect(form::Rect place, UINT dpi) {
    const int left = Scale(place.left, dpi);
    const int top = Scale(place.top, dpi);
    return {left, top, left + Scale(place.width, dpi), top + Scale(place.height, dpi)};
}

SIZE OuterSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi =
        UserFunction<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, client.cx, client.cy};
    if (adjustForDpi == nullptr || !adjustForDpi(&rect, style, FALSE, exStyle, dpi)) {
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace lut::win32
