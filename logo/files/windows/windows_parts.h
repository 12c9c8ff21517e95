// What the rooms of the Windows file layer share: failures worded as on other
// systems, and the temporary files a whole file is written to before it takes
// its name.
#pragma once

#include "logo/base/failure.h"
#include "logo/files/file_io.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace tolvane {

// A File for a handle the layer opened itself (file_handle.cpp), and the handle
// of a File.
File adoptHandle(std::intptr_t handle, std::filesystem::path path);
std::intptr_t nativeHandle(const File& file);

}  // namespace tolvane

namespace tolvane::files {

// The common errors as the C library's codes, so that they read and compare as
// on other systems; the rest as Windows' own.
inline std::error_code systemError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return {ENOENT, std::generic_category()};
        case ERROR_ACCESS_DENIED: return {EACCES, std::generic_category()};
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return {ENOSPC, std::generic_category()};
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return {EEXIST, std::generic_category()};
        default: return {static_cast<int>(error), std::system_category()};
    }
}

[[noreturn]] inline void fail(const std::string& what, const std::filesystem::path& path, DWORD error,
                              const std::string& purpose = "") {
    throw Failure(what, path, systemError(error), purpose);
}
// An error of the system calls (system_calls.h): Windows' own, worded as above,
// or an errno value, as it is.
[[noreturn]] inline void fail(const std::string& what, const std::filesystem::path& path, std::error_code error,
                              const std::string& purpose = "") {
    if (error.category() == std::system_category()) fail(what, path, static_cast<DWORD>(error.value()), purpose);
    throw Failure(what, path, error, purpose);
}
// An errno value.
[[noreturn]] inline void failWith(const std::string& what, const std::filesystem::path& path, int error,
                                  const std::string& purpose = "") {
    fail(what, path, std::error_code(error, std::generic_category()), purpose);
}

inline bool isFolder(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A new name for a temporary file in the folder, as this program names them.
std::filesystem::path temporaryName(const std::filesystem::path& folder);
// Removes the temporary files of programs that died before they could rename
// or remove them.
void removeDeadTemporaries(const std::filesystem::path& folder);

}  // namespace tolvane::files
