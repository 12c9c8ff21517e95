#include "logo/file_io.h"

#include "logo/failure.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tolvane
