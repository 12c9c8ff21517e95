// POSIX side of the file layer.
#include "logo/base/failure.h"
#include "logo/files/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace tolvane {

File adoptHandle(std::intptr_t handle, std::filesystem::path path) { return File(handle, std::move(path)); }

std::intptr_t nativeHandle(const File& file) { return file.handle_; }

namespace {

std::error_code systemError(int error) { return {error, std::generic_category()}; }

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error,
                       const std::string& purpose = "") {
    throw Failure(what, path, systemError(error), purpose);
}

[[noreturn]] void notRegular(const std::string& what, const std::filesystem::path& path, mode_t mode,
                             const std::string& purpose = "") {
    if (S_ISDIR(mode)) fail(what, path, EISDIR, purpose);
    throw Failure(what + " " + quoted(path) + purpose + ": it is not a regular file", Problem::NotSupported);
}

// Opens without blocking (a FIFO would wait for a writer) and keeps only regular files.
int openRegular(const std::filesystem::path& path, int flags, const char* purpose) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) fail("Cannot open", path, errno, purpose);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        if (info.st_mode == 0) fail("Cannot open", path, error, purpose);
        notRegular("Cannot open", path, info.st_mode, purpose);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        fail("Cannot open", path, error, purpose);
    }
    return fd;
}

// The rule of the system's fs.protected_symlinks: in a sticky folder that
// everyone may write (as /tmp), a link is followed only when it belongs to the
// user who follows it or to the folder's owner, so that a link another user
// planted there cannot lead a write to this user's files.
void checkMayFollow(const std::filesystem::path& link, const struct stat& linkInfo,
                    const std::filesystem::path& chosen) {
    const auto folder = link.parent_path().empty() ? std::filesystem::path(".") : link.parent_path();
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0) fail("Cannot write", chosen, errno);
    const bool shared = (folderInfo.st_mode & S_ISVTX) && (folderInfo.st_mode & S_IWOTH);
    if (shared && linkInfo.st_uid != ::geteuid() && linkInfo.st_uid != folderInfo.st_uid)
        throw Failure("Cannot write " + quoted(chosen) + ": " + quoted(link) +
                          " is a symbolic link of another user in a folder that everyone may write; the system does "
                          "not follow such links, and neither does this program",
                      Problem::Unsafe);
}

// The file a chain of symbolic links ends at (which may not exist yet).
std::filesystem::path throughLinks(std::filesystem::path path, const std::filesystem::path& chosen) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        checkMayFollow(path, info, chosen);
        std::error_code error;
        const auto next = std::filesystem::read_symlink(path, error);
        if (error) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    fail("Cannot write", chosen, ELOOP);
}

constexpr std::string_view kTempPrefix = ".tolvane-export-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr long kDeadAfterSeconds = 10 * 60;

// The process that made a temporary file named as this program names them,
// ".tolvane-export-<process>-<count>.tmp"; nothing for any other name.
std::optional<pid_t> temporaryOf(std::string_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return std::nullopt;
    name = name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
    const auto dash = name.find('-');
    const auto digits = [](std::string_view text) {
        return !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dash == std::string_view::npos || !digits(name.substr(0, dash)) || !digits(name.substr(dash + 1)))
        return std::nullopt;
    const long long pid = std::stoll(std::string(name.substr(0, dash)));
    if (pid <= 0 || pid > INT_MAX) return std::nullopt;
    return static_cast<pid_t>(pid);
}

// Temporary files of exports whose process died (killed, or the machine went
// down) between naming and renaming them. Only this user's regular files of
// exactly such names, old enough: only this machine's processes can be asked,
// and the folder may be shared, so a younger one may be a live export elsewhere.
void removeDeadTemporaries(const std::filesystem::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const auto pid = temporaryOf(entry->d_name);
        if (!pid) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || info.st_mtime > ::time(nullptr) - kDeadAfterSeconds)
            continue;
        if (::kill(*pid, 0) != 0 && errno == ESRCH) ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// Flushes the folder's entries (a new name, a rename) to the disk; gives the
// system's error, or 0. A folder this user may not read cannot be opened to be
// flushed, and some file systems cannot flush a folder (EINVAL): the entry is
// then as safe as the system makes it, which is no failure of the write.
int syncFolder(const std::filesystem::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return errno == EACCES ? 0 : errno;
    const int error = ::fsync(dir) != 0 && errno != EINVAL ? errno : 0;
    ::close(dir);
    return error;
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
    return path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
}

// After a replaced file took its name: the folder flushed, or a failure that
// says the file is complete all the same.
void flushFolderOf(const std::filesystem::path& target, const std::filesystem::path& chosen) {
    int error = syncFolder(folderOf(target));
    if (const auto fault = detail::takeFileFault(FileOperation::FolderFlush)) error = fault->error;
    if (error)
        throw FailureAfterWrite(Failure("Cannot flush to disk the folder of", chosen, systemError(error))
                                    .with("; " + quoted(chosen) +
                                          " holds all of its new contents, but a crash of the system before the "
                                          "folder reaches the disk may undo that"));
}

// After a new file took its name: the folder flushed, or the name taken away
// again and a failure, so that a file that is kept is kept through a crash.
void flushNewName(const std::filesystem::path& path) {
    int error = syncFolder(folderOf(path));
    if (const auto fault = detail::takeFileFault(FileOperation::FolderFlush)) error = fault->error;
    if (!error) return;
    ::unlink(path.c_str());
    fail("Cannot flush to disk the folder of", path, error);
}

std::filesystem::path temporaryName(const std::filesystem::path& folder) {
    static std::atomic<unsigned> counter{0};
    return folder / (std::string(kTempPrefix) + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                     std::string(kTempSuffix));
}

// The permissions, owner and group of the file a new one replaces. A failure
// fails the write, and the old file stays: the new one must not be readable or
// writable by others where the old one was not.
void takeOver(int fd, const struct stat& replaced, const std::filesystem::path& chosen) {
    const auto check = [&](int result, const char* what) {
        const int error = result != 0 ? errno : 0;
        const auto fault = detail::takeFileFault(FileOperation::Permissions);
        if (error || fault) fail(what, chosen, fault ? fault->error : error);
    };
    check(::fchmod(fd, replaced.st_mode & 07777), "Cannot give the new file the permissions of");
    struct stat made {};
    if (::fstat(fd, &made) != 0) fail("Cannot write", chosen, errno);
    if (made.st_uid != replaced.st_uid || made.st_gid != replaced.st_gid)
        check(::fchown(fd, replaced.st_uid, replaced.st_gid), "Cannot give the new file the owner and group of");
}

// A new file without a name in the folder, where the system can make one
// (O_TMPFILE): it gets a name only once complete, so that a program that dies
// on the way leaves nothing behind.
std::optional<File> namelessFile(const std::filesystem::path& folder, const std::filesystem::path& chosen) {
#ifdef O_TMPFILE
    if (detail::takeFileFault(FileOperation::Nameless)) return std::nullopt;
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) return adoptHandle(fd, chosen);  // messages name the file the person chose
#else
    (void)folder, (void)chosen;
#endif
    return std::nullopt;
}

enum class Linked { Done, NameTaken, Unsupported };

// Gives a nameless file a name, which must be free; a link never replaces.
Linked linkNameless(const File& file, const std::filesystem::path& name, const std::filesystem::path& chosen) {
    const std::string self = "/proc/self/fd/" + std::to_string(nativeHandle(file));
    detail::countChange();
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return Linked::Done;
    const int error = errno;
    if (error == EEXIST) return Linked::NameTaken;
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) return Linked::Unsupported;  // no /proc
    fail("Cannot write", chosen, error);
}

// Writes the pieces to a new file under a temporary name this program gives, and
// gives its path, for a rename or a link into place (where there are no nameless
// files). Nothing is left when that fails. It takes over `replacing`, if given.
std::filesystem::path writeTemporary(const std::filesystem::path& folder, const std::filesystem::path& chosen,
                                     FilePieces pieces, Durability durability, const struct stat* replacing) {
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = temporaryName(folder);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100))
            fail("Cannot write", chosen, errno, " (a new file in its folder)");
    }
    File file = adoptHandle(fd, chosen);  // messages name the file the person chose
    try {
        if (replacing) takeOver(fd, *replacing, chosen);
        file.writeAt(0, pieces);
        if (durability == Flushed) file.flushToDisk();
        file.close();
    } catch (const Failure&) {
        ::unlink(temp.c_str());
        throw;
    }
    return temp;
}

// Puts a complete file, named `temp`, in the place of target.
void renameIntoPlace(const std::filesystem::path& temp, const std::filesystem::path& target,
                     const std::filesystem::path& chosen, Durability durability) {
    detail::countChange();
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("Cannot replace", chosen, error);
    }
    // The rename itself reaches the disk with the folder's entry.
    if (durability == Flushed) flushFolderOf(target, chosen);
}

}  // namespace

File File::openForReading(const std::filesystem::path& path) {
    return File(openRegular(path, O_RDONLY, " for reading"), path);
}

File File::openForUpdate(const std::filesystem::path& path) {
    File file(openRegular(path, O_RDWR, " for writing"), path);
    if (const auto fault = detail::takeFileFault(FileOperation::Open))
        fail("Cannot open", path, fault->error, " for writing");
    return file;
}

File File::openOrCreate(const std::filesystem::path& path) {
    detail::countChange();
    return File(openRegular(path, O_RDWR | O_CREAT, " for writing"), path);
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
    if (const auto fault = detail::takeFileFault(FileOperation::Read)) fail("Cannot read", path_, fault->error);
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

void File::writeAt(std::uint64_t offset, FilePieces pieces) {
    std::size_t total = 0;
    for (const auto piece : pieces) total += piece.size();
    const detail::PlannedWrite plan = detail::planWrite(total);
    std::vector<iovec> left;
    for (const auto piece : pieces) left.push_back({const_cast<Byte*>(piece.data()), piece.size()});
    // A stop or a fault lets only the bytes planned through.
    std::size_t through = plan.through;
    for (iovec& piece : left) {
        piece.iov_len = std::min(piece.iov_len, through);
        through -= piece.iov_len;
    }
    std::size_t done = 0, first = 0;
    while (first < left.size()) {
        if (left[first].iov_len == 0) {
            ++first;
            continue;
        }
        const ssize_t n = ::pwritev(static_cast<int>(handle_), left.data() + first,
                                    static_cast<int>(left.size() - first), static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("Cannot write", path_, errno);
        if (n == 0) fail("Cannot write", path_, EIO);
        done += static_cast<std::size_t>(n);
        for (std::size_t written = static_cast<std::size_t>(n); written > 0 && first < left.size();) {
            const std::size_t taken = std::min(written, left[first].iov_len);
            left[first].iov_base = static_cast<Byte*>(left[first].iov_base) + taken;
            left[first].iov_len -= taken;
            written -= taken;
            if (left[first].iov_len == 0) ++first;
        }
    }
    if (plan.stop) throw FileStop{};
    if (plan.error) fail("Cannot write", path_, plan.error);
}

void File::flushToDisk() {
    detail::countChange();
    const int error = ::fsync(static_cast<int>(handle_)) != 0 ? errno : 0;
    if (const auto fault = detail::takeFileFault(FileOperation::Flush))
        fail("Cannot flush to disk", path_, fault->error);
    if (error) fail("Cannot flush to disk", path_, error);
}

std::uint64_t File::identity() const {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0) fail("Cannot read the identity of", path_, errno);
    return static_cast<std::uint64_t>(info.st_dev) * 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(info.st_ino);
}

namespace {

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
            int error = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0 ? 0 : errno;
            if (const auto fault = detail::takeFileFault(FileOperation::Lock)) error = fault->error;
            // A file system without flock(2) leaves the record lock alone to tell.
            if (error == 0 || error == EOPNOTSUPP || error == ENOSYS || error == ENOLCK) return true;
            if (error != EWOULDBLOCK && error != EINTR) fail("Cannot lock", path, error);
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

bool File::lockForWriting(std::chrono::milliseconds wait) {
    return lockFile(static_cast<int>(handle_), path_, true, wait);
}

bool File::lockForReading(std::chrono::milliseconds wait) {
    return lockFile(static_cast<int>(handle_), path_, false, wait);
}

void File::reserve(std::uint64_t length) {
#ifdef __linux__
    int error =
        ::fallocate(static_cast<int>(handle_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0 ? 0 : errno;
    if (error == EOPNOTSUPP || error == ENOSYS || error == EINVAL) error = 0;  // the file system cannot: write as is
#else
    (void)length;
    const int error = 0;
#endif
    if (const auto fault = detail::takeFileFault(FileOperation::Reserve))
        fail("Cannot reserve disk space for", path_, fault->error);
    if (error) fail("Cannot reserve disk space for", path_, error);
}

void File::close() {
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (fd < 0) return;
    const int error = ::close(fd) != 0 ? errno : 0;
    if (const auto fault = detail::takeFileFault(FileOperation::Close)) fail("Cannot close", path_, fault->error);
    if (error) fail("Cannot close", path_, error);
}

void replaceFile(const std::filesystem::path& chosen, FilePieces pieces, Durability durability) {
    const std::filesystem::path target = throughLinks(chosen, chosen);
    struct stat existing {};
    const bool targetExists = ::stat(target.c_str(), &existing) == 0;
    if (targetExists && !S_ISREG(existing.st_mode)) notRegular("Cannot write", chosen, existing.st_mode);
    if (targetExists && ::access(target.c_str(), W_OK) != 0) fail("Cannot write", chosen, errno);

    const auto folder = folderOf(target);
    removeDeadTemporaries(folder);
    if (std::optional<File> file = namelessFile(folder, chosen)) {
        if (targetExists) takeOver(static_cast<int>(nativeHandle(*file)), existing, chosen);
        file->writeAt(0, pieces);
        if (durability == Flushed) file->flushToDisk();
        // A new file takes its name by a link, which replaces nothing; an
        // existing one is replaced by a rename, which needs a name: a temporary
        // one, given only now, so that only a program that dies in these few
        // microseconds leaves anything behind.
        std::filesystem::path temp = targetExists ? temporaryName(folder) : target;
        Linked linked;
        for (int attempt = 0; (linked = linkNameless(*file, temp, chosen)) == Linked::NameTaken; ++attempt) {
            if (!targetExists) return replaceFile(chosen, pieces, durability);  // made meanwhile: look again
            if (attempt > 100) fail("Cannot write", chosen, EEXIST);
            temp = temporaryName(folder);
        }
        if (linked == Linked::Done) {
            try {
                file->close();
            } catch (const Failure&) {
                ::unlink(temp.c_str());
                throw;
            }
            if (targetExists) return renameIntoPlace(temp, target, chosen, durability);
            if (durability == Flushed) flushFolderOf(target, chosen);
            return;
        }
    }
    const auto temp = writeTemporary(folder, chosen, pieces, durability, targetExists ? &existing : nullptr);
    renameIntoPlace(temp, target, chosen, durability);
}

void createFile(const std::filesystem::path& path, FilePieces pieces, Durability durability) {
    const auto folder = folderOf(path);
    if (std::optional<File> file = namelessFile(folder, path)) {
        file->writeAt(0, pieces);
        if (durability == Flushed) file->flushToDisk();
        switch (linkNameless(*file, path, path)) {
            case Linked::Done:
                file->close();
                if (durability == Flushed) flushNewName(path);
                return;
            case Linked::NameTaken: fail("Cannot write", path, EEXIST);
            case Linked::Unsupported: break;  // made under a temporary name as below
        }
    }
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
    if (durability == Flushed) flushNewName(path);
}

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
        const int error = errno;
        if (error != ENOENT || existing == "." || existing == existing.parent_path())
            fail("Cannot create a file in", folder, error);
        existing = existing.parent_path().empty() ? std::filesystem::path(".") : existing.parent_path();
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
