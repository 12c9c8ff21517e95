// A file open for one command, on Windows: reads, writes, flushes and locks
// through its handle. Wide-character paths, so names in any language open.
#include "system_calls.h"
#include "windows_parts.h"

namespace tolvane {

using files::fail;
using files::failWith;
using files::systemCalls;

File adoptHandle(std::intptr_t handle, std::filesystem::path path) { return File(handle, std::move(path)); }

std::intptr_t nativeHandle(const File& file) { return file.handle_; }

namespace {

HANDLE handleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// Only files on a disk: a folder, a pipe or a device (NUL, COM1) is refused.
std::intptr_t openHandle(const std::filesystem::path& path, bool forUpdate, const char* purpose) {
    if (files::isFolder(path)) failWith("Cannot open", path, EISDIR, purpose);
    std::intptr_t handle = -1;
    if (const std::error_code error = systemCalls().open(path, forUpdate, handle))
        fail("Cannot open", path, error, purpose);
    if (GetFileType(handleOf(handle)) != FILE_TYPE_DISK) {
        CloseHandle(handleOf(handle));
        throw Failure("Cannot open " + quoted(path) + purpose + ": it is not a regular file", Problem::NotSupported);
    }
    return handle;
}

// Windows locks are mandatory: a lock on the image's bytes would stop every
// reader that takes none. Writers lock one byte far past any image's end
// instead, exclusively, and locking readers share it: that excludes writers
// from each other and from those readers, and no one else.
bool lockFarByte(HANDLE handle, const std::filesystem::path& path, bool exclusive, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED farByte{};
        farByte.OffsetHigh = 0x7FFFFFFF;
        if (LockFileEx(handle, (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &farByte))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) fail("Cannot lock", path, error);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(20);
    }
}

}  // namespace

File File::openForReading(const std::filesystem::path& path) {
    return File(openHandle(path, false, " for reading"), path);
}

File File::openForUpdate(const std::filesystem::path& path) {
    return File(openHandle(path, true, " for writing"), path);
}

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) { other.handle_ = -1; }

File::~File() {
    if (handle_ != -1) CloseHandle(handleOf(handle_));
}

std::uint64_t File::size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(handle_), &size)) fail("Cannot read the size of", path_, GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t File::readAt(std::uint64_t offset, std::span<Byte> out) {
    std::size_t got = 0;
    if (const std::error_code error = systemCalls().read(handle_, offset, out, got)) fail("Cannot read", path_, error);
    return got;
}

void File::writeAt(std::uint64_t offset, std::span<const Byte> bytes) {
    const std::span<const Byte> whole[] = {bytes};
    writeAt(offset, FilePieces(whole));
}

void File::writeAt(std::uint64_t offset, FilePieces pieces) {
    if (const std::error_code error = systemCalls().write(handle_, offset, pieces)) fail("Cannot write", path_, error);
}

void File::flushToDisk() {
    if (const std::error_code error = systemCalls().flush(handle_)) fail("Cannot flush to disk", path_, error);
}

std::uint64_t File::identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handleOf(handle_), &info))
        fail("Cannot read the identity of", path_, GetLastError());
    const std::uint64_t index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return std::uint64_t{info.dwVolumeSerialNumber} * 0x9E3779B97F4A7C15u ^ index;
}

bool File::lockForWriting(std::chrono::milliseconds wait) { return lockFarByte(handleOf(handle_), path_, true, wait); }

bool File::lockForReading(std::chrono::milliseconds wait) { return lockFarByte(handleOf(handle_), path_, false, wait); }

void File::reserve(std::uint64_t length) {
    if (const std::error_code error = systemCalls().reserve(handle_, length))
        fail("Cannot reserve disk space for", path_, error);
}

void File::truncate(std::uint64_t length) {
    if (const std::error_code error = systemCalls().truncate(handle_, length)) fail("Cannot cut short", path_, error);
}

void File::close() {
    const std::intptr_t handle = handle_;
    handle_ = -1;
    if (handleOf(handle) == INVALID_HANDLE_VALUE) return;
    if (const std::error_code error = systemCalls().close(handle)) fail("Cannot close", path_, error);
}

}  // namespace tolvane
