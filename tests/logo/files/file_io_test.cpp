#include "logo/files/file_io.h"

#include "logo/base/failure.h"
#include "support/file_faults.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tolvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(ReplaceFile, LeavesExactlyTheNewBytesAndNoTemporaryFile) {
    TempDir dir;
    const auto path = dir / "target.bmp";
    writeFile(path, std::vector<Byte>(9000, 1));
    const std::vector<Byte> bytes{1, 2, 3};
    replaceFile(path, bytes);
    EXPECT_EQ(readFile(path), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ReplaceFile, RefusesAFolderAndLeavesItAlone) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.bmp");
    writeFile(dir / "folder.bmp" / "inside", {9});
    const std::vector<Byte> bytes{1};
    try {
        replaceFile(dir / "folder.bmp", bytes);
        FAIL() << "a folder was replaced";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), "Cannot write " + quoted(dir / "folder.bmp") + ": Is a directory");
    }
    EXPECT_EQ(readFile(dir / "folder.bmp" / "inside"), std::vector<Byte>{9});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Made nameless where the system can, else under a temporary name (the
// Nameless fault stands for a system without nameless files): either way the name
// is given only to a complete file, and only while nothing has it.
TEST(CreateFile, WritesItsPiecesOnlyUnderANewName) {
    for (const bool nameless : {true, false}) {
        SCOPED_TRACE(nameless ? "nameless" : "temporary name");
        TempDir dir;
        const auto create = [&](const std::filesystem::path& path) {
            if (!nameless) injectFileFault(FileOperation::Nameless, 0);
            const std::vector<Byte> first{1, 2}, second{3};
            const std::span<const Byte> pieces[] = {first, second};
            const std::string failure = testing::failureOf([&] { createFile(path, pieces); });
            clearFileFaults();
            return failure;
        };
        EXPECT_EQ(create(dir / "new.bin"), "(no failure)");
        EXPECT_EQ(readFile(dir / "new.bin"), (std::vector<Byte>{1, 2, 3}));

        writeFile(dir / "new.bin", {7});
        const std::string taken = create(dir / "new.bin");
        EXPECT_EQ(taken.rfind("Cannot write " + quoted(dir / "new.bin") + ": ", 0), 0u) << taken;
        EXPECT_EQ(readFile(dir / "new.bin"), std::vector<Byte>{7}) << "an existing file stays as it was";

        injectFileFault(FileOperation::Write, ENOSPC, 1);
        EXPECT_NE(create(dir / "cut.bin"), "(no failure)");
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::filesystem::path>{"new.bin"})
            << "nothing is left of a failed one";
    }
    TempDir dir;
    EXPECT_TRUE(namesIn(dir / "missing").empty());
}

TEST(ReadSmallFile, RefusesAFileLargerThanExpected) {
    TempDir dir;
    writeFile(dir / "big", std::vector<Byte>(101));
    EXPECT_THROW(readSmallFile(dir / "big", 100), Failure);
    EXPECT_EQ(readSmallFile(dir / "big", 101).size(), 101u);
}

TEST(OpenForReading, RefusesAFolder) {
    TempDir dir;
    EXPECT_THROW(File::openForReading(dir.path()), Failure);
}

// Readers share their locks and keep a writer out; a writer keeps readers out.
TEST(FileLock, ReadersShareTheirLockAndKeepWritersOut) {
    TempDir dir;
    const auto path = dir / "game.bin";
    writeFile(path, {1, 2, 3});
    constexpr std::chrono::milliseconds kNoWait{0};
    File first = File::openForReading(path), second = File::openForReading(path);
    File writer = File::openForUpdate(path);
    EXPECT_TRUE(first.lockForReading(kNoWait));
    EXPECT_TRUE(second.lockForReading(kNoWait));
    EXPECT_FALSE(writer.lockForWriting(kNoWait));
    first.close();
    second.close();
    EXPECT_TRUE(writer.lockForWriting(kNoWait));
    EXPECT_FALSE(File::openForReading(path).lockForReading(kNoWait));
}

std::size_t entries(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

#ifndef _WIN32
TEST(ReplaceFile, WritesThroughASymbolicLinkAndKeepsIt) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    writeFile(dir / "real" / "logo.bmp", {1, 2});
    std::filesystem::create_symlink("real/logo.bmp", dir / "link.bmp");
    const std::vector<Byte> bytes{7, 8, 9};
    replaceFile(dir / "link.bmp", bytes);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.bmp"));
    EXPECT_EQ(readFile(dir / "real" / "logo.bmp"), bytes);
}

TEST(FileLayer, RefusesFifosAndDevicesAtOnceInsteadOfWaiting) {
    TempDir dir;
    const auto fifo = dir / "pipe.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(testing::failureOf([&] { File::openForReading(fifo); }),
              "Cannot open " + quoted(fifo) + " for reading: it is not a regular file");
    EXPECT_EQ(testing::failureOf([&] { File::openForUpdate(fifo); }),
              "Cannot open " + quoted(fifo) + " for writing: it is not a regular file");
    const std::vector<Byte> bytes{1};
    EXPECT_EQ(testing::failureOf([&] { replaceFile(fifo, bytes); }),
              "Cannot write " + quoted(fifo) + ": it is not a regular file");
    EXPECT_EQ(testing::failureOf([&] { replaceFile("/dev/null", bytes); }),
              "Cannot write \"/dev/null\": it is not a regular file");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

// Only this user's regular files of exactly the names exports give, of a
// process that is gone, and old enough: a shared folder holds others' files too.
TEST(ReplaceFile, RemovesTemporaryFilesOfDeadExportsAndNothingElse) {
    TempDir dir;
    const auto old = [&](const std::string& name) {
        if (!std::filesystem::exists(std::filesystem::symlink_status(dir / name))) writeFile(dir / name, {1});
        const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        ::utimensat(AT_FDCWD, (dir / name).c_str(), times, AT_SYMLINK_NOFOLLOW);
        return name;
    };
    const std::string dead = old(".tolvane-export-999999999-0.tmp");  // no such process
    writeFile(dir / ".tolvane-export-999999998-0.tmp", {1});          // no such process here, but just made
    const std::vector<std::string> kept = {
        ".tolvane-export-999999998-0.tmp",
        old(".tolvane-export-" + std::to_string(::getpid()) + "-77.tmp"),  // a live export
        old(".tolvane-export-999999999-0.tmp.bak"),
        old(".tolvane-export-999999999-x.tmp"),
        old(".tolvane-export-999999999-.tmp"),
        old(".tolvane-export-notes.txt")};
    ASSERT_EQ(::mkfifo((dir / ".tolvane-export-999999999-1.tmp").c_str(), 0600), 0);
    old(".tolvane-export-999999999-1.tmp");
    std::filesystem::create_symlink(dir / "elsewhere", dir / ".tolvane-export-999999999-2.tmp");
    old(".tolvane-export-999999999-2.tmp");
    const std::vector<Byte> bytes{1, 2, 3};
    replaceFile(dir / "new.bmp", bytes);
    EXPECT_FALSE(std::filesystem::exists(dir / dead));
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    EXPECT_TRUE(std::filesystem::is_fifo(dir / ".tolvane-export-999999999-1.tmp"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / ".tolvane-export-999999999-2.tmp"));
}

// The old file's permissions go to the new one, or nothing is replaced: a file
// that others may not read must not become one they may.
TEST(ReplaceFile, GivesTheNewFileTheOldOnesPermissionsOrLeavesTheOldOne) {
    TempDir dir;
    const auto path = dir / "logo.bmp";
    writeFile(path, {1, 2});
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::vector<Byte> bytes{3, 4, 5};
    for (const bool nameless : {true, false}) {
        SCOPED_TRACE(nameless ? "nameless" : "temporary name");
        if (!nameless) injectFileFault(FileOperation::Nameless, 0);
        injectFileFault(FileOperation::Permissions, EPERM);
        EXPECT_EQ(testing::failureOf([&] { replaceFile(path, bytes); }),
                  "Cannot give the new file the permissions of " + quoted(path) + ": " + std::strerror(EPERM));
        clearFileFaults();
        EXPECT_EQ(readFile(path), (std::vector<Byte>{1, 2}));
        EXPECT_EQ(entries(dir.path()), 1u);
    }
    replaceFile(path, bytes);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(path), bytes);
}

// Stopped at any step, as a program killed: the target is the old file or the
// new one, whole; only a stop between naming the new file and the rename (a few
// microseconds) leaves a temporary file, for the next export to remove.
TEST(ReplaceFile, StoppedAtAnyStepLeavesTheOldFileOrTheNewOne) {
    TempDir dir;
    const auto path = dir / "logo.bmp";
    const std::vector<Byte> before(5000, 1), after(7000, 2);
    std::size_t leftovers = 0;
    for (std::size_t step = 0;; ++step) {
        SCOPED_TRACE("stopped before change " + std::to_string(step));
        writeFile(path, before);
        injectFileStop(step);
        bool stopped = false;
        try {
            replaceFile(path, after);
        } catch (const FileStop&) {
            stopped = true;
        }
        clearFileFaults();
        const auto now = readFile(path);
        EXPECT_TRUE(now == before || now == after);
        leftovers += entries(dir.path()) - 1;
        for (const auto& name : namesIn(dir.path()))
            if (name != "logo.bmp") std::filesystem::remove(dir / name);
        if (!stopped) break;
    }
    EXPECT_LE(leftovers, 1u);
}

// A flock(2) error is a failure, unless it says the file system has no such
// locks (the record lock then tells alone).
TEST(FileLock, AFlockErrorFailsUnlessItSaysThereAreNoSuchLocks) {
    TempDir dir;
    const auto path = dir / "game.bin";
    writeFile(path, {1, 2, 3});
    constexpr std::chrono::milliseconds kNoWait{0};
    const struct {
        int error;
        std::string failure;
    } cases[] = {
        {EOPNOTSUPP, "(no failure)"},
        {ENOSYS, "(no failure)"},
        {ENOLCK, "(no failure)"},
        {EIO, "Cannot lock " + quoted(path) + ": " + std::strerror(EIO)},
    };
    for (const auto& c : cases) {
        for (const bool exclusive : {true, false}) {
            File file = exclusive ? File::openForUpdate(path) : File::openForReading(path);
            injectFileFault(FileOperation::Lock, c.error);
            bool locked = false;
            EXPECT_EQ(testing::failureOf(
                          [&] { locked = exclusive ? file.lockForWriting(kNoWait) : file.lockForReading(kNoWait); }),
                      c.failure)
                << std::strerror(c.error);
            EXPECT_EQ(locked, c.failure == "(no failure)") << std::strerror(c.error);
            clearFileFaults();
        }
    }
}

// The folder of a replaced file is flushed too, so that its new name survives a
// crash; when that fails, the message says the file holds its new contents.
TEST(ReplaceFile, AFailedFlushOfTheFolderSaysWhatTheFileHolds) {
    TempDir dir;
    const auto path = dir / "logo.ppf";
    const std::vector<Byte> bytes{5, 6, 7};
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "replacing a file" : "a new file");
        injectFileFault(FileOperation::FolderFlush, EIO);
        bool afterWrite = false;
        EXPECT_EQ(testing::failureOf([&] {
                      try {
                          replaceFile(path, bytes);
                      } catch (const FailureAfterWrite&) {
                          afterWrite = true;
                          throw;
                      }
                  }),
                  "Cannot flush to disk the folder of " + quoted(path) + ": " + std::strerror(EIO) + "; " +
                      quoted(path) +
                      " holds all of its new contents, but a crash of the system before the folder reaches the disk "
                      "may undo that");
        clearFileFaults();
        EXPECT_TRUE(afterWrite);
        EXPECT_EQ(readFile(path), bytes);
    }
}

TEST(ReplaceFile, FollowsALinkInASharedFolderOnlyWhereTheSystemWould) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give a link to another user";
    TempDir dir;
    std::filesystem::create_directory(dir / "shared");
    ASSERT_EQ(::chmod((dir / "shared").c_str(), 01777), 0);  // as /tmp
    writeFile(dir / "victim.bmp", {1});
    const auto link = dir / "shared" / "logo.bmp";
    std::filesystem::create_symlink(dir / "victim.bmp", link);
    const std::vector<Byte> bytes{9};

    ASSERT_EQ(::lchown(link.c_str(), 4242, 4242), 0);  // another user's, in a folder that is not theirs
    EXPECT_EQ(testing::failureOf([&] { replaceFile(link, bytes); }),
              "Cannot write " + quoted(link) + ": " + quoted(link) +
                  " is a symbolic link of another user in a folder that everyone may write; the system does not "
                  "follow such links, and neither does this program");
    EXPECT_EQ(readFile(dir / "victim.bmp"), std::vector<Byte>{1});

    ASSERT_EQ(::chown((dir / "shared").c_str(), 4242, 4242), 0);  // their own folder: followed
    replaceFile(link, bytes);
    EXPECT_EQ(readFile(dir / "victim.bmp"), bytes);
}
#endif

TEST(ReplaceFile, TakesTheLongestNamesTheFileSystemAllows) {
    TempDir dir;
    const std::string name = std::string(251, 'x') + ".bmp";  // 255 bytes
    const std::vector<Byte> bytes{4, 5};
    replaceFile(dir / name, bytes);
    replaceFile(dir / name, bytes);
    EXPECT_EQ(readFile(dir / name), bytes);
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(SameFile, SeesOneFileUnderTwoNames) {
    TempDir dir;
    writeFile(dir / "game.bin", {1});
    EXPECT_TRUE(sameFile(dir / "game.bin", dir.path() / "." / "game.bin"));
    std::filesystem::create_hard_link(dir / "game.bin", dir / "again.bin");
    EXPECT_TRUE(sameFile(dir / "game.bin", dir / "again.bin"));
    EXPECT_FALSE(sameFile(dir / "game.bin", dir / "missing.bin"));
}

}  // namespace
}  // namespace tolvane
