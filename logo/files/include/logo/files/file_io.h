// The thin layer between the byte formats and the operating system. Every call
// is checked, and a failure names the operation, the file and the system's reason.
// Its calls of the system go through one table (system_calls.h), which the tests
// fill with their own to fail a step or stop the program before it.
#pragma once

#include "logo/base/bytes.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Flushed files are on the disk when replaceFile returns; Cached ones may follow a
// moment later (a crash before then can leave the old file, or a short new one).
enum Durability { Flushed, Cached };

// A file's bytes in pieces, which follow one another in the file.
using FilePieces = std::span<const std::span<const Byte>>;

class File {
public:
    // Only regular files open: a folder, a FIFO or a device is refused at once
    // (opening never blocks).
    static File openForReading(const std::filesystem::path& path);
    // An existing file, for reading and writing in place: never created, never truncated.
    static File openForUpdate(const std::filesystem::path& path);

    File(File&& other) noexcept;
    File& operator=(File&&) = delete;
    File(const File&) = delete;
    ~File();  // closes without a check; call close() where the outcome matters

    std::uint64_t size() const;
    // Reads up to out.size() bytes at offset; gives how many there were (fewer at the end).
    std::size_t readAt(std::uint64_t offset, std::span<Byte> out);
    void writeAt(std::uint64_t offset, std::span<const Byte> bytes);
    // The pieces one after another from offset, in one call of the system where it can.
    void writeAt(std::uint64_t offset, FilePieces pieces);
    void flushToDisk();
    // A number for the file itself (its device and inode; its volume and file
    // index): the same through every name and link of the file, another for a copy.
    std::uint64_t identity() const;
    // An exclusive writer's lock for this handle, held until it closes; gives false
    // when another handle (of any program) still holds a writer's or a reader's
    // lock after `wait`. Readers that take no lock are not held up by it.
    bool lockForWriting(std::chrono::milliseconds wait);
    // A shared reader's lock, as other readers take: held beside other readers'
    // locks, against writers'; gives false when a writer still holds its lock
    // after `wait`. The file need only be open for reading.
    bool lockForReading(std::chrono::milliseconds wait);
    // Allocates the disk blocks under the first `length` bytes where the file
    // system can, without changing the file's length, so that a sparse image on a
    // full disk fails here rather than part way through a write (copy-on-write file
    // systems may still run out later). Fails only when the space is not there.
    void reserve(std::uint64_t length);
    // Cuts the file to `length` bytes (a grown CHD, back to its length before a patch).
    void truncate(std::uint64_t length);
    void close();

private:
    // For the functions that make files (replaceFile, createFile): a handle they
    // opened, and the handle of a file.
    friend File adoptHandle(std::intptr_t handle, std::filesystem::path path);
    friend std::intptr_t nativeHandle(const File& file);
    File(std::intptr_t handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}

    std::intptr_t handle_;
    std::filesystem::path path_;
};

// The whole file, refused when it is longer than maxSize (bitmaps, templates: small files).
std::vector<Byte> readSmallFile(const std::filesystem::path& path, std::size_t maxSize);

// Replaces the file at target by exactly these bytes, so that a failure leaves an
// existing target as it was: written to a new file in the same folder, flushed,
// then put in place. A symbolic link is written through to the file it names,
// and stays a link. Anything but a regular file or a new name is refused, and so
// is an existing file the user may not write. A Flushed file whose folder cannot
// be flushed after it took its name fails with a FailureAfterWrite that says the
// file holds its new contents.
void replaceFile(const std::filesystem::path& target, FilePieces pieces, Durability durability = Flushed);
inline void replaceFile(const std::filesystem::path& target, std::span<const Byte> bytes,
                        Durability durability = Flushed) {
    const std::span<const Byte> whole[] = {bytes};
    replaceFile(target, FilePieces(whole), durability);
}

// Makes a new file of exactly these bytes under a name that nothing has yet;
// fails when something has. The file gets its name only once complete, so that
// nothing is left under it when writing fails or the program dies on the way.
void createFile(const std::filesystem::path& path, FilePieces pieces, Durability durability = Flushed);

// The names in a folder, "." and ".." left out; none when the folder does not exist.
std::vector<std::filesystem::path> namesIn(const std::filesystem::path& folder);
// The same, each given to `each` as the system spells it, without a path made
// of it (a folder of hundreds of files is read at every patch).
void forEachName(const std::filesystem::path& folder, const std::function<void(std::string_view)>& each);

// Gives the file `from` the name `to` (in the same folder), replacing a file of that name.
void renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes the file; false when there was none of that name.
bool removeFile(const std::filesystem::path& path);
// Makes the folder, and any folders above it that are missing; on POSIX systems
// their names are flushed to the disk with their parents' entries.
void makeFolders(const std::filesystem::path& folder);
// Fails, with the reason, unless a new file of `bytes` bytes could be made in the
// folder now: the folder (or, where it is missing, the nearest folder above it,
// in which it would be made) may be written and its disk has the room. Makes
// and changes nothing.
void checkRoomFor(const std::filesystem::path& folder, std::uint64_t bytes);

// Whether both paths name one file (device and inode, or volume and file ID):
// through links, other spellings or hard links alike. False when either is missing.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The folder of the running program's file; empty when the system does not say.
std::filesystem::path programFolder();

// The existing file's absolute path with links resolved, spelt as the system
// spells it (on Windows, in the case the folder holds), so that two names of one
// file give the same text.
std::filesystem::path canonicalPath(const std::filesystem::path& path);

}  // namespace tolvane
