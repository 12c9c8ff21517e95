// The window's controls: where each sits at 96 DPI, its text, style and font,
// and the fonts themselves at the window's DPI.
#pragma once

#include <windows.h>

#include <span>

namespace tolvane::win32 {

// Control IDs start above IDOK and IDCANCEL, which IsDialogMessage sends for
// Enter and Escape.
enum ControlId : int {
    kOpenImage = 101,  // bnouvimg
    kTitle,            // lbtitre
    kPicture,          // piboot
    kPatch,            // bnpatch
    kQuit,             // bnquitter
    kOpenBitmap,       // bnouvbmp
    kSaveBitmap,       // bnsauvbmp
    kConsoleView,      // cbconsole
    kPal,              // cbpal
    kStatus,           // lbetat
};

inline constexpr int kClientWidth = 770;
inline constexpr int kClientHeight = 210;  // the fixed layout; the status line is below it
inline constexpr int kStatusHeight = 22;

enum class FontKind { ButtonFont, TitleFont, MessageFont };

struct Place {
    int left, top, width, height;  // at 96 DPI
};

struct ControlSpec {
    ControlId id;
    const wchar_t* className;
    const wchar_t* text;
    Place at;
    DWORD style;
    FontKind font;
    const wchar_t* tip;  // tooltip, or null
};

// Every control, in tab order.
std::span<const ControlSpec> controlSpecs();

// Font A (buttons), font B (title) and the system's message font, at one DPI.
class WindowFonts {
public:
    explicit WindowFonts(UINT dpi);
    ~WindowFonts();
    WindowFonts(const WindowFonts&) = delete;
    WindowFonts& operator=(const WindowFonts&) = delete;
    HFONT operator[](FontKind kind) const;

private:
    HFONT button_, title_, message_;
};

}  // namespace tolvane::win32
