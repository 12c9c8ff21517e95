// Names and folders on Windows: a folder's names, renames and removals, new
// folders, the room for a new file, and where files are.
#include "system_calls.h"
#include "windows_parts.h"

#include <string>

namespace tolvane {

using files::fail;
using files::systemCalls;

void forEachName(const std::filesystem::path& folder, const std::function<void(std::string_view)>& each) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder / L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        fail("Cannot read the folder", folder, error);
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") each(pathText(std::filesystem::path(name)));
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) fail("Cannot read the folder", folder, error);
}

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (const std::error_code error = systemCalls().move(from, to, MOVEFILE_REPLACE_EXISTING))
        fail("Cannot rename", from, error);
}

bool removeFile(const std::filesystem::path& path) {
    const std::error_code error = systemCalls().remove(path);
    if (!error) return true;
    if (error == std::error_code(ERROR_FILE_NOT_FOUND, std::system_category())) return false;
    fail("Cannot remove", path, error);
}

void makeFolders(const std::filesystem::path& folder) {
    if (files::isFolder(folder)) return;
    if (const std::error_code error = systemCalls().makeFolders(folder))
        throw Failure("Cannot create the folder", folder, error);
}

void checkRoomFor(const std::filesystem::path& folder, std::uint64_t bytes) {
    std::filesystem::path existing = folder.empty() ? std::filesystem::path(".") : folder;
    while (!files::isFolder(existing)) {
        const DWORD attributes = GetFileAttributesW(existing.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) fail("Cannot create a file in", folder, DWORD{ERROR_DIRECTORY});
        if (existing == existing.parent_path() || existing.parent_path().empty())
            fail("Cannot create a file in", folder, DWORD{ERROR_PATH_NOT_FOUND});
        existing = existing.parent_path();
    }
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(existing.c_str(), &available, nullptr, nullptr) && available.QuadPart < bytes)
        fail("Cannot create a file in", folder, DWORD{ERROR_DISK_FULL});
}

std::filesystem::path programFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

std::filesystem::path canonicalPath(const std::filesystem::path& path) {
    // Backup semantics: a folder opens too; no access asked, so any file does.
    const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) fail("Cannot find", path, GetLastError());
    std::wstring name(MAX_PATH, L'\0');
    DWORD length =
        GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (length >= name.size()) {
        name.resize(length);
        length = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    }
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (length == 0 || length >= name.size()) fail("Cannot find", path, error);
    name.resize(length);
    // The system gives \\?\C:\... or \\?\UNC\server\...: the names people type.
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + name.substr(8);
    if (name.rfind(L"\\\\?\\", 0) == 0) return name.substr(4);
    return name;
}

}  // namespace tolvane
