// The window's coordinates are the form's, at 96 dpi; these scale them to the display's setting.
#pragma once

#include "form/FrmmainForm.h"
#include "win32/WinApi.h"

namespace lut::win32 {

inline constexpr UINT DesignDpi = 96;

// The window's dpi: GetDpiForWindow where the system has it (Windows 10 1607 and later), else the
// screen's LOGPIXELSY.
UINT WindowDpi(HWND window);

int Scale(int designPixels, UINT dpi);
int Unscale(int pixels, UINT dpi);
RECT ScaledRect(form::Rect place, UINT dpi);

// The outer window rectangle whose client area has the given size, for the window's styles and dpi.
SIZE OuterSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace lut::win32
