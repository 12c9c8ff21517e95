// POSIX side of the file layer.
#include "logo/failure.h"
#include "logo/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace tolvane {

File adoptHandle(std::intptr_t handle, std::filesystem::path path) { return File(handle, std::move(path)); }

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error) {
    throw Failure(what + " " + quoted(path) + ": " + std::strerror(error));
}

[[noreturn]] void notRegular(const std::string& what, const std::filesystem::path& path, const struct stat& info) {
    if (S_ISDIR(info.st_mode)) fail(what, path, EISDIR);
    throw Failure(what + " " + quoted(path) + ": it is not a regular file");
}

// Opens without blocking (a FIFO would wait for a writer) and keeps only regular files.
int openRegular(const std::filesystem::path& path, int flags, const char* purpose) {
    const auto refuse = [&](const std::string& reason) {
        throw Failure("Cannot open " + quoted(path) + purpose + reason);
    };
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) refuse(std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        if (info.st_mode == 0) refuse(std::strerror(error));
        refuse(S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "it is not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The file a chain of symbolic links ends at (which may not exist yet).
std::filesystem::path throughLinks(std::filesystem::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::error_code error;
        const auto next = std::filesystem::read_symlink(path, error);
        if (error) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    fail("Cannot write", path, ELOOP);
}

constexpr const char* kTempPrefix = ".tolvane-export-";
constexpr const char* kTempSuffix = ".tmp";
constexpr long kDeadAfterSeconds = 10 * 60;

// Temporary files of exports whose process has died (killed, or the machine went
// down) before they could rename or remove them.
void removeDeadTemporaries(const std::filesystem::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = kTempPrefix;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + 4 ||
            name.compare(name.size() - 4, 4, kTempSuffix) != 0)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '-') continue;  // not a name this program gives
        // Only this machine's processes can be asked, and the folder may be shared:
        // a file that young may be a live export elsewhere.
        struct stat info {};
        if (::stat((folder / name).c_str(), &info) != 0 || info.st_mtime > ::time(nullptr) - kDeadAfterSeconds)
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlink((folder / name).c_str());
    }
    ::closedir(dir);
}

void syncFolder(const std::filesystem::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

enum class Nameless { Made, NameTaken, Unsupported };

// Makes a new file nameless in the target's folder and gives it the target's name
// once complete, so that a program that dies on the way leaves nothing behind.
// Where the system cannot (no O_TMPFILE, no /proc), nothing is made.
Nameless makeNameless(const std::filesystem::path& target, const std::filesystem::path& chosen, FilePieces pieces,
                      Durability durability) {
#ifdef O_TMPFILE
    const auto folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    if (detail::takeFileFault(FileOperation::Nameless)) return Nameless::Unsupported;
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return Nameless::Unsupported;
    File file = adoptHandle(fd, chosen);  // messages name the file the person chose
    file.writeAt(0, pieces);
    if (durability == Flushed) file.flushToDisk();
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    detail::countChange();
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        file.close();
        if (durability == Flushed) syncFolder(folder);
        return Nameless::Made;
    }
    if (errno == EEXIST) return Nameless::NameTaken;
    if (errno != ENOENT) fail("Cannot write", chosen, errno);
#else
    (void)target, (void)chosen, (void)pieces, (void)durability;
#endif
    return Nameless::Unsupported;
}

// Writes the pieces to a new file in the folder under a temporary name this
// program gives, and gives its path, for a rename or a link into place. Nothing
// is left when that fails. It takes the permissions of `replacing`, if given.
std::filesystem::path writeTemporary(const std::filesystem::path& folder, const std::filesystem::path& chosen,
                                     FilePieces pieces, Durability durability, const struct stat* replacing) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = folder / (kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(counter++) + kTempSuffix);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100))
            throw Failure("Cannot write " + quoted(chosen) +
                          ": cannot create a file in its folder: " + std::strerror(errno));
    }
    File file = adoptHandle(fd, chosen);  // messages name the file the person chose
    try {
        if (replacing) ::fchmod(fd, replacing->st_mode & 07777);
        file.writeAt(0, pieces);
        if (durability == Flushed) file.flushToDisk();
        file.close();
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    return temp;
}

}  // namespace

File File::openForReading(const std::filesystem::path& path) {
    return File(openRegular(path, O_RDONLY, " for reading: "), path);
}

File File::openForUpdate(const std::filesystem::path& path) {
    return File(openRegular(path, O_RDWR, " for writing: "), path);
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
    const detail::PlannedWrite plan = detail::planWrite(bytes.size());
    std::size_t done = 0;
    while (done < plan.through) {
        const ssize_t n = ::pwrite(static_cast<int>(handle_), bytes.data() + done, plan.through - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("Cannot write", path_, errno);
        if (n == 0) fail("Cannot write", path_, EIO);
        done += static_cast<std::size_t>(n);
    }
    if (plan.stop) throw FileStop{};
    if (plan.error) fail("Cannot write", path_, plan.error);
}

void File::flushToDisk() {
    detail::countChange();
    if (const auto fault = detail::takeFileFault(FileOperation::Flush))
        fail("Cannot flush to disk", path_, fault->error);
    if (::fsync(static_cast<int>(handle_)) != 0) fail("Cannot flush to disk", path_, errno);
}

std::uint64_t File::identity() const {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0) fail("Cannot read the identity of", path_, errno);
    return static_cast<std::uint64_t>(info.st_dev) * 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(info.st_ino);
}

bool File::lockForWriting(std::chrono::milliseconds wait) {
    // Locks of the open file description: they do not belong to the process, so
    // two handles in one program exclude each other as two programs do.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    const int command = F_OFD_SETLK;
#else
    const int command = F_SETLK;
#endif
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::fcntl(static_cast<int>(handle_), command, &lock) != 0) {
        if (errno != EACCES && errno != EAGAIN && errno != EINTR) fail("Cannot lock", path_, errno);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void File::reserve(std::uint64_t length) {
    if (const auto fault = detail::takeFileFault(FileOperation::Reserve))
        fail("Cannot reserve disk space for", path_, fault->error);
#ifdef __linux__
    if (::fallocate(static_cast<int>(handle_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0) return;
    if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) return;  // the file system cannot: write as is
    fail("Cannot reserve disk space for", path_, errno);
#else
    (void)length;
#endif
}

void File::close() {
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (fd >= 0 && ::close(fd) != 0) fail("Cannot close", path_, errno);
}

void replaceFile(const std::filesystem::path& chosen, FilePieces pieces, Durability durability) {
    const std::filesystem::path target = throughLinks(chosen);
    struct stat existing {};
    const bool targetExists = ::stat(target.c_str(), &existing) == 0;
    if (targetExists && !S_ISREG(existing.st_mode)) notRegular("Cannot write", chosen, existing);
    if (targetExists && ::access(target.c_str(), W_OK) != 0) fail("Cannot write", chosen, errno);

    const auto folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    removeDeadTemporaries(folder);

    if (!targetExists) {
        switch (makeNameless(target, chosen, pieces, durability)) {
            case Nameless::Made: return;
            case Nameless::NameTaken: return replaceFile(chosen, pieces, durability);  // made meanwhile: check again
            case Nameless::Unsupported: break;  // made under a temporary name as below
        }
    }

    const auto temp = writeTemporary(folder, chosen, pieces, durability, targetExists ? &existing : nullptr);
    detail::countChange();
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("Cannot replace", chosen, error);
    }
    // The rename itself reaches the disk with the folder's entry.
    if (durability == Flushed) syncFolder(folder);
}

void createFile(const std::filesystem::path& path, FilePieces pieces, Durability durability) {
    switch (makeNameless(path, path, pieces, durability)) {
        case Nameless::Made: return;
        case Nameless::NameTaken: fail("Cannot write", path, EEXIST);
        case Nameless::Unsupported: break;  // made under a temporary name as below
    }
    const auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    removeDeadTemporaries(folder);
    const auto temp = writeTemporary(folder, path, pieces, durability, nullptr);
    // The name goes to the temporary file only while nothing has it: a link does
    // that; on a file system without links, a rename after a look nearly does.
    const auto takeName = [&]() -> int {
        if (::link(temp.c_str(), path.c_str()) == 0) return 0;
        if (errno == EEXIST) return EEXIST;
        struct stat existing {};
        if (::lstat(path.c_str(), &existing) == 0) return EEXIST;
        return ::rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
    };
    detail::countChange();
    const int error = takeName();
    ::unlink(temp.c_str());  // the temporary name, where a link left it
    if (error) fail("Cannot write", path, error);
    if (durability == Flushed) syncFolder(folder);
}

std::vector<std::filesystem::path> namesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir && errno == ENOENT) return names;
    if (!dir) fail("Cannot read the folder", folder, errno);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error) fail("Cannot read the folder", folder, error);
    return names;
}

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    detail::countChange();
    if (::rename(from.c_str(), to.c_str()) != 0) fail("Cannot rename", from, errno);
}

bool removeFile(const std::filesystem::path& path) {
    detail::countChange();
    if (::unlink(path.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    fail("Cannot remove", path, errno);
}

void makeFolders(const std::filesystem::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
    detail::countChange();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) fail("Cannot create the folder", folder, error.value());
}

void checkRoomFor(const std::filesystem::path& folder, std::uint64_t bytes) {
    // The folder the new file's name goes into, or the one the missing folders would be made in.
    std::filesystem::path existing = folder.empty() ? std::filesystem::path(".") : folder;
    struct stat info {};
    while (::stat(existing.c_str(), &info) != 0) {
        if (errno != ENOENT || existing == "." || existing == existing.parent_path())
            fail("Cannot create a file in", folder, errno);
        existing = existing.parent_path().empty() ? std::filesystem::path(".") : existing.parent_path();
    }
    if (!S_ISDIR(info.st_mode)) fail("Cannot create a file in", folder, ENOTDIR);
    if (::access(existing.c_str(), W_OK | X_OK) != 0) fail("Cannot create a file in", folder, errno);
    struct statvfs disk {};
    if (::statvfs(existing.c_str(), &disk) == 0 && std::uint64_t{disk.f_bavail} * disk.f_frsize < bytes)
        fail("Cannot create a file in", folder, ENOSPC);
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
