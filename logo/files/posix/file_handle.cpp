// A file open for one command, on POSIX systems: reads, writes, flushes and locks
// through its handle.
#include "posix_parts.h"
#include "system_calls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tolvane {

using files::fail;
using files::systemCalls;

File adoptHandle(std::intptr_t handle, std::filesystem::path path) { return File(handle, std::move(path)); }

std::intptr_t nativeHandle(const File& file) { return file.handle_; }

namespace {

// Opens without blocking (a FIFO would wait for a writer) and keeps only regular files.
int openRegular(const std::filesystem::path& path, bool forUpdate, const char* purpose) {
    std::intptr_t handle = -1;
    if (const std::error_code error = systemCalls().open(path, forUpdate, handle))
        fail("Cannot open", path, error, purpose);
    const int fd = static_cast<int>(handle);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        if (info.st_mode == 0) fail("Cannot open", path, error, purpose);
        files::notRegular("Cannot open", path, info.st_mode, purpose);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        fail("Cannot open", path, error, purpose);
    }
    return fd;
}

// Locks of the open file description: they do not belong to the process, so
// two handles in one program exclude each other as two programs do. And
// flock(2)'s, which other programs (flock(1) among them) take instead. False
// when another handle holds one against it after `wait`.
bool lockFile(int fd, const std::filesystem::path& path, bool exclusive, std::chrono::milliseconds wait) {
    struct flock lock {};
    lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    const int command = F_OFD_SETLK;
#else
    const int command = F_SETLK;
#endif
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const bool record = ::fcntl(fd, command, &lock) == 0;
        if (!record && errno != EACCES && errno != EAGAIN && errno != EINTR) fail("Cannot lock", path, errno);
        if (record) {
            const int error = systemCalls().flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB).value();
            // A file system without flock(2) leaves the record lock alone to tell.
            if (error == 0 || error == EOPNOTSUPP || error == ENOSYS || error == ENOLCK) return true;
            if (error != EWOULDBLOCK && error != EINTR) fail("Cannot lock", path, error);
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

File File::openForReading(const std::filesystem::path& path) {
    return File(openRegular(path, false, " for reading"), path);
}

File File::openForUpdate(const std::filesystem::path& path) {
    return File(openRegular(path, true, " for writing"), path);
}

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) { other.handle_ = -1; }

File::~File() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::uint64_t File::size() const {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0) fail("Cannot read the size of", path_, errno);
    return static_cast<std::uint64_t>(info.st_size);
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
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0) fail("Cannot read the identity of", path_, errno);
    return static_cast<std::uint64_t>(info.st_dev) * 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(info.st_ino);
}

bool File::lockForWriting(std::chrono::milliseconds wait) {
    return lockFile(static_cast<int>(handle_), path_, true, wait);
}

bool File::lockForReading(std::chrono::milliseconds wait) {
    return lockFile(static_cast<int>(handle_), path_, false, wait);
}

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
    if (handle < 0) return;
    if (const std::error_code error = systemCalls().close(handle)) fail("Cannot close", path_, error);
}

}  // namespace tolvane
