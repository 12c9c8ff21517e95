// The controls of the table both windows share as Win32 controls: their window
// classes and styles, and the fonts at the window's DPI.
#pragma once

#include "ui/common/window_controls.h"

#include <windows.h>

namespace tolvane::win32 {

const wchar_t* windowClassOf(ControlKind kind);
DWORD styleOf(const ControlRow& row);

// Font A (buttons), font B (title) and the system's message font, at one DPI.
class WindowFonts {
public:
    explicit WindowFonts(UINT dpi);
    ~WindowFonts();
    WindowFonts(const WindowFonts&) = delete;
    WindowFonts& operator=(const WindowFonts&) = delete;
    HFONT operator[](FontKind kind) const;
    // The height of one line of text in this font, as DrawText sets lines.
    int lineHeight(FontKind kind) const;

private:
    UINT dpi_;
    HFONT button_, title_, message_;
};

}  // namespace tolvane::win32
