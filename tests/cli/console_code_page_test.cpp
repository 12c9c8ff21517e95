// tolvane speaks UTF-8 on the console (code page 65001) while it runs; the
// console belongs to whoever started it, so it must find its code page as it
// was afterwards. Runs tolvane in this program's console, set to code page 850,
// once for each way of ending (done, failed, usage error).
// Needs a console: run it in a terminal (under Wine, through script(1)).
// Usage: console_code_page_test TOLVANE
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "console code page: %s\n", what.c_str());
    ++failures;
}

DWORD runInThisConsole(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process)) {
        std::fprintf(stderr, "console code page: cannot start tolvane: error %lu\n", GetLastError());
        return ~DWORD(0);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: console_code_page_test TOLVANE\n");
        return 2;
    }
    if (GetConsoleOutputCP() == 0) {
        std::fprintf(stderr, "console code page: no console (run this in a terminal)\n");
        return 1;
    }
    const std::wstring tolvane = std::wstring(L"\"") + argv[1] + L"\"";
    const struct {
        const wchar_t* arguments;
        const char* shown;
        DWORD status;
    } runs[] = {{L" --version", "--version", 0},
                {L" export missing-\u00e9.bin out.bmp", "export missing-\u00e9.bin out.bmp", 1},
                {L" export", "export", 2}};
    for (const auto& run : runs) {
        SetConsoleOutputCP(850);
        const DWORD status = runInThisConsole(tolvane + run.arguments);
        check(status == run.status,
              std::string("tolvane ") + run.shown + " gave exit status " + std::to_string(status));
        const UINT page = GetConsoleOutputCP();
        check(page == 850, std::string("after tolvane ") + run.shown + " the console's code page is " +
                               std::to_string(page) + ", not 850");
    }
    if (failures == 0) std::printf("console code page: kept\n");
    return failures == 0 ? 0 : 1;
}
