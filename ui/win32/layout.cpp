#include "layout.h"

#include "dpi.h"
#include "logo_view.h"

namespace tolvane::win32 {

namespace {

constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kCheckBox = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kOneLine = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE;

const ControlSpec kControls[] = {
    {kOpenImage, L"Button", L"Open Cdrwin Bin ", {0, 184, 121, 25}, kButton, FontKind::ButtonFont, nullptr},
    {kTitle, L"Static", L"Tolvane Editor 0.2.2 beta", {184, 8, 369, 25}, kOneLine, FontKind::TitleFont, nullptr},
    {kPicture,
     kLogoViewClass,
     L"",
     {0, 48, 769, 129},
     WS_CHILD | WS_VISIBLE | WS_TABSTOP,
     FontKind::MessageFont,
     nullptr},
    {kPatch, L"Button", L" Patch ", {480, 184, 121, 25}, kButton, FontKind::ButtonFont, nullptr},
    {kQuit, L"Button", L"  Quit ", {688, 184, 81, 25}, kButton, FontKind::ButtonFont, nullptr},
    {kOpenBitmap, L"Button", L"  Open Bitmap   ", {344, 184, 129, 25}, kButton, FontKind::ButtonFont, nullptr},
    {kSaveBitmap, L"Button", L"  Save Bitmap   ", {128, 184, 129, 25}, kButton, FontKind::ButtonFont, nullptr},
    // The view's settings sit in the free space beside the title; nothing of the
    // fixed layout moves for them.
    {kConsoleView,
     L"Button",
     L"Console view",
     {566, 10, 112, 22},
     kCheckBox,
     FontKind::MessageFont,
     L"Show and exchange the logo as the console shows it, decoded with the disc's key"},
    {kPal,
     L"Button",
     L"PAL",
     {684, 10, 80, 22},
     kCheckBox | WS_DISABLED,
     FontKind::MessageFont,
     L"The console's PAL picture, 344 x 71, instead of NTSC's 384 x 64"},
    // SS_NOTIFY: a static control sees the mouse, and so shows its tooltip, only with it.
    {kStatus,
     L"Static",
     L"",
     {4, kClientHeight, kClientWidth - 8, kStatusHeight},
     kOneLine | SS_NOTIFY,
     FontKind::MessageFont,
     nullptr},
};

HFONT msSansSerif(int hundredthsOfPoints, int weight, UINT dpi) {
    return CreateFontW(-MulDiv(hundredthsOfPoints, int(dpi), 7200), 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       L"MS Sans Serif");
}

}  // namespace

std::span<const ControlSpec> controlSpecs() { return kControls; }

WindowFonts::WindowFonts(UINT dpi)
    : button_(msSansSerif(975, FW_NORMAL, dpi)), title_(msSansSerif(1800, FW_BOLD, dpi)), message_([dpi] {
          const LOGFONTW font = messageFont(dpi);
          return CreateFontIndirectW(&font);
      }()) {}

WindowFonts::~WindowFonts() {
    for (HFONT font : {button_, title_, message_})
        if (font) DeleteObject(font);
}

HFONT WindowFonts::operator[](FontKind kind) const {
    switch (kind) {
        case FontKind::ButtonFont: return button_;
        case FontKind::TitleFont: return title_;
        case FontKind::MessageFont: return message_;
    }
    return message_;
}

}  // namespace tolvane::win32
