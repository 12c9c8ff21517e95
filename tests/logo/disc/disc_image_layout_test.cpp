#include "logo/disc/disc_image_layout.h"

#include "logo/disc/disc_image.h"

#include "logo/base/failure.h"
#include "logo/files/file_io.h"
#include "support/file_faults.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <fstream>

namespace tolvane {
namespace {

using testing::failureOf;
using testing::imageByte;
using testing::makeImage;
using testing::patternLogo;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr std::size_t kPrefix = 28248;

bool isUserData(std::size_t offset) {
    const std::size_t sector = offset / 2352, within = offset % 2352;
    return sector < 12 && within >= 24 && within < 24 + 2048;
}

TEST(ImageLayout, RawMode2PrefixRunsTwentyFourBytesIntoSectorTwelve) {
    EXPECT_EQ(kRawMode2Layout.prefixLength, 28248u);
    EXPECT_EQ(kRawMode2Layout.payloadOffset(0), 24u);
    EXPECT_EQ(kRawMode2Layout.payloadOffset(1), 2376u);
    EXPECT_EQ(kRawMode2Layout.payloadOffset(11) + kUserDataLength - 1, 27943u);
}

TEST(ExtractLogo, TakesEachSectorsUserDataInOrder) {
    ImagePrefix prefix;
    const auto image = makeImage(kPrefix);
    std::copy(image.begin(), image.end(), prefix.bytes().begin());

    const ExtractedLogo extracted = extractLogo(prefix);
    for (std::size_t k = 0; k < kLogoLength; ++k) {
        const std::size_t offset = (k / 2048) * 2352 + 24 + k % 2048;
        ASSERT_EQ(extracted.logo[k], imageByte(offset)) << "logo byte " << k;
    }
    for (std::size_t i = 0; i < kLogoSectors; ++i)
        EXPECT_EQ(extracted.payloads[i][0], imageByte(i * 2352 + 24)) << "payload " << i;
}

TEST(ExtractLogo, KeepsEveryByteValue) {
    ImagePrefix prefix;
    for (std::size_t i = 0; i < prefix.size(); ++i) prefix.bytes()[i] = static_cast<Byte>(i % 256);
    const LogoImage logo = extractLogo(prefix).logo;
    for (std::size_t k = 0; k < kLogoLength; ++k)
        ASSERT_EQ(logo[k], static_cast<Byte>(((k / 2048) * 2352 + 24 + k % 2048) % 256));
}

TEST(InsertLogo, ChangesOnlyTheTwelveUserDataAreas) {
    ImagePrefix prefix;
    const auto image = makeImage(kPrefix);
    std::copy(image.begin(), image.end(), prefix.bytes().begin());
    const LogoImage logo = patternLogo(3);

    insertLogo(logo, prefix);
    const SectorPayloads payloads = extractLogo(prefix).payloads;
    ASSERT_EQ(prefix.size(), kPrefix);
    for (std::size_t offset = 0; offset < kPrefix; ++offset) {
        if (isUserData(offset)) continue;
        ASSERT_EQ(prefix.bytes()[offset], image[offset]) << "offset " << offset;
    }
    EXPECT_EQ(extractLogo(prefix).logo, logo);
    EXPECT_EQ(payloads[11][2047], logo[kLogoLength - 1]);
    EXPECT_EQ(payloads[1][0], logo[2048]);
}

TEST(InsertLogo, OfTheExtractedLogoLeavesThePrefixUnchanged) {
    ImagePrefix prefix;
    const auto image = makeImage(kPrefix);
    std::copy(image.begin(), image.end(), prefix.bytes().begin());
    const ImagePrefix before = prefix;
    insertLogo(extractLogo(prefix).logo, prefix);
    EXPECT_EQ(prefix, before);
}

class ImageFileTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ImageFileTest, ReadsExactlyThePrefixOfAnImageOfThatLength) {
    const auto path = dir / "exact.bin";
    writeFile(path, makeImage(kPrefix));
    const ImagePrefix prefix = testing::readPrefix(path);
    EXPECT_TRUE(std::equal(prefix.bytes().begin(), prefix.bytes().end(), makeImage(kPrefix).begin()));
}

TEST_F(ImageFileTest, RefusesAnImageOneByteShort) {
    const auto path = dir / "short.bin";
    writeFile(path, makeImage(kPrefix - 1));
    EXPECT_EQ(failureOf([&] { testing::readPrefix(path); }),
              quoted(path) +
                  " is too short: the logo lies in the first 28248 bytes of a disc image, and this file has only "
                  "28247; open the whole image (its .bin or .iso file, or its .cue sheet)");
}

TEST_F(ImageFileTest, NamesAMissingImageAndTheReason) {
    const auto path = dir / "missing.bin";
    EXPECT_EQ(failureOf([&] { testing::readPrefix(path); }),
              "Cannot open " + quoted(path) + " for reading: No such file or directory");
}

TEST_F(ImageFileTest, OpensPathsWithSpacesAndNonAsciiLetters) {
    const auto path = dir.path() / u8"Jeux d\u00e9j\u00e0 vus \u00e4\u00f6 \u65e5\u672c.bin";
    writeFile(path, makeImage(30000));
    EXPECT_EQ(extractLogo(testing::readPrefix(path)).logo[0], imageByte(24));
    EXPECT_NE(quoted(path).find("d\xc3\xa9j\xc3\xa0"), std::string::npos);
}

TEST_F(ImageFileTest, WritesThePrefixInPlaceAndKeepsTheRest) {
    const auto path = dir / "game.bin";
    const auto original = makeImage(3 * kPrefix + 17);
    writeFile(path, original);
    const ImagePrefix asRead = testing::readPrefix(path);
    ImagePrefix changed = asRead;
    insertLogo(patternLogo(1), changed);

    testing::writePrefix(path, changed);

    const auto after = readFile(path);
    ASSERT_EQ(after.size(), original.size());
    EXPECT_TRUE(std::equal(changed.bytes().begin(), changed.bytes().end(), after.begin()));
    EXPECT_TRUE(std::equal(after.begin() + kPrefix, after.end(), original.begin() + kPrefix));
    EXPECT_EQ(extractLogo(testing::readPrefix(path)).logo, patternLogo(1));
}

TEST_F(ImageFileTest, PatchNeverCreatesAMissingImage) {
    const auto path = dir / "gone.bin";
    ImagePrefix prefix;
    EXPECT_EQ(failureOf([&] { testing::writePrefix(path, prefix); }),
              "Cannot open " + quoted(path) + " for writing: No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ImageFileTest, PatchWritesNothingIntoAnImageThatShrank) {
    const auto path = dir / "game.bin";
    writeFile(path, makeImage(kPrefix + 100));
    ImagePrefix changed = testing::readPrefix(path);
    insertLogo(patternLogo(2), changed);

    const auto shortened = makeImage(kPrefix - 48);
    writeFile(path, shortened);
    EXPECT_NE(
        failureOf([&] {
            testing::writePrefix(path, changed);
        }).find("too short: the logo lies in the first 28248 bytes of a disc image, and this file has only 28200"),
        std::string::npos);
    EXPECT_EQ(readFile(path), shortened);
}

TEST_F(ImageFileTest, PatchesASparseMultiGigabyteImageWithoutTouchingItsTail) {
    const auto path = dir / "big.bin";
    const std::uint64_t length = 5ull * 1024 * 1024 * 1024 + 3;
    writeFile(path, makeImage(kPrefix + 1));
    const std::vector<Byte> tailMark{0xDE, 0xAD, 0xBE, 0xEF};
    {
        File file = File::openForUpdate(path);
        file.writeAt(length - tailMark.size(), tailMark);
        file.close();
    }
    ASSERT_EQ(std::filesystem::file_size(path), length);

    const ImagePrefix asRead = testing::readPrefix(path);
    ImagePrefix changed = asRead;
    insertLogo(patternLogo(4), changed);
    testing::writePrefix(path, changed);

    EXPECT_EQ(std::filesystem::file_size(path), length);
    File file = File::openForReading(path);
    std::vector<Byte> after(kPrefix + 1), tail(4);
    file.readAt(0, after);
    file.readAt(length - 4, tail);
    EXPECT_EQ(tail, tailMark);
    EXPECT_EQ(after[kPrefix], imageByte(kPrefix));  // first byte past the prefix
    EXPECT_EQ(extractLogo(testing::readPrefix(path)).logo, patternLogo(4));
}

// A patch that meets a full disk, a broken disk or another writer: the image
// ends as it was, and the message says so.
class GuardedPatch : public ::testing::Test {
protected:
    GuardedPatch() {
        writeFile(path, original);
        asRead = testing::readPrefix(path);
        changed = asRead;
        insertLogo(patternLogo(3), changed);
    }
    ~GuardedPatch() override { clearFileFaults(); }
    std::string patch() {
        return failureOf([&] { testing::writePrefix(path, changed); });
    }

    TempDir dir;
    std::filesystem::path path = dir / "game.bin";
    std::vector<Byte> original = makeImage(30000);
    ImagePrefix asRead, changed;
};

TEST_F(GuardedPatch, WritesNothingWhenTheSpaceCannotBeReserved) {
    injectFileFault(FileOperation::Reserve, ENOSPC);
    EXPECT_EQ(patch(),
              "Nothing was written: Cannot reserve disk space for " + quoted(path) + ": " + std::strerror(ENOSPC));
    EXPECT_EQ(readFile(path), original);
}

TEST_F(GuardedPatch, SaysWhereTheImageStandsAfterAFailedWriteOrFlush) {
    const std::string failed = "Cannot write " + quoted(path) + ": " + std::strerror(ENOSPC) + "; ";
    injectFileFault(FileOperation::Write, ENOSPC, 0);
    EXPECT_EQ(patch(), failed + "the image is untouched");
    EXPECT_EQ(readFile(path), original);

    injectFileFault(FileOperation::Write, ENOSPC, 9000);
    EXPECT_EQ(patch(), failed + "its first 28248 bytes were put back as they were, so the image is as before");
    EXPECT_EQ(readFile(path), original);

    injectFileFault(FileOperation::Flush, EIO);
    EXPECT_EQ(patch(), "Cannot flush to disk " + quoted(path) + ": " + std::strerror(EIO) +
                           "; its first 28248 bytes were put back as they were, so the image is as before");
    EXPECT_EQ(readFile(path), original);
}

TEST_F(GuardedPatch, SavesTheFirstBytesBesideTheImageWhenPuttingThemBackFails) {
    injectFileFault(FileOperation::Write, ENOSPC, 9000);
    injectFileFault(FileOperation::Write, EIO, 100);
    const std::string failure = patch();
    EXPECT_NE(failure.find("putting its first bytes back failed too (Cannot write " + quoted(path)), std::string::npos)
        << failure;
    const auto at = failure.find("its first 28248 bytes as they were are saved in \"");
    ASSERT_NE(at, std::string::npos) << failure;
    const std::string rescue = failure.substr(at + 49, failure.find('"', at + 49) - at - 49);
    EXPECT_EQ(std::filesystem::path(rescue).parent_path(), dir.path());
    const auto saved = readFile(rescue);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), original.begin()));
    EXPECT_EQ(saved.size(), 28248u);
}

TEST_F(GuardedPatch, ASecondWriterWaitsThenRefusesWhileTheFirstHoldsTheImage) {
    const std::string refused =
        "Nothing was written: another program is writing " + quoted(path) + "; try again when it has finished";
#ifndef _WIN32
    {  // a program that locks with flock(2), as flock(1) does
        const int other = ::open(path.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(other, LOCK_EX), 0);
        EXPECT_EQ(patch(), refused);
        ::close(other);
    }
#endif
    DiscImage first = DiscImage::open(path, ImageAccess::Update);
    EXPECT_EQ(patch(), refused);
    EXPECT_EQ(readFile(path), original);
    first.close();
    EXPECT_TRUE(testing::writePrefix(path, changed));
    EXPECT_FALSE(testing::writePrefix(path, changed)) << "the file already holds these bytes";
}

}  // namespace
}  // namespace tolvane
