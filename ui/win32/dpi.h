// Pixels per inch for a window, and what depends on it. The program declares
// itself aware of each monitor's DPI in its manifest; the functions that tell a
// window's DPI came after Windows 7, so they are looked up when the program runs.
#pragma once

#include <windows.h>

namespace tolvane::win32 {

inline constexpr UINT kBaseDpi = 96;

// The window's DPI: its monitor's where Windows tells it, the system's otherwise.
UINT dpiOf(HWND window);
// A length given at 96 DPI, at this DPI.
int scaled(int pixels, UINT dpi);
// The outer size of a window whose client area is `client`, at this DPI.
SIZE outerSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi);
// The system's message font at this DPI (the font of the status area and check boxes).
LOGFONTW messageFont(UINT dpi);

}  // namespace tolvane::win32
