#include "logo/disc/sector_checks.h"

#include "logo/disc/disc_image_layout.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <type_traits>

namespace tolvane {
namespace {

using testing::makeRawImage;
using testing::makeRawSector;
using testing::patternLogo;
using testing::readFile;
using testing::testData;

constexpr std::size_t kSector = kRawSectorSize;

ImagePrefix prefixOf(const std::vector<Byte>& image) {
    ImagePrefix prefix;
    std::copy_n(image.begin(), prefix.size(), prefix.bytes().begin());
    return prefix;
}

// Sectors whose check fields come from elsewhere (tests/data/README.md), each
// as logo sector 0 of an image of its layout: it reads as valid, and a patch
// that gives it its own user data again makes its check fields byte for byte.
TEST(SectorChecks, MakeTheCheckFieldsOfVectorsFromElsewhereByteForByte) {
    const struct {
        const char* file;
        const ImageLayout& layout;
        SectorMode mode;
        std::size_t edcAt;  // in the whole sector; the check fields run from here to its end
    } vectors[] = {
        {"m2f1-lba0-zeros.bin", kRawMode2Layout, SectorMode::Mode2Form1, 2072},
        {"m2f1-lba5-ramp.bin", kRawMode2Layout, SectorMode::Mode2Form1, 2072},
        {"m1-lba16-ramp.bin", kRawMode1Layout, SectorMode::Mode1, 2064},
        {"m2f2-lba9-ramp.bin", kRawMode2Layout, SectorMode::Mode2Form2, 2348},
        {"m2f1-2336-lba3-ramp.bin", kMode2Sector2336Layout, SectorMode::Mode2Form1, 2072},
    };
    for (const auto& v : vectors) {
        const auto vector = readFile(testData(v.file));
        ASSERT_EQ(vector.size(), v.layout.sectorSize) << v.file;
        ImagePrefix asRead(v.layout);
        std::fill(asRead.bytes().begin(), asRead.bytes().end(), Byte{0x55});  // no valid sector
        std::copy(vector.begin(), vector.end(), asRead.bytes().begin());
        const SectorState state = inspectSector(wholeSector(asRead, 0));
        EXPECT_EQ(state.mode, v.mode) << v.file;
        EXPECT_TRUE(state.checksValid()) << v.file;

        ImagePrefix patched = asRead;
        std::fill_n(patched.bytes().begin() + static_cast<std::ptrdiff_t>(v.edcAt - v.layout.rawOffset),
                    kRawSectorSize - v.edcAt, Byte{0});
        EXPECT_EQ(refreshCheckFields(patched, asRead), 1u) << v.file;
        EXPECT_TRUE(std::equal(vector.begin(), vector.end(), patched.bytes().begin())) << v.file;
    }
    const auto zeros = readFile(testData("m2f1-lba0-zeros.bin"));
    EXPECT_EQ(computeEdc(std::span<const Byte>(zeros).subspan(16, 2056)), 0x9481880Bu);
}

TEST(SectorChecks, AChangedUserDataByteChangesOnlyItselfAndTheCheckFields) {
    const auto original = readFile(testData("m2f1-lba5-ramp.bin"));
    ASSERT_EQ(original.size(), kSector);
    auto changed = original;
    const RawSector sector = rawSector(std::span<Byte>(changed), 0);
    changed[24 + 1000] ^= 0x5A;
    EXPECT_FALSE(inspectSector(sector).edcValid);
    EXPECT_FALSE(inspectSector(sector).eccValid);
    ASSERT_TRUE(writeCheckFields(sector));
    EXPECT_TRUE(inspectSector(sector).checksValid());
    for (std::size_t i = 0; i < 2072; ++i) {
        if (i == 1024) continue;
        ASSERT_EQ(changed[i], original[i]) << i;
    }
    EXPECT_FALSE(std::equal(changed.begin() + 2072, changed.end(), original.begin() + 2072));
}

SectorState stateOf(const std::vector<Byte>& sector) {
    return inspectSector(rawSector(std::span<const Byte>(sector), 0));
}

// The EDC's CRC one bit at a time, straight from its definition.
std::uint32_t bitwiseEdc(std::span<const Byte> bytes) {
    std::uint32_t value = 0;
    for (Byte b : bytes) {
        value ^= b;
        for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xD8018001u : 0u);
    }
    return value;
}

// computeEdc takes many bytes a step: every length, short ones and ones that
// end part way through a step, at every alignment, must give the plain CRC.
TEST(SectorChecks, EdcIsThePlainCrcAtAnyLengthAndAlignment) {
    std::mt19937 random(2352);
    std::vector<Byte> bytes(4096);
    for (Byte& b : bytes) b = static_cast<Byte>(random());
    const std::span<const Byte> all(bytes);
    for (std::size_t offset = 0; offset < 16; ++offset)
        for (std::size_t length = 0; length <= 40; ++length)
            ASSERT_EQ(computeEdc(all.subspan(offset, length)), bitwiseEdc(all.subspan(offset, length)))
                << offset << " + " << length;
    for (int i = 0; i < 200; ++i) {
        const std::size_t offset = random() % 64, length = random() % (bytes.size() - 64);
        ASSERT_EQ(computeEdc(all.subspan(offset, length)), bitwiseEdc(all.subspan(offset, length)))
            << offset << " + " << length;
        // Going on from the CRC of a first part gives the CRC of the whole.
        const std::size_t split = random() % (length + 1);
        ASSERT_EQ(computeEdc(all.subspan(offset + split, length - split), computeEdc(all.subspan(offset, split))),
                  bitwiseEdc(all.subspan(offset, length)))
            << offset << " + " << split << " + " << length - split;
    }
}

// The ECC covers every byte from 12 on, the Mode 2 header excepted: changing any
// one of them must make the stored ECC wrong. A lane or row the ECC skipped shows here.
TEST(SectorChecks, EveryByteTheEccCoversCounts) {
    const auto form1 = readFile(testData("m2f1-lba5-ramp.bin"));
    ASSERT_EQ(form1.size(), kSector);
    for (const auto& original : {form1, makeRawSector(7, 1)}) {
        const bool mode2 = original[15] == 2;
        for (std::size_t i = 12; i < kSector; ++i) {
            if (i == 15) continue;  // the mode byte: another mode
            auto changed = original;
            changed[i] ^= 0x01;
            const bool header = i < 16;
            ASSERT_EQ(stateOf(changed).eccValid, mode2 && header) << "mode " << int(original[15]) << ", byte " << i;
        }
    }
}

TEST(SectorChecks, Mode1EccCoversTheRealHeaderAndMode2IgnoresIt) {
    auto mode1 = makeRawSector(20, 1);
    ASSERT_TRUE(stateOf(mode1).checksValid());
    mode1[12] ^= 0x01;  // the address is part of the Mode 1 ECC
    EXPECT_FALSE(stateOf(mode1).eccValid);

    auto form1 = makeRawSector(20, 2);
    ASSERT_TRUE(stateOf(form1).checksValid());
    form1[12] ^= 0x01;  // Mode 2 computes its ECC with the header taken as zero
    EXPECT_TRUE(stateOf(form1).checksValid());
}

TEST(SectorChecks, TellModesApart) {
    EXPECT_EQ(stateOf(makeRawSector(3, 2, true)).mode, SectorMode::Mode2Form2);
    EXPECT_TRUE(stateOf(makeRawSector(3, 2, true)).checksValid());
    EXPECT_EQ(stateOf(makeRawSector(3, 1)).mode, SectorMode::Mode1);
    EXPECT_EQ(stateOf(std::vector<Byte>(kSector, 0)).mode, SectorMode::NoSync);
    auto odd = makeRawSector(3, 2);
    odd[15] = 7;
    EXPECT_EQ(stateOf(odd).mode, SectorMode::Unknown);
}

// A sector is a span of exactly 2352 bytes: a longer or shorter buffer cannot be
// passed by mistake, and cutting one out of too few bytes fails.
static_assert(!std::is_invocable_v<decltype(inspectSector), std::span<const Byte>>);
static_assert(!std::is_invocable_v<decltype(writeCheckFields), std::span<Byte>>);

TEST(SectorChecks, CuttingASectorPastTheEndOfTheBytesFails) {
    const std::vector<Byte> twoAndABit(2 * kSector + 100);
    EXPECT_EQ(rawSector(std::span<const Byte>(twoAndABit), 1).data(), twoAndABit.data() + kSector);
    EXPECT_THROW(rawSector(std::span<const Byte>(twoAndABit), 2), std::out_of_range);
}

TEST(RefreshCheckFields, MakesEveryPatchedLogoSectorValidAgain) {
    const auto image = makeRawImage(13);
    const ImagePrefix asRead = prefixOf(image);
    ImagePrefix patched = asRead;
    insertLogo(patternLogo(3), patched);
    EXPECT_FALSE(inspectSector(rawSector(patched.bytes(), 0)).checksValid()) << "the new logo invalidates them";

    EXPECT_EQ(refreshCheckFields(patched, asRead), 12u);
    for (std::size_t n = 0; n < 12; ++n)
        EXPECT_TRUE(inspectSector(rawSector(patched.bytes(), n)).checksValid()) << "sector " << n;
    EXPECT_EQ(extractLogo(patched).logo, patternLogo(3));
    EXPECT_TRUE(std::equal(patched.bytes().begin() + 12 * kSector, patched.bytes().end(),
                           asRead.bytes().begin() + 12 * kSector));
    for (std::size_t n = 0; n < 12; ++n)  // sync, header and subheader stay
        EXPECT_TRUE(std::equal(asRead.bytes().begin() + n * kSector, asRead.bytes().begin() + n * kSector + 24,
                               patched.bytes().begin() + n * kSector));
}

TEST(RefreshCheckFields, LeavesSectorsThatWereNotValidOrOfAnotherModeAsTheyWere) {
    auto image = makeRawImage(13);
    std::fill(image.begin() + 2072, image.begin() + kSector, Byte{0});  // sector 0: zeroed check fields
    image[kSector + 2100] ^= 1;                                         // sector 1: valid EDC, damaged ECC
    const auto form2 = makeRawSector(2, 2, true);                       // sector 2: Form 2, EDC only
    std::copy(form2.begin(), form2.end(), image.begin() + 2 * kSector);
    const auto mode1 = makeRawSector(3, 1);  // sector 3: Mode 1 in a Mode 2 image
    std::copy(mode1.begin(), mode1.end(), image.begin() + 3 * kSector);

    const ImagePrefix asRead = prefixOf(image);
    ImagePrefix patched = asRead;
    insertLogo(patternLogo(1), patched);
    const ImagePrefix userDataOnly = patched;
    EXPECT_EQ(refreshCheckFields(patched, asRead), 9u);
    for (std::size_t n : {0, 1, 3})
        EXPECT_TRUE(std::equal(userDataOnly.bytes().begin() + n * kSector,
                               userDataOnly.bytes().begin() + (n + 1) * kSector, patched.bytes().begin() + n * kSector))
            << "sector " << n;
    // The Form 2 sector gets its EDC (2348-2351) and nothing else.
    const auto sector2 = rawSector(patched.bytes(), 2);
    EXPECT_TRUE(inspectSector(sector2).checksValid());
    for (std::size_t i = 0; i < 2348; ++i) ASSERT_EQ(sector2[i], userDataOnly.bytes()[2 * kSector + i]) << i;
    EXPECT_TRUE(inspectSector(rawSector(patched.bytes(), 4)).checksValid());
}

TEST(RefreshCheckFields, KeepsTheChecksOf2336ByteSectorsWithoutTheirHeader) {
    const auto raw = makeRawImage(12);
    ImagePrefix asRead(kMode2Sector2336Layout);
    for (std::size_t n = 0; n < 12; ++n)
        std::copy(raw.begin() + n * kSector + 16, raw.begin() + (n + 1) * kSector, asRead.bytes().begin() + n * 2336);
    ImagePrefix patched = asRead;
    insertLogo(patternLogo(2), patched);
    EXPECT_EQ(refreshCheckFields(patched, asRead), 12u);
    for (std::size_t n = 0; n < 12; ++n) {
        EXPECT_TRUE(inspectSector(wholeSector(patched, n)).checksValid()) << n;
        for (std::size_t i = 0; i < 8; ++i)  // the subheader stays
            ASSERT_EQ(patched.bytes()[n * 2336 + i], asRead.bytes()[n * 2336 + i]);
    }
    EXPECT_EQ(extractLogo(patched).logo, patternLogo(2));
}

TEST(RefreshCheckFields, LeavesAnImageWithoutSectorHeadersAlone) {
    const ImagePrefix asRead = prefixOf(testing::makeImage(30000));
    ImagePrefix patched = asRead;
    insertLogo(patternLogo(), patched);
    const ImagePrefix before = patched;
    EXPECT_EQ(refreshCheckFields(patched, asRead), 0u);
    EXPECT_EQ(patched, before);
}

}  // namespace
}  // namespace tolvane
