// Temporary files on Windows: the names this program gives them, and the
// clean-up of those a killed program left behind.
#include "windows_parts.h"

#include <atomic>
#include <cwchar>
#include <string>

namespace tolvane::files {

namespace {

constexpr const wchar_t* kTempPrefix = L".tolvane-export-";
constexpr const wchar_t* kTempSuffix = L".tmp";

}  // namespace

std::filesystem::path temporaryName(const std::filesystem::path& folder) {
    static std::atomic<unsigned> counter{0};
    return folder /
           (kTempPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + kTempSuffix);
}

// Temporary files of exports whose process has died before it could rename or
// remove them.
void removeDeadTemporaries(const std::filesystem::path& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder / (std::wstring(kTempPrefix) + L"*" + kTempSuffix)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        wchar_t* end = nullptr;
        const DWORD pid = wcstoul(found.cFileName + wcslen(kTempPrefix), &end, 10);
        if (pid == 0 || !end || *end != L'-') continue;  // not a name this program gives
        // Only this machine's processes can be asked, and the folder may be shared:
        // a file that young may be a live export elsewhere.
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        const auto ticks = [](FILETIME t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
        if (ticks(now) - ticks(found.ftLastWriteTime) < 10ull * 60 * 10'000'000) continue;  // 100 ns ticks
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (process) {
            CloseHandle(process);
        } else if (GetLastError() == ERROR_INVALID_PARAMETER) {  // no such process
            DeleteFileW((folder / found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace tolvane::files
