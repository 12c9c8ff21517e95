// The editor's entry on Windows: the window, and an optional image to open
// ("Open with", a file dropped on the program's icon).
#include "main_window.h"
#include "text.h"
#include "tolvane_version.h"

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: tolvane-editor [--console-view] [IMAGE]\n"
    "\n"
    "Shows and replaces the boot logo of a PS2 disc image. IMAGE, when given, is\n"
    "opened at once.\n"
    "\n"
    "  --console-view  show the logo as the console shows it (Console view)\n"
    "  -h, --help      this help\n"
    "  -v, --version   the version\n";

// Text for a person who started the program from a console: to its output when
// there is one (a console, a pipe, a file), else in a message box.
void tell(const std::string& text, bool failure) {
    HANDLE out = GetStdHandle(failure ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        out = GetStdHandle(failure ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE && WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr))
        return;
    MessageBoxW(nullptr, tolvane::win32::wide(text).c_str(), L"tolvane-editor",
                MB_OK | (failure ? MB_ICONERROR : MB_ICONINFORMATION));
}

std::vector<std::wstring> arguments() {
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> words;
    for (int k = 1; list && k < count; ++k) words.emplace_back(list[k]);
    LocalFree(list);
    return words;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    std::vector<std::wstring> images;
    bool consoleView = false;
    for (const std::wstring& word : arguments()) {
        if (word == L"--console-view") {
            consoleView = true;
            continue;
        }
        if (word == L"-v" || word == L"--version") {
            tell("tolvane-editor " TOLVANE_VERSION "\n", false);
            return 0;
        }
        if (word == L"-h" || word == L"--help") {
            tell(kUsage, false);
            return 0;
        }
        if (word.size() > 1 && word[0] == L'-' && word != L"--") {
            tell("tolvane-editor: unknown option \"" + tolvane::win32::narrow(word) + "\"\n\n" + kUsage, true);
            return 2;
        }
        if (word != L"--") images.push_back(word);
    }
    if (images.size() > 1) {
        tell(std::string("tolvane-editor: give one image at most\n\n") + kUsage, true);
        return 2;
    }

    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    try {
        if (!tolvane::win32::MainWindow::registerClass(instance))
            throw std::runtime_error("Cannot register the window class (error " + std::to_string(GetLastError()) + ")");
        tolvane::win32::MainWindow window(instance);
        ShowWindow(window.handle(), show);
        UpdateWindow(window.handle());
        if (consoleView) window.editor().setConsoleView(true);
        if (!images.empty()) window.openImage(std::filesystem::path(images.front()));

        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (window.handleDialogKeys(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return int(message.wParam);
    } catch (const std::exception& failure) {
        tell(std::string(failure.what()) + "\n", true);
        return 1;
    }
}
