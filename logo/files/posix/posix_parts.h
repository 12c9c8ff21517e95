// What the rooms of the POSIX file layer share: failures worded alike, and the
// temporary files a whole file is written to before it takes its name.
#pragma once

#include "logo/base/failure.h"
#include "logo/files/file_io.h"

#include <string>
#include <sys/stat.h>
#include <system_error>

namespace tolvane {

// A File for a handle the layer opened itself (file_handle.cpp), and the handle
// of a File.
File adoptHandle(std::intptr_t handle, std::filesystem::path path);
std::intptr_t nativeHandle(const File& file);

}  // namespace tolvane

namespace tolvane::files {

[[noreturn]] inline void fail(const std::string& what, const std::filesystem::path& path, std::error_code error,
                              const std::string& purpose = "") {
    throw Failure(what, path, error, purpose);
}
[[noreturn]] inline void fail(const std::string& what, const std::filesystem::path& path, int error,
                              const std::string& purpose = "") {
    fail(what, path, std::error_code(error, std::generic_category()), purpose);
}

// A folder, a FIFO or a device where a regular file is needed.
[[noreturn]] inline void notRegular(const std::string& what, const std::filesystem::path& path, mode_t mode,
                                    const std::string& purpose = "") {
    if (S_ISDIR(mode)) fail(what, path, EISDIR, purpose);
    throw Failure(what + " " + quoted(path) + purpose + ": it is not a regular file", Problem::NotSupported);
}

// The folder a file's name is in ("." for a bare name).
inline std::filesystem::path folderOf(const std::filesystem::path& path) {
    return path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
}

// A new name for a temporary file in the folder, as this program names them.
std::filesystem::path temporaryName(const std::filesystem::path& folder);
// Removes the temporary files of programs that died before they could rename
// or remove them.
void removeDeadTemporaries(const std::filesystem::path& folder);

}  // namespace tolvane::files
