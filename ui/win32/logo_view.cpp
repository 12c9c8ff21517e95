// Drawing the logo in the native window.
#include "logo_view.h"

#include "ui/common/window_controls.h"

#include <cstring>
#include <optional>
#include <vector>

namespace tolvane::win32 {

namespace {

// An 8-bit DIB, top row first, with the 256 greys as its palette.
struct GreyDib {
    explicit GreyDib(const GreyPicture& picture)
        : width(int(picture.width())), height(int(picture.height())), stride((width + 3) / 4 * 4) {
        info.resize(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
        header->biSize = sizeof(BITMAPINFOHEADER);
        header->biWidth = width;
        header->biHeight = -height;  // negative: rows top first
        header->biPlanes = 1;
        header->biBitCount = 8;
        header->biCompression = BI_RGB;
        header->biClrUsed = 256;
        auto* palette = reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER));
        for (int grey = 0; grey < 256; ++grey) palette[grey] = {BYTE(grey), BYTE(grey), BYTE(grey), 0};
        // DIB rows are padded to four bytes.
        bits.resize(std::size_t(stride) * std::size_t(height));
        for (int y = 0; y < height; ++y)
            std::memcpy(bits.data() + std::size_t(y) * std::size_t(stride), picture.row(std::size_t(y)).data(),
                        std::size_t(width));
    }

    int width, height, stride;
    std::vector<BYTE> info;
    std::vector<BYTE> bits;
};

struct View {
    std::optional<GreyDib> picture;
};

View* viewOf(HWND window) { return reinterpret_cast<View*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

void paint(HWND window, const View& view) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    if (!view.picture) {
        FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
        EndPaint(window, &paint);
        return;
    }
    const GreyDib& dib = *view.picture;
    const PicturePlace place = placePicture(dib.width, dib.height, int(area.right), int(area.bottom));
    const int scale = place.scale;
    const RECT drawn{place.left, place.top, 0, 0};
    // Around the picture only, so that it does not flicker.
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, drawn.left, drawn.top, drawn.left + dib.width * scale, drawn.top + dib.height * scale);
    FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
    RestoreDC(dc, saved);
    // Whole scales with COLORONCOLOR: each pixel becomes a square block, no smoothing.
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, drawn.left, drawn.top, dib.width * scale, dib.height * scale, 0, 0, dib.width, dib.height,
                  dib.bits.data(), reinterpret_cast<const BITMAPINFO*>(dib.info.data()), DIB_RGB_COLORS, SRCCOPY);
    EndPaint(window, &paint);
}

LRESULT CALLBACK viewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(new View)); break;
        case WM_NCDESTROY:
            delete viewOf(window);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
        case WM_ERASEBKGND: return 1;  // WM_PAINT fills every pixel
        case WM_PAINT:
            if (View* view = viewOf(window)) {
                paint(window, *view);
                return 0;
            }
            break;
        case WM_LBUTTONDOWN: SetFocus(window); return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: SendMessageW(GetParent(window), kViewFocusChanged, message == WM_SETFOCUS, 0); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool registerLogoView(HINSTANCE instance) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = viewProc;
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = kLogoViewClass;
    return RegisterClassExW(&type) != 0;
}

void setViewPicture(HWND view, const GreyPicture& picture) {
    if (View* state = viewOf(view)) {
        state->picture.emplace(picture);
        InvalidateRect(view, nullptr, FALSE);
    }
}

}  // namespace tolvane::win32
