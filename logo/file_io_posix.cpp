// POSIX side of the file layer.
#include "logo/failure.h"
#include "logo/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error) {
    throw Failure(what + " " + quoted(path) + ": " + std::strerror(error));
}

}  // namespace

File File::openForReading(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Failure("Cannot open " + quoted(path) + " for reading: " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw Failure("Cannot open " + quoted(path) + " for reading: " + std::strerror(EISDIR));
    }
    return File(fd, path);
}

File File::openForUpdate(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw Failure("Cannot open " + quoted(path) + " for writing: " + std::strerror(errno));
    return File(fd, path);
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
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(static_cast<int>(handle_), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("Cannot read", path_, errno);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void File::writeAt(std::uint64_t offset, std::span<const Byte> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("Cannot write", path_, errno);
        if (n == 0) fail("Cannot write", path_, EIO);
        done += static_cast<std::size_t>(n);
    }
}

void File::flushToDisk() {
    if (::fsync(static_cast<int>(handle_)) != 0) fail("Cannot flush to disk", path_, errno);
}

void File::close() {
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (fd >= 0 && ::close(fd) != 0) fail("Cannot close", path_, errno);
}

void replaceFile(const std::filesystem::path& target, std::span<const Byte> bytes) {
    static std::atomic<unsigned> counter{0};
    struct stat existing {};
    const bool targetExists = ::stat(target.c_str(), &existing) == 0;
    if (targetExists && S_ISDIR(existing.st_mode)) fail("Cannot write", target, EISDIR);

    const auto folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = folder / ("." + target.filename().string() + ".tolvane-" + std::to_string(::getpid()) + "-" +
                         std::to_string(counter++));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100))
            throw Failure("Cannot write " + quoted(target) +
                          ": cannot create a file in its folder: " + std::strerror(errno));
    }
    File file(fd, target);  // messages name the file the person chose
    try {
        if (targetExists) ::fchmod(fd, existing.st_mode & 07777);
        file.writeAt(0, bytes);
        file.flushToDisk();
        file.close();
        if (::rename(temp.c_str(), target.c_str()) != 0) fail("Cannot replace", target, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    // The rename itself reaches the disk with the folder's entry.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::filesystem::path canonicalPath(const std::filesystem::path& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) fail("Cannot find", path, errno);
    return resolved;
}

std::filesystem::path userDataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && std::filesystem::path(dataHome).is_absolute()) return dataHome;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home) throw Failure("Cannot find this user's data folder: neither XDG_DATA_HOME nor HOME is set");
    return std::filesystem::path(home) / ".local" / "share";
}

}  // namespace tolvane
