// Whole files on Windows: a file replaced by new bytes, or made under a new name,
// so that the name only ever holds a complete file.
#include "system_calls.h"
#include "windows_parts.h"

#include <string>

namespace tolvane {

using files::fail;
using files::failWith;
using files::systemCalls;

namespace {

// Writes the pieces to a new file in the folder under a temporary name this
// program gives, and gives its path, for a move into place. Nothing is left when
// that fails.
std::filesystem::path writeTemporary(const std::filesystem::path& folder, const std::filesystem::path& chosen,
                                     FilePieces pieces, Durability durability) {
    std::filesystem::path temp;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
        temp = files::temporaryName(folder);
        handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (handle == INVALID_HANDLE_VALUE && (error != ERROR_FILE_EXISTS || attempt > 100))
            fail("Cannot write", chosen, error, " (a new file in its folder)");
    }
    File file = adoptHandle(reinterpret_cast<std::intptr_t>(handle), chosen);  // messages name the chosen file
    try {
        file.writeAt(0, pieces);
        if (durability == Flushed) file.flushToDisk();
        file.close();
    } catch (...) {
        try {
            file.close();  // so that it can be removed
        } catch (const Failure&) {
        }
        DeleteFileW(temp.c_str());
        throw;
    }
    return temp;
}

}  // namespace

void replaceFile(const std::filesystem::path& chosen, FilePieces pieces, Durability durability) {
    // A symbolic link is written through: the file it names is replaced, the link stays.
    std::filesystem::path target = chosen;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(target, error)) break;
        const auto next = std::filesystem::read_symlink(target, error);
        if (error) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    if (files::isFolder(target)) failWith("Cannot write", chosen, EISDIR);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(target, ignored))
            throw Failure("Cannot write " + quoted(chosen) + ": it is not a regular file", Problem::NotSupported);
        if (attributes & FILE_ATTRIBUTE_READONLY) fail("Cannot write", chosen, DWORD{ERROR_ACCESS_DENIED});
    }

    const auto folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    files::removeDeadTemporaries(folder);
    const auto temp = writeTemporary(folder, chosen, pieces, durability);
    try {
        // The new file keeps what the old one was marked as (hidden, not indexed...).
        constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept))
            SetFileAttributesW(temp.c_str(), (attributes & kKept) | FILE_ATTRIBUTE_ARCHIVE);
        if (const std::error_code error = systemCalls().move(
                temp, target, MOVEFILE_REPLACE_EXISTING | (durability == Flushed ? MOVEFILE_WRITE_THROUGH : 0)))
            fail("Cannot replace", chosen, error);
    } catch (...) {
        DeleteFileW(temp.c_str());
        throw;
    }
}

void createFile(const std::filesystem::path& path, FilePieces pieces, Durability durability) {
    const auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    files::removeDeadTemporaries(folder);
    const auto temp = writeTemporary(folder, path, pieces, durability);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (const std::error_code error =
            systemCalls().move(temp, path, durability == Flushed ? MOVEFILE_WRITE_THROUGH : 0)) {
        DeleteFileW(temp.c_str());
        fail("Cannot write", path, error);
    }
}

}  // namespace tolvane
