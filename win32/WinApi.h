// The Win32 API as the window's files include it: Winsock 2 ahead of <windows.h>, and the few declarations
// that older SDK headers lack.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <commctrl.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
