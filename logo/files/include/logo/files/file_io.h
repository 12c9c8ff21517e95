// The thin layer between the byte formats and the operating system. Every call
// is checked, and a failure names the operation, the file and the system's reason.
#pragma once

#include "logo/base/bytes.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
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
    // An existing file for reading and writing, or a new empty one where there is
    // none (for the small files the program keeps for itself). Counts as a change.
    static File openOrCreate(const std::filesystem::path& path);

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
// Makes the folder, and any folders above it that are missing.
void makeFolders(const std::filesystem::path& folder);
// Fails, with the reason, unless a new file of `bytes` bytes could be made in the
// folder now: the folder (or, where it is missing, the nearest folder above it,
// in which it would be made) may be written and its disk has the room. Makes
// and changes nothing.
void checkRoomFor(const std::filesystem::path& folder, std::uint64_t bytes);

// Whether both paths name one file (device and inode, or volume and file ID):
// through links, other spellings or hard links alike. False when either is missing.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// For tests: the next call of that kind on any file fails with the system error
// `error` (an errno value): after the system's call, so that what follows a real
// failure runs (a write lets `afterBytes` bytes through first). Faults queue up
// and are used in order; error 0 lets its call through, for a fault meant for a
// later call of the same kind.
// Read: one readAt. Open: opening an existing file for writing (openForUpdate),
// as on a read-only mount or for a file the user may not write.
// Lock: the flock(2) part of a lock (POSIX systems).
// FolderFlush: flushing the folder of a file replaceFile put in place (POSIX systems).
// Permissions: giving a file that replaces another its permissions and owner.
// Nameless: the system cannot make a file without a name (O_TMPFILE), as on
// systems other than Linux; files are then made under temporary names.
enum class FileOperation { Write, Flush, Reserve, Close, Read, Open, Lock, FolderFlush, Permissions, Nameless };
void injectFileFault(FileOperation operation, int error, std::size_t afterBytes = 0);
// For tests: the program stops, as if killed, before the change of a file that
// is `step` changes from now (0: the next one). Changes are writes (a stop in one
// lets `afterBytes` of its bytes through first), flushes, new files and folders,
// renames and removals. The stop is a FileStop thrown, which is no
// std::exception: nothing in the program catches it, and only the handles close
// on its way out, as the system closes them.
struct FileStop {};
void injectFileStop(std::size_t step, std::size_t afterBytes = 0);
// The changes counted since the last injectFileStop or clearFileFaults: how many
// steps an operation takes.
std::size_t fileChangesCounted();
// Drops the queued faults and the stop.
void clearFileFaults();

namespace detail {
// The injected fault for this operation, if one is queued: how many bytes still go
// through and the error that follows.
struct InjectedFault {
    std::size_t afterBytes;
    int error;
};
std::optional<InjectedFault> takeFileFault(FileOperation operation);
// Counts a change of a file; throws FileStop when the stop is due.
void countChange();
// How a write of `length` bytes goes when a stop or a fault is due: how many of
// its bytes go through, then whether the program stops or the write fails (with
// an errno value).
struct PlannedWrite {
    std::size_t through;
    bool stop = false;
    int error = 0;
};
PlannedWrite planWrite(std::size_t length);
}  // namespace detail
// The folder of the running program's file; empty when the system does not say.
std::filesystem::path programFolder();

// The existing file's absolute path with links resolved, spelt as the system
// spells it (on Windows, in the case the folder holds), so that two names of one
// file give the same text.
std::filesystem::path canonicalPath(const std::filesystem::path& path);

}  // namespace tolvane
