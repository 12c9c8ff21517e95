#include "logo/patch_history.h"

#include "logo/disc_image_layout.h"
#include "logo/failure.h"
#include "logo/file_io.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

namespace tolvane {
namespace {

using testing::failureOf;
using testing::makeImage;
using testing::patternLogo;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

class PatchHistoryTest : public ::testing::Test {
protected:
    PatchHistoryTest() { writeFile(image, original); }

    void patch(const std::filesystem::path& path, unsigned seed) {
        const ImagePrefix onDisk = readImagePrefix(path);
        ImagePrefix next = onDisk;
        insertLogo(patternLogo(seed), next);
        writeImagePrefixWithBackup(path, next, onDisk, history);
    }
    LogoImage logoIn(const std::filesystem::path& path) { return extractLogo(readImagePrefix(path)).logo; }

    TempDir dir;
    std::filesystem::path image = dir / "game.bin";
    std::vector<Byte> original = makeImage(30000);
    PatchHistory history{dir / "history"};
};

TEST_F(PatchHistoryTest, RestoreTakesPatchesBackNewestFirst) {
    patch(image, 1);
    const auto afterFirst = readFile(image);
    patch(image, 2);

    const auto backups = history.list(image);
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_EQ(backups[0].sequence, 2u);
    EXPECT_EQ(backups[1].sequence, 1u);
    EXPECT_EQ(backups[0].damage, "");
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(now - backups[0].time, 60);
    EXPECT_EQ(backups[0].file.parent_path(), dir / "history");

    // Another name of the same file finds the same history.
    EXPECT_EQ(history.restoreNewest(dir.path() / "." / "game.bin").file, backups[0].file);
    EXPECT_EQ(readFile(image), afterFirst);
    EXPECT_EQ(history.restoreNewest(image).file, backups[1].file);
    EXPECT_EQ(readFile(image), original);
    EXPECT_TRUE(history.list(image).empty());
    EXPECT_EQ(failureOf([&] { history.restoreNewest(image); }),
              "Nothing was written: there is no backup of " + quoted(image) + " in " + quoted(dir / "history"));
}

TEST_F(PatchHistoryTest, KeepsTheNewestFiveOfEachImageApart) {
    const auto other = dir / "other.bin";
    writeFile(other, makeImage(28248));
    patch(other, 9);
    for (unsigned seed = 1; seed <= 7; ++seed) patch(image, seed);

    const auto backups = history.list(image);
    ASSERT_EQ(backups.size(), kKeptBackups);
    EXPECT_EQ(backups.front().sequence, 7u);
    EXPECT_EQ(backups.back().sequence, 3u);
    EXPECT_EQ(history.list(other).size(), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "history"), {}), 6);

    for (std::size_t i = 0; i < kKeptBackups; ++i) history.restoreNewest(image);
    EXPECT_EQ(logoIn(image), patternLogo(2));
    EXPECT_EQ(logoIn(other), patternLogo(9));
}

TEST_F(PatchHistoryTest, RefusesAnImageChangedSinceThePatch) {
    patch(image, 1);
    auto changed = readFile(image);
    changed[100] ^= 1;
    writeFile(image, changed);
    const std::string failure = failureOf([&] { history.restoreNewest(image); });
    EXPECT_EQ(failure.rfind("Nothing was written: " + quoted(image) + " changed since the patch of ", 0), 0u)
        << failure;
    EXPECT_EQ(readFile(image), changed);
    EXPECT_EQ(history.list(image).size(), 1u);
}

TEST_F(PatchHistoryTest, RefusesADamagedBackupAndNamesIt) {
    patch(image, 1);
    const auto afterPatch = readFile(image);
    const auto file = history.list(image).at(0).file;
    auto bytes = readFile(file);
    for (const auto& [damage, reason] :
         {std::pair<std::size_t, std::string>{40, "its contents do not match their checksum"},
          {bytes.size() - 1, "it is " + std::to_string(bytes.size() - 1) + " bytes long; its header says " +
                                 std::to_string(bytes.size())}}) {
        auto damaged = bytes;
        if (damage == bytes.size() - 1)
            damaged.pop_back();
        else
            damaged[damage] ^= 0x10;
        writeFile(file, damaged);
        EXPECT_EQ(history.list(image).at(0).damage, reason);
        EXPECT_EQ(failureOf([&] { history.restoreNewest(image); }),
                  "Nothing was written: the newest backup of " + quoted(image) + ", " + quoted(file) +
                      ", is damaged (" + reason + "); remove it to restore an older one");
        EXPECT_EQ(readFile(image), afterPatch);
    }
}

// Backups of the first format (a 64-bit FNV-1a hash in place of the CRC) stay
// readable: a person may have patched with an older version.
TEST_F(PatchHistoryTest, RestoresABackupOfTheFirstFormat) {
    patch(image, 1);
    const auto file = history.list(image).at(0).file;
    auto bytes = readFile(file);
    ASSERT_EQ(bytes[8], 2) << "the format this version writes";
    bytes[8] = 1;
    std::uint64_t hash = 0xcbf29ce484222325;
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i) hash = (hash ^ bytes[i]) * 0x100000001b3;
    for (std::size_t i = 0; i < 8; ++i) bytes[bytes.size() - 8 + i] = static_cast<Byte>(hash >> (8 * i));
    writeFile(file, bytes);

    EXPECT_EQ(history.list(image).at(0).damage, "");
    history.restoreNewest(image);
    EXPECT_EQ(readFile(image), original);

    patch(image, 2);
    auto later = readFile(history.list(image).at(0).file);
    later[8] = 3;
    writeFile(history.list(image).at(0).file, later);
    EXPECT_EQ(history.list(image).at(0).damage, "its format version is 3; this program reads versions 1 to 2");
}

TEST_F(PatchHistoryTest, WritesNothingWhenTheBackupCannotBeKept) {
    writeFile(dir / "history", {1});  // a file where the folder should be
    const std::string failure = failureOf([&] { patch(image, 1); });
    EXPECT_EQ(failure.rfind("Nothing was written: Cannot keep a backup of " + quoted(image) + " in " +
                                quoted(dir / "history") + ": cannot create the folder: ",
                            0),
              0u)
        << failure;
    EXPECT_EQ(readFile(image), original);
}

TEST(PatchHistoryFolder, IsTheProgramsFolderInTheUsersDataFolder) {
    EXPECT_EQ(PatchHistory::forUser().folder(), testing::testUserDataFolder() / "tolvane-editor");
    TempDir elsewhere;
    testing::UserDataFolder scoped(elsewhere.path());
    EXPECT_EQ(PatchHistory::forUser().folder(), elsewhere.path() / "tolvane-editor");
}

// A patch that failed and left the image as it was leaves no backup behind, and
// the backups before it stay, oldest included.
TEST_F(PatchHistoryTest, AFailedPatchLeavesTheHistoryAsItWas) {
    for (unsigned seed = 1; seed <= kKeptBackups; ++seed) patch(image, seed);
    const auto before = history.list(image);
    const auto afterLast = readFile(image);
    injectFileFault(FileOperation::Flush, EIO);
    EXPECT_NE(failureOf([&] { patch(image, 9); }).find("so the image is as before"), std::string::npos);
    clearFileFaults();
    EXPECT_EQ(readFile(image), afterLast);
    const auto after = history.list(image);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].file, before[i].file);
    history.restoreNewest(image);
    EXPECT_EQ(logoIn(image), patternLogo(kKeptBackups - 1));
}

#ifndef _WIN32
TEST(RestoreCommand, NamesTheImageByItsFullPathQuotedForAShell) {
    EXPECT_EQ(restoreCommand("/discs/it's $HOME.bin"), "tolvane restore '/discs/it'\\''s $HOME.bin'");
    EXPECT_EQ(restoreCommand("game.bin"),
              "tolvane restore '" + (std::filesystem::current_path() / "game.bin").string() + "'");
}
#endif

TEST_F(PatchHistoryTest, ACueSheetFindsTheHistoryOfItsImage) {
    writeFile(dir / "game.cue",
              {'F', 'I', 'L', 'E', ' ', 'g', 'a', 'm', 'e', '.', 'b', 'i', 'n', ' ', 'B', 'I', 'N', 'A', 'R', 'Y', '\n',
               'T', 'R', 'A', 'C', 'K', ' ', '0', '1', ' ', 'M', 'O', 'D', 'E', '2', '/', '2', '3', '5', '2', '\n'});
    patch(image, 1);  // the editor patches the image file a sheet names
    EXPECT_EQ(history.list(dir / "game.cue").size(), 1u);
    history.restoreNewest(dir / "game.cue");
    EXPECT_EQ(readFile(image), original);
}

}  // namespace
}  // namespace tolvane
