// The system's own calls on POSIX systems.
#include "system_calls.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace tolvane::files {

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }
std::error_code errorOf(int result) { return result == 0 ? std::error_code() : lastError(); }
int fdOf(Handle file) { return static_cast<int>(file); }

// Without blocking: a FIFO would wait for a writer.
std::error_code openFile(const std::filesystem::path& path, bool forUpdate, Handle& handle) {
    const int fd = ::open(path.c_str(), (forUpdate ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return lastError();
    handle = fd;
    return {};
}

std::error_code readFile(Handle file, std::uint64_t offset, std::span<Byte> out, std::size_t& got) {
    got = 0;
    while (got < out.size()) {
        const ssize_t n = ::pread(fdOf(file), out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return lastError();
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return {};
}

// In one call of the system where it can.
std::error_code writeFile(Handle file, std::uint64_t offset, FilePieces pieces) {
    std::vector<iovec> left;
    for (const auto piece : pieces) left.push_back({const_cast<Byte*>(piece.data()), piece.size()});
    std::size_t done = 0, first = 0;
    while (first < left.size()) {
        if (left[first].iov_len == 0) {
            ++first;
            continue;
        }
        const ssize_t n = ::pwritev(fdOf(file), left.data() + first, static_cast<int>(left.size() - first),
                                    static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return lastError();
        if (n == 0) return {EIO, std::generic_category()};
        done += static_cast<std::size_t>(n);
        for (std::size_t written = static_cast<std::size_t>(n); written > 0 && first < left.size();) {
            const std::size_t taken = std::min(written, left[first].iov_len);
            left[first].iov_base = static_cast<Byte*>(left[first].iov_base) + taken;
            left[first].iov_len -= taken;
            written -= taken;
            if (left[first].iov_len == 0) ++first;
        }
    }
    return {};
}

std::error_code flushFile(Handle file) { return errorOf(::fsync(fdOf(file))); }

std::error_code truncateFile(Handle file, std::uint64_t length) {
    return errorOf(::ftruncate(fdOf(file), static_cast<off_t>(length)));
}

std::error_code reserveFile(Handle file, std::uint64_t length) {
#ifdef __linux__
    const int error = ::fallocate(fdOf(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0 ? 0 : errno;
    if (error == EOPNOTSUPP || error == ENOSYS || error == EINVAL) return {};  // the file system cannot: write as is
    return {error, std::generic_category()};
#else
    (void)file, (void)length;
    return {};
#endif
}

std::error_code closeFile(Handle file) { return errorOf(::close(fdOf(file))); }

std::error_code makeFolders(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return error;
}

// A folder this user may not read cannot be opened to be flushed, and some file
// systems cannot flush a folder (EINVAL): the entry is then as safe as the
// system makes it, which is no failure of the write.
std::error_code flushFolder(const std::filesystem::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return errno == EACCES ? std::error_code() : lastError();
    const int error = ::fsync(dir) != 0 && errno != EINVAL ? errno : 0;
    ::close(dir);
    return {error, std::generic_category()};
}

std::error_code lockFile(Handle file, int operation) { return errorOf(::flock(fdOf(file), operation)); }

std::error_code setPermissions(Handle file, unsigned mode) {
    return errorOf(::fchmod(fdOf(file), static_cast<mode_t>(mode)));
}

std::error_code setOwner(Handle file, unsigned owner, unsigned group) {
    return errorOf(::fchown(fdOf(file), static_cast<uid_t>(owner), static_cast<gid_t>(group)));
}

std::error_code openNameless(const std::filesystem::path& folder, Handle& handle) {
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return lastError();
    handle = fd;
    return {};
#else
    (void)folder, (void)handle;
    return {EOPNOTSUPP, std::generic_category()};
#endif
}

std::error_code linkFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return errorOf(::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW));
}

std::error_code renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return errorOf(::rename(from.c_str(), to.c_str()));
}

std::error_code unlinkFile(const std::filesystem::path& path) { return errorOf(::unlink(path.c_str())); }

constinit SystemCalls calls{
    .open = openFile,
    .read = readFile,
    .write = writeFile,
    .flush = flushFile,
    .reserve = reserveFile,
    .truncate = truncateFile,
    .close = closeFile,
    .makeFolders = makeFolders,
    .flushFolder = flushFolder,
    .flock = lockFile,
    .setPermissions = setPermissions,
    .setOwner = setOwner,
    .openNameless = openNameless,
    .link = linkFile,
    .rename = renameFile,
    .unlink = unlinkFile,
};

}  // namespace

SystemCalls& systemCalls() { return calls; }

}  // namespace tolvane::files
