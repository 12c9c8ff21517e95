#include "logo/patch/patch_file.h"
#include "logo/patch/ppf.h"
#include "logo/patch/vcdiff.h"

#include "support/ppf_reader.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>

namespace tolvane {
namespace {

using testing::applyPpf;
using testing::TempDir;
using testing::writeFile;

std::vector<Byte> counting(std::size_t length, Byte from = 0) {
    std::vector<Byte> bytes(length);
    std::iota(bytes.begin(), bytes.end(), from);
    return bytes;
}

TEST(ChangedRuns, JoinRunsAcrossGapsUpToTheLongestAndNoFurther) {
    const std::vector<Byte> before = counting(20);
    const struct {
        std::vector<std::size_t> changed;
        std::vector<ChangedRun> runs;  // with gaps of at most 3 joined
    } cases[] = {
        {{}, {}},
        {{0, 19}, {{0, 1}, {19, 20}}},
        {{2, 3, 4}, {{2, 5}}},
        {{2, 6}, {{2, 7}}},          // a gap of 3
        {{2, 7}, {{2, 3}, {7, 8}}},  // of 4
        {{5, 9, 13, 18}, {{5, 14}, {18, 19}}},
    };
    for (const auto& c : cases) {
        std::vector<Byte> after = before;
        for (std::size_t i : c.changed) after[i] ^= 0x80;
        EXPECT_EQ(changedRuns({100, 7, before, after}, 3), c.runs) << c.changed.size() << " changed";
    }
    const std::vector<Byte> shorter(19);
    EXPECT_THROW(changedRuns({100, 7, before, shorter}, 3), std::invalid_argument);
    EXPECT_THROW(changedRuns({26, 7, before, before}, 3), std::invalid_argument);  // past the end
}

// Worked out by hand from RFC 3284: COPY 12 from 0, ADD AA BB, COPY 7 from 14,
// ADD CC, COPY 18 from 22, in one window whose source segment is the whole file.
TEST(Vcdiff, WritesTheDeltaOfAChangeByteForByte) {
    const std::vector<Byte> before = counting(12);
    std::vector<Byte> after = before;
    after[2] = 0xAA, after[3] = 0xBB, after[11] = 0xCC;
    // clang-format off
    const std::vector<Byte> expected{
        0xD6, 0xC3, 0xC4, 0x00, 0x00,  // header: no compression, no code table, no application data
        0x01, 40, 0, 16,               // VCD_SOURCE, source segment of 40 bytes at 0; delta of 16 bytes
        40, 0x00, 3, 5, 3,             // target window of 40 bytes; no compression; data, instructions, addresses
        0xAA, 0xBB, 0xCC,              // data of the ADDs
        0x1C, 0x03, 0x17, 0x02, 0x22,  // COPY 12, ADD 2, COPY 7, ADD 1, COPY 18 (default code table)
        0, 14, 22};                    // the COPYs' addresses, mode VCD_SELF
    // clang-format on
    EXPECT_EQ(encodeVcdiff({40, 10, before, after}), expected);
}

// The windows of a delta: target length, source segment length and position,
// and the bytes its ADDs carry.
struct WindowHeader {
    std::uint64_t length, segmentLength, segmentPosition, added;
};

std::uint64_t readInteger(const std::vector<Byte>& bytes, std::size_t& at) {
    std::uint64_t value = 0;
    for (;;) {
        const Byte b = bytes.at(at++);
        value = value << 7 | (b & 0x7F);
        if (!(b & 0x80)) return value;
    }
}

std::vector<WindowHeader> windowsOf(const std::vector<Byte>& delta) {
    std::vector<WindowHeader> windows;
    std::size_t at = 5;
    while (at < delta.size()) {
        EXPECT_EQ(delta[at++], 0x01) << "a window that does not copy from the source";
        WindowHeader window{};
        window.segmentLength = readInteger(delta, at);
        window.segmentPosition = readInteger(delta, at);
        const std::uint64_t length = readInteger(delta, at);
        std::size_t inside = at;
        window.length = readInteger(delta, inside);
        ++inside;  // Delta_Indicator
        window.added = readInteger(delta, inside);
        at += length;
        windows.push_back(window);
    }
    EXPECT_EQ(at, delta.size());
    return windows;
}

// A file past 4 GiB whose change straddles the end of the first window: the
// windows tile the file, none longer than xdelta3 decodes, each copying from
// the same stretch of the file, and the delta stays small.
TEST(Vcdiff, CutsAFileOfAnyLengthIntoWindowsOfAtMost16MiB) {
    const std::uint64_t fileSize = (std::uint64_t{5} << 30) + 12345;
    const std::vector<Byte> before(30000, 0x11), after(30000, 0x22);
    const std::vector<Byte> delta = encodeVcdiff({fileSize, kVcdiffWindowLength - 1000, before, after});
    const std::vector<WindowHeader> windows = windowsOf(delta);
    ASSERT_EQ(windows.size(), 321u);
    std::uint64_t covered = 0;
    for (const WindowHeader& w : windows) {
        EXPECT_EQ(w.segmentPosition, covered);
        EXPECT_EQ(w.segmentLength, w.length);
        EXPECT_LE(w.length, kVcdiffWindowLength);
        covered += w.length;
    }
    EXPECT_EQ(covered, fileSize);
    EXPECT_EQ(windows[0].added, 1000u);
    EXPECT_EQ(windows[1].added, 29000u);
    EXPECT_EQ(windows.back().length, 12345u);
    EXPECT_LT(delta.size(), 30000u + 321 * 26);
}

// The worst changes a logo's prefix can have, in the largest PS2 disc (a
// dual-layer DVD): every byte, or every other; patch files stay under 64 KB.
TEST(PatchFiles, StayUnder64KiBForTheWorstChangeOfThePrefix) {
    const std::uint64_t dualLayerDvd = 8'547'991'552;
    const std::vector<Byte> before(28248, 0x00), block(kPpfCheckBlockLength, 0x00);
    std::vector<Byte> everyOther = before;
    for (std::size_t i = 0; i < everyOther.size(); i += 2) everyOther[i] = 0xFF;
    for (const std::vector<Byte>& after : {std::vector<Byte>(28248, 0xFF), everyOther})
        for (const PatchFileKind kind : {PatchFileKind::Vcdiff, PatchFileKind::Ppf})
            EXPECT_LT(encodePatchFile(kind, {dualLayerDvd, 0, before, after}, "", block).size(), 65536u)
                << describe(kind);
}

TEST(Ppf, LaysOutItsHeaderAndCarriesEachRunWithItsUndoData) {
    TempDir dir;
    const std::vector<Byte> file = counting(40000, 7);
    std::vector<Byte> before(file.begin() + 100, file.begin() + 1100), after = before;
    for (std::size_t i = 10; i < 610; ++i) after[i] = static_cast<Byte>(~after[i]);  // 600 bytes: 255 + 255 + 90
    after[614] ^= 1;  // 4 unchanged bytes apart: the same record
    after[900] ^= 1;
    const std::vector<Byte> block(file.begin() + kPpfCheckBlockOffset,
                                  file.begin() + kPpfCheckBlockOffset + kPpfCheckBlockLength);
    const std::vector<Byte> patch = encodePpf({file.size(), 100, before, after}, "SLUS_200.01", block);

    EXPECT_EQ(std::string(patch.begin(), patch.begin() + 6), "PPF30\x02");
    EXPECT_EQ(std::string(patch.begin() + 6, patch.begin() + 56), "SLUS_200.01" + std::string(39, ' '));
    EXPECT_EQ(std::vector<Byte>(patch.begin() + 56, patch.begin() + 60), (std::vector<Byte>{0, 1, 1, 0}));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), patch.begin() + 60));
    const std::size_t records = 4, carried = 605 + 1;
    EXPECT_EQ(patch.size(), 60 + 1024 + records * 9 + 2 * carried);
    const std::size_t first = 60 + 1024;
    EXPECT_EQ(std::vector<Byte>(patch.begin() + first, patch.begin() + first + 9),
              (std::vector<Byte>{110, 0, 0, 0, 0, 0, 0, 0, 255}));

    writeFile(dir / "image.bin", file);
    EXPECT_TRUE(applyPpf(patch, dir / "image.bin").blockCheck);
    std::vector<Byte> patched = file;
    std::copy(after.begin(), after.end(), patched.begin() + 100);
    EXPECT_EQ(testing::readFile(dir / "image.bin"), patched);
    applyPpf(patch, dir / "image.bin", true);
    EXPECT_EQ(testing::readFile(dir / "image.bin"), file);
}

TEST(Ppf, LeavesTheBlockCheckOutForAShortFileAndCutsALongDescription) {
    const std::vector<Byte> before(10, 1), after(10, 2);
    const std::vector<Byte> patch = encodePpf({38687, 0, before, after}, std::string(60, 'x'), {});
    EXPECT_EQ(std::string(patch.begin() + 6, patch.begin() + 56), std::string(50, 'x'));
    EXPECT_EQ(patch[57], 0);
    EXPECT_EQ(patch.size(), 60u + 9 + 20);
    EXPECT_THROW(encodePpf({38688, 0, before, after}, "", std::vector<Byte>(1000)), std::invalid_argument);
}

TEST(PatchFiles, TakeTheirKindFromTheNamesExtensionInAnyCase) {
    const struct {
        const char* name;
        std::optional<PatchFileKind> kind;
    } cases[] = {
        {"logo.xdelta", PatchFileKind::Vcdiff},
        {"LOGO.VCDIFF", PatchFileKind::Vcdiff},
        {"a.b.Ppf", PatchFileKind::Ppf},
        {"logo.ppf.bmp", std::nullopt},
        {"xdelta", std::nullopt},
        {"logo.xdelta3", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(patchFileKindFor(c.name), c.kind) << c.name;
}

}  // namespace
}  // namespace tolvane
