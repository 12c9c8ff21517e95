// The file layer's way to the system for the calls whose failure, or a kill
// just before them, the program must survive: opening a file to write it,
// reading, writing, flushing, reserving, locking and closing, and each new
// name, rename, removal and new folder. Each entry gives the system's error
// (none when it succeeded). The program runs the system's own calls; the tests
// link in a library that puts wrappers in their place, which fail a call or
// stop the program before a change, as a failing disk or a kill would
// (tests/support/file_faults.cpp): the test wraps the real one, and nothing of
// it ships.
#pragma once

#include "logo/files/file_io.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

namespace tolvane::files {

using Handle = std::intptr_t;

struct SystemCalls {
    // Opens an existing file for reading, or for writing in place (never made,
    // never truncated); `handle` gets the file.
    std::error_code (*open)(const std::filesystem::path& path, bool forUpdate, Handle& handle);
    // Reads up to out.size() bytes at offset; `got` gets how many there were
    // (fewer at the file's end).
    std::error_code (*read)(Handle file, std::uint64_t offset, std::span<Byte> out, std::size_t& got);
    // Writes all the pieces, one after another from offset.
    std::error_code (*write)(Handle file, std::uint64_t offset, FilePieces pieces);
    std::error_code (*flush)(Handle file);
    // Allocates the disk blocks under the first `length` bytes where the file
    // system can; no error where it cannot.
    std::error_code (*reserve)(Handle file, std::uint64_t length);
    // Cuts the file to `length` bytes.
    std::error_code (*truncate)(Handle file, std::uint64_t length);
    std::error_code (*close)(Handle file);
    // Makes the folder and those above it that are missing.
    std::error_code (*makeFolders)(const std::filesystem::path& folder);
#ifdef _WIN32
    // MoveFileExW with these flags.
    std::error_code (*move)(const std::filesystem::path& from, const std::filesystem::path& to, unsigned long flags);
    std::error_code (*remove)(const std::filesystem::path& path);
#else
    // Flushes a folder's entries (a new name, a rename) to the disk: no error
    // where the folder cannot be opened to be flushed (it may not be read) or
    // its file system cannot flush a folder.
    std::error_code (*flushFolder)(const std::filesystem::path& folder);
    // flock(2) of the open file.
    std::error_code (*flock)(Handle file, int operation);
    // fchmod(2) and fchown(2).
    std::error_code (*setPermissions)(Handle file, unsigned mode);
    std::error_code (*setOwner)(Handle file, unsigned owner, unsigned group);
    // A new file without a name in the folder (O_TMPFILE); an error where the
    // system cannot make one.
    std::error_code (*openNameless)(const std::filesystem::path& folder, Handle& handle);
    // linkat(2), following a link at `from` (a nameless file's /proc/self/fd/N).
    std::error_code (*link)(const std::filesystem::path& from, const std::filesystem::path& to);
    std::error_code (*rename)(const std::filesystem::path& from, const std::filesystem::path& to);
    std::error_code (*unlink)(const std::filesystem::path& path);
#endif
};

// The calls the file layer makes: the system's own, unless a test put others in
// their place.
SystemCalls& systemCalls();

}  // namespace tolvane::files
