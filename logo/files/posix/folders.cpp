// Names and folders on POSIX systems: a folder's names, renames and removals,
// new folders, the room for a new file, and where files are.
#include "posix_parts.h"
#include "system_calls.h"

#include <cerrno>
#include <vector>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tolvane {

using files::fail;
using files::systemCalls;

void forEachName(const std::filesystem::path& folder, const std::function<void(std::string_view)>& each) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir && errno == ENOENT) return;
    if (!dir) fail("Cannot read the folder", folder, errno);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) each(entry->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error) fail("Cannot read the folder", folder, error);
}

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (const std::error_code error = systemCalls().rename(from, to)) fail("Cannot rename", from, error);
}

bool removeFile(const std::filesystem::path& path) {
    const std::error_code error = systemCalls().unlink(path);
    if (!error) return true;
    if (error.value() == ENOENT) return false;
    fail("Cannot remove", path, error);
}

void makeFolders(const std::filesystem::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
    std::vector<std::filesystem::path> missing;
    for (std::filesystem::path f = folder; !f.empty() && f != f.parent_path() && ::stat(f.c_str(), &info) != 0;
         f = f.parent_path())
        missing.push_back(f);
    if (const std::error_code error = systemCalls().makeFolders(folder))
        fail("Cannot create the folder", folder, error.value());
    // Each new folder's name reaches the disk with its parent's entries, so that a
    // file kept in it survives a crash of the system.
    for (const std::filesystem::path& made : missing) {
        const std::filesystem::path parent = files::folderOf(made);
        if (const std::error_code error = systemCalls().flushFolder(parent))
            fail("Cannot flush to disk the folder", parent, error.value());
    }
}

void checkRoomFor(const std::filesystem::path& folder, std::uint64_t bytes) {
    // The folder the new file's name goes into, or the one the missing folders would be made in.
    std::filesystem::path existing = folder.empty() ? std::filesystem::path(".") : folder;
    struct stat info {};
    while (::stat(existing.c_str(), &info) != 0) {
        const int error = errno;
        if (error != ENOENT || existing == "." || existing == existing.parent_path())
            fail("Cannot create a file in", folder, error);
        existing = files::folderOf(existing);
    }
    if (!S_ISDIR(info.st_mode)) fail("Cannot create a file in", folder, ENOTDIR);
    if (::access(existing.c_str(), W_OK | X_OK) != 0) fail("Cannot create a file in", folder, errno);
    struct statvfs disk {};
    if (::statvfs(existing.c_str(), &disk) == 0 && std::uint64_t{disk.f_bavail} * disk.f_frsize < bytes)
        fail("Cannot create a file in", folder, ENOSPC);
}

std::filesystem::path programFolder() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

std::filesystem::path canonicalPath(const std::filesystem::path& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) fail("Cannot find", path, errno);
    return resolved;
}

}  // namespace tolvane
