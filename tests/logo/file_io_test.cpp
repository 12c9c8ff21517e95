#include "logo/file_io.h"

#include "logo/failure.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>

#ifndef _WIN32
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

TEST(ReplaceFile, RemovesTemporaryFilesOfDeadExportsAndKeepsOthers) {
    TempDir dir;
    const auto anHourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    writeFile(dir / ".tolvane-export-999999999-0.tmp", {1});  // no such process
    std::filesystem::last_write_time(dir / ".tolvane-export-999999999-0.tmp", anHourAgo);
    writeFile(dir / ".tolvane-export-999999998-0.tmp", {1});  // no such process here, but just made
    const auto mine = ".tolvane-export-" + std::to_string(::getpid()) + "-77.tmp";
    writeFile(dir / mine, {1});
    std::filesystem::last_write_time(dir / mine, anHourAgo);
    writeFile(dir / ".tolvane-export-notes.txt", {1});
    const std::vector<Byte> bytes{1, 2, 3};
    replaceFile(dir / "new.bmp", bytes);
    EXPECT_FALSE(std::filesystem::exists(dir / ".tolvane-export-999999999-0.tmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / ".tolvane-export-999999998-0.tmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / mine));
    EXPECT_TRUE(std::filesystem::exists(dir / ".tolvane-export-notes.txt"));
    EXPECT_EQ(entries(dir.path()), 4u);
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
