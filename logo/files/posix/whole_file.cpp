// Whole files on POSIX systems: a file replaced by new bytes, or made under a new
// name, so that the name only ever holds a complete file.
#include "posix_parts.h"
#include "system_calls.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

using files::fail;
using files::folderOf;
using files::systemCalls;
using files::temporaryName;

namespace {

// The rule of the system's fs.protected_symlinks: in a sticky folder that
// everyone may write (as /tmp), a link is followed only when it belongs to the
// user who follows it or to the folder's owner, so that a link another user
// planted there cannot lead a write to this user's files.
void checkMayFollow(const std::filesystem::path& link, const struct stat& linkInfo,
                    const std::filesystem::path& chosen) {
    const auto folder = folderOf(link);
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

// After a replaced file took its name: the folder flushed, or a failure that
// says the file is complete all the same.
void flushFolderOf(const std::filesystem::path& target, const std::filesystem::path& chosen) {
    if (const std::error_code error = systemCalls().flushFolder(folderOf(target)))
        throw FailureAfterWrite(Failure("Cannot flush to disk the folder of", chosen, error)
                                    .with("; " + quoted(chosen) +
                                          " holds all of its new contents, but a crash of the system before the "
                                          "folder reaches the disk may undo that"));
}

// After a new file took its name: the folder flushed, or the name taken away
// again and a failure, so that a file that is kept is kept through a crash.
void flushNewName(const std::filesystem::path& path) {
    const std::error_code error = systemCalls().flushFolder(folderOf(path));
    if (!error) return;
    ::unlink(path.c_str());
    fail("Cannot flush to disk the folder of", path, error);
}

// The permissions, owner and group of the file a new one replaces. A failure
// fails the write, and the old file stays: the new one must not be readable or
// writable by others where the old one was not.
void takeOver(int fd, const struct stat& replaced, const std::filesystem::path& chosen) {
    if (const std::error_code error = systemCalls().setPermissions(fd, replaced.st_mode & 07777))
        fail("Cannot give the new file the permissions of", chosen, error);
    struct stat made {};
    if (::fstat(fd, &made) != 0) fail("Cannot write", chosen, errno);
    if (made.st_uid != replaced.st_uid || made.st_gid != replaced.st_gid)
        if (const std::error_code error = systemCalls().setOwner(fd, replaced.st_uid, replaced.st_gid))
            fail("Cannot give the new file the owner and group of", chosen, error);
}

// A new file without a name in the folder, where the system can make one
// (O_TMPFILE): it gets a name only once complete, so that a program that dies
// on the way leaves nothing behind.
std::optional<File> namelessFile(const std::filesystem::path& folder, const std::filesystem::path& chosen) {
    std::intptr_t fd = -1;
    if (systemCalls().openNameless(folder, fd)) return std::nullopt;
    return adoptHandle(fd, chosen);  // messages name the file the person chose
}

enum class Linked { Done, NameTaken, Unsupported };

// Gives a nameless file a name, which must be free; a link never replaces.
Linked linkNameless(const File& file, const std::filesystem::path& name, const std::filesystem::path& chosen) {
    const std::string self = "/proc/self/fd/" + std::to_string(nativeHandle(file));
    const std::error_code error = systemCalls().link(self, name);
    if (!error) return Linked::Done;
    if (error.value() == EEXIST) return Linked::NameTaken;
    if (error.value() == ENOENT && ::access("/proc/self/fd", F_OK) != 0) return Linked::Unsupported;  // no /proc
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
    if (const std::error_code error = systemCalls().rename(temp, target)) {
        ::unlink(temp.c_str());
        fail("Cannot replace", chosen, error);
    }
    // The rename itself reaches the disk with the folder's entry.
    if (durability == Flushed) flushFolderOf(target, chosen);
}

}  // namespace

void replaceFile(const std::filesystem::path& chosen, FilePieces pieces, Durability durability) {
    const std::filesystem::path target = throughLinks(chosen, chosen);
    struct stat existing {};
    const bool targetExists = ::stat(target.c_str(), &existing) == 0;
    if (targetExists && !S_ISREG(existing.st_mode)) files::notRegular("Cannot write", chosen, existing.st_mode);
    if (targetExists && ::access(target.c_str(), W_OK) != 0) fail("Cannot write", chosen, errno);

    const auto folder = folderOf(target);
    files::removeDeadTemporaries(folder);
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
    files::removeDeadTemporaries(folder);
    const auto temp = writeTemporary(folder, path, pieces, durability, nullptr);
    // The name goes to the temporary file only while nothing has it: a link does
    // that; on a file system without links, a rename after a look nearly does.
    const auto takeName = [&]() -> std::error_code {
        const std::error_code linked = systemCalls().link(temp, path);
        if (!linked || linked.value() == EEXIST) return linked;
        struct stat existing {};
        if (::lstat(path.c_str(), &existing) == 0) return {EEXIST, std::generic_category()};
        return systemCalls().rename(temp, path);
    };
    const std::error_code error = takeName();
    ::unlink(temp.c_str());  // the temporary name, where a link left it
    if (error) fail("Cannot write", path, error);
    if (durability == Flushed) flushNewName(path);
}

}  // namespace tolvane
