// This user's data folder, as each system names it.
#include "history/data_folder.h"

#include "logo/base/failure.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#else
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#endif

namespace tolvane {

#ifdef _WIN32

std::filesystem::path userDataFolder() {
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    std::wstring folder(length, L'\0');
    if (length == 0 || GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), length) != length - 1)
        throw Failure("Cannot find this user's data folder: LOCALAPPDATA is not set",
                      std::make_error_code(std::errc::no_such_file_or_directory));
    folder.resize(length - 1);
    return folder;
}

#else

std::filesystem::path userDataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && std::filesystem::path(dataHome).is_absolute()) return dataHome;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home)
        throw Failure("Cannot find this user's data folder: neither XDG_DATA_HOME nor HOME is set",
                      std::make_error_code(std::errc::no_such_file_or_directory));
    return std::filesystem::path(home) / ".local" / "share";
}

#endif

}  // namespace tolvane
