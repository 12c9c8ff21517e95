// Sizes at the monitor's DPI.
#include "dpi.h"

namespace tolvane::win32 {

namespace {

template <typename Function>
Function* find(const wchar_t* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    if (!loaded) loaded = LoadLibraryW(module);
    // A function pointer through FARPROC: the only way GetProcAddress gives one.
    return loaded ? reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(loaded, name))) : nullptr;
}

UINT systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : kBaseDpi;
}

}  // namespace

UINT dpiOf(HWND window) {
    // Windows 10 1607 and later.
    static auto* const forWindow = find<UINT WINAPI(HWND)>(L"user32.dll", "GetDpiForWindow");
    if (forWindow && window) {
        if (const UINT dpi = forWindow(window)) return dpi;
    }
    // Windows 8.1: MDT_EFFECTIVE_DPI of the window's monitor.
    static auto* const forMonitor =
        find<HRESULT WINAPI(HMONITOR, int, UINT*, UINT*)>(L"shcore.dll", "GetDpiForMonitor");
    if (forMonitor && window) {
        UINT x = 0, y = 0;
        if (SUCCEEDED(forMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), 0, &x, &y)) && y) return y;
    }
    return systemDpi();
}

int scaled(int pixels, UINT dpi) { return MulDiv(pixels, int(dpi), int(kBaseDpi)); }

SIZE outerSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    RECT rect{0, 0, client.cx, client.cy};
    static auto* const forDpi =
        find<BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT)>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (!forDpi || !forDpi(&rect, style, FALSE, exStyle, dpi)) AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

LOGFONTW messageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    static auto* const forDpi =
        find<BOOL WINAPI(UINT, UINT, void*, UINT, UINT)>(L"user32.dll", "SystemParametersInfoForDpi");
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) return metrics.lfMessageFont;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        LOGFONTW fallback{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
        metrics.lfMessageFont = fallback;
    }
    // Given at the system's DPI.
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, int(dpi), int(systemDpi()));
    return metrics.lfMessageFont;
}

}  // namespace tolvane::win32
