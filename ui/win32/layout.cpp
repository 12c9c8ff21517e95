// The native window's control classes, styles and fonts.
#include "layout.h"

#include "dpi.h"
#include "logo_view.h"
#include "text.h"

namespace tolvane::win32 {

namespace {

HFONT tableFont(FontKind kind, UINT dpi) {
    const FontDescription description = fontDescription(kind);
    if (!description.family) {
        const LOGFONTW font = messageFont(dpi);
        return CreateFontIndirectW(&font);
    }
    const int height = -MulDiv(int(description.points * 100 + 0.5), int(dpi), 7200);
    return CreateFontW(height, 0, 0, 0, description.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       wide(description.family).c_str());
}

}  // namespace

const wchar_t* windowClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox: return L"Button";
        case ControlKind::Title:
        case ControlKind::StatusArea: return L"Static";
        case ControlKind::Picture: return kLogoViewClass;
    }
    return L"Static";
}

DWORD styleOf(const ControlRow& row) {
    constexpr DWORD kOneLine = SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE;
    DWORD style = WS_CHILD | WS_VISIBLE | (row.enabled ? 0 : WS_DISABLED);
    switch (row.kind) {
        case ControlKind::PushButton: return style | WS_TABSTOP | BS_PUSHBUTTON;
        case ControlKind::CheckBox: return style | WS_TABSTOP | BS_AUTOCHECKBOX;
        case ControlKind::Title: return style | kOneLine;
        case ControlKind::Picture: return style | WS_TABSTOP;
        // Lines as given, each from the left, none wrapped: the window fits them.
        // SS_NOTIFY: a static control sees the mouse, and so shows its tooltip and
        // context menu, only with it.
        case ControlKind::StatusArea: return style | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY;
    }
    return style;
}

WindowFonts::WindowFonts(UINT dpi)
    : dpi_(dpi),
      button_(tableFont(FontKind::ButtonFont, dpi)),
      title_(tableFont(FontKind::TitleFont, dpi)),
      message_(tableFont(FontKind::MessageFont, dpi)) {}

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

int WindowFonts::lineHeight(FontKind kind) const {
    TEXTMETRICW metrics{};
    HDC screen = GetDC(nullptr);
    if (screen) {
        HGDIOBJ before = SelectObject(screen, (*this)[kind]);
        GetTextMetricsW(screen, &metrics);
        SelectObject(screen, before);
        ReleaseDC(nullptr, screen);
    }
    return metrics.tmHeight > 0 ? int(metrics.tmHeight) : scaled(16, dpi_);
}

}  // namespace tolvane::win32
