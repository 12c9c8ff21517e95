// Describes, as JSON, every top-level window whose caption is the one given:
// its client area on the screen, its DPI, the control with the focus, the tab
// order, and each control's class, text, place, state, font and (a combo box's)
// items. The window test runs it under Wine beside the editor to read what X
// cannot show.
// Usage: window_probe CAPTION (the JSON goes to the standard output handle), or
// window_probe --clipboard for the clipboard's text.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string json(const std::wstring& text) {
    std::string out = "\"";
    for (char c : utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The text Windows keeps for the window, read without sending it a message: a
// busy window cannot hold the probe up.
std::wstring textOf(HWND window) {
    std::wstring text(4096, L'\0');
    text.resize(std::size_t(InternalGetWindowText(window, text.data(), int(text.size()))));
    return text;
}

LRESULT ask(HWND window, UINT message) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
    return LRESULT(answer);
}

std::wstring classOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// The items of a combo box (a file dialog's list of filters), in their order; none for another control.
std::string itemsOf(HWND control) {
    std::string items = "[";
    if (classOf(control) == L"ComboBox") {
        const auto count = ask(control, CB_GETCOUNT);
        for (LRESULT k = 0; k < count; ++k) {
            DWORD_PTR length = 0;
            SendMessageTimeoutW(control, CB_GETLBTEXTLEN, WPARAM(k), 0, SMTO_ABORTIFHUNG, 2000, &length);
            std::wstring text(std::size_t(length) + 1, L'\0');
            DWORD_PTR copied = 0;
            SendMessageTimeoutW(control, CB_GETLBTEXT, WPARAM(k), LPARAM(text.data()), SMTO_ABORTIFHUNG, 2000, &copied);
            text.resize(std::size_t(copied) <= length ? std::size_t(copied) : 0);
            items += (k ? ", " : "") + json(text);
        }
    }
    return items + "]";
}

std::string fontOf(HWND control) {
    const auto font = reinterpret_cast<HFONT>(ask(control, WM_GETFONT));
    LOGFONTW face{};
    if (!font || !GetObjectW(font, sizeof face, &face)) return "null";
    return "{\"face\": " + json(face.lfFaceName) + ", \"height\": " + std::to_string(face.lfHeight) +
           ", \"weight\": " + std::to_string(face.lfWeight) + ", \"charset\": " + std::to_string(face.lfCharSet) +
           ", \"italic\": " + std::to_string(face.lfItalic) + ", \"underline\": " + std::to_string(face.lfUnderline) +
           ", \"strikeout\": " + std::to_string(face.lfStrikeOut) + "}";
}

void describe(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
    std::printf("{\"class\": %s, \"client\": [%ld, %ld, %ld, %ld], \"focus\": %d, \"controls\": [",
                json(classOf(window)).c_str(), origin.x, origin.y, client.right, client.bottom,
                thread.hwndFocus ? GetDlgCtrlID(thread.hwndFocus) : 0);
    const char* separator = "";
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT at;
        GetWindowRect(child, &at);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        std::printf(
            "%s\n  {\"id\": %d, \"class\": %s, \"text\": %s, \"rect\": [%ld, %ld, %ld, %ld], \"enabled\": %s, "
            "\"visible\": %s, \"tabstop\": %s, \"checked\": %s, \"style\": %ld, \"font\": %s, \"items\": %s}",
            separator, GetDlgCtrlID(child), json(classOf(child)).c_str(), json(textOf(child)).c_str(), at.left, at.top,
            at.right - at.left, at.bottom - at.top, IsWindowEnabled(child) ? "true" : "false",
            IsWindowVisible(child) ? "true" : "false", (style & WS_TABSTOP) ? "true" : "false",
            ask(child, BM_GETCHECK) == BST_CHECKED ? "true" : "false", style, fontOf(child).c_str(),
            itemsOf(child).c_str());
        separator = ",";
    }
    // Tab order as IsDialogMessage follows it, from the first tab stop round to it again.
    std::printf("], \"tab_order\": [");
    HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
    separator = "";
    for (HWND item = first; item;) {
        std::printf("%s%d", separator, GetDlgCtrlID(item));
        separator = ", ";
        item = GetNextDlgTabItem(window, item, FALSE);
        if (item == first) break;
    }
    std::printf("]}");
}

struct Search {
    std::wstring caption;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (IsWindowVisible(window) && textOf(window) == search->caption) search->found.push_back(window);
    return TRUE;
}

// The clipboard's text as JSON, null when it holds none.
void printClipboard() {
    std::string text = "null";
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* held = static_cast<const wchar_t*>(GlobalLock(data))) {
                text = json(held);
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
    }
    std::printf("%s\n", text.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wstring(argv[1]) == L"--clipboard") {
        printClipboard();
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_probe CAPTION | --clipboard\n");
        return 2;
    }
    SetProcessDPIAware();  // rectangles in the screen's own pixels
    Search search{argv[1], {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    std::printf("[");
    for (std::size_t k = 0; k < search.found.size(); ++k) {
        if (k) std::printf(",\n");
        describe(search.found[k]);
    }
    std::printf("]\n");
    return 0;
}
