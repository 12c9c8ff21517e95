// Patches of CHDs made by chdman, at test time, of our own discs (Linux only:
// chdman runs here): what chdman reads of a patched CHD, what cannot be patched,
// and every interruption; and our SHA-1.
#include "logo/chd/chd_discs.h"
#include "logo/chd/chd_image.h"
#include "logo/chd/chd_patch.h"
#include "logo/disc/chd_writes.h"

#include "logo/disc/disc_image.h"
#include "logo/disc/sector_checks.h"
#include "support/disc_builder.h"
#include "support/file_faults.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>

namespace tolvane {
namespace {

using testing::chdman;
using testing::failureOf;
using testing::readFile;
using testing::slice;
using testing::TempDir;
using testing::writeFile;

constexpr std::size_t kSectors = kChdDiscSectors;

// The patch of `bytes` at `discOffset` into the CHD at path, planned as the disc
// image plans it, reading through file.
ChdPatch planned(File& file, const std::filesystem::path& path, std::uint64_t discOffset, std::span<const Byte> bytes,
                 const ChdProgress& progress = {}) {
    ChdImage chd = openChdFile(file, path);
    return planChdPatch(
        chd, [&file](std::uint64_t at, std::span<Byte> out) { return file.readAt(at, out); }, file.size(), path,
        discOffset, bytes, progress);
}

void undo(const std::filesystem::path& path, const ChdPatch& patch) {
    File file = File::openForUpdate(path);
    undoChdPatch(file, path, traceOf(patch));
    file.close();
}

std::string cueOf(const std::string& bin, const std::string& body) { return "FILE \"" + bin + "\" BINARY\r\n" + body; }

// Our discs, in the forms chdman makes CHDs of (made before this program runs,
// as the CHDs read elsewhere are): a raw Mode 2 and a raw Mode 1 image with their
// sheets, an ISO, an image whose data track follows an audio track and a pregap,
// and a DVD's ISO with its raw CHD; each patched in a folder of this program's.
class ChdPatches : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        for (const char* name : {"mode2.bin", "mode2.cue", "mode1.bin", "mode1.cue", "game.iso", "mixed.bin",
                                 "mixed.cue", "dvd.iso", "dvd-raw.chd"}) {
            std::error_code missing;  // the test says so, with TOLVANE_REQUIRE_CHD_KINDS
            std::filesystem::copy_file(testing::chdKind(name), *dir_ / name, missing);
        }
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override {
        TOLVANE_REQUIRE_CHD_KINDS();
        TOLVANE_REQUIRE_PROGRAM("chdman");
    }

    static std::vector<Byte> text(const std::string& s) { return {s.begin(), s.end()}; }
    const TempDir& dir() const { return *dir_; }
    // A copy of a CHD made for every CHD test, as NAME in the folder.
    static std::filesystem::path copyOfKind(const std::string& kind, const std::string& name) {
        const auto to = *dir_ / name;
        std::filesystem::copy_file(testing::chdKind(kind + ".chd"), to,
                                   std::filesystem::copy_options::overwrite_existing);
        return to;
    }

    static TempDir* dir_;
};
TempDir* ChdPatches::dir_ = nullptr;

// A patch of a CHD made without compression: chdman extracts the image it was
// made of with the new logo, byte for byte; where its header holds SHA-1s (here
// those of a compressed copy: chdman leaves them zero without compression, and
// checks none), they are those chdman gives a CHD of the image patched; and
// taking it back gives the original file. One CHD whose zero hunks share the
// place of hunk 0 (a logo of zeros), as copies do: they keep their old data.
TEST_F(ChdPatches, APatchIsWhatChdmanReadsAndComesBackByteForByte) {
    writeFile(dir() / "zero.iso", testing::buildDisc({.sectors = kSectors}, kPlainLayout));
    const std::string dvd =
        " --unitsize 2048 --hunksize 4096 -c none -f && chdman addmeta --tag \"DVD \" --valuetext \"\" -i ";
    const struct {
        const char* name;
        std::string make;    // p.chd
        const char* source;  // the image the CHD is made of
        const ImageLayout* layout;
        const char* extract;  // to out.bin
        std::string remake;   // the same of exp.bin, the image patched, to exp.chd
        bool shareZeroHunks;
        std::size_t discStart = 0;  // in the source
    } cases[] = {
        // Two tracks: two track entries in the metadata, whose SHA-1s the overall one sorts.
        {"cd, an audio track first", "createcd -i mixed.cue -o p.chd -c none -f", "mixed.bin", &kRawMode2Layout,
         "extractcd -i p.chd -o out.cue -ob out.bin -f", "createcd -i expm.cue -o exp.chd -f", false,
         40 * kRawSectorSize},
        {"cd", "createcd -i mode2.cue -o p.chd -c none -f", "mode2.bin", &kRawMode2Layout,
         "extractcd -i p.chd -o out.cue -ob out.bin -f", "createcd -i exp.cue -o exp.chd -f", false},
        {"dvd", "createraw -i dvd.iso -o p.chd" + dvd + "p.chd", "dvd.iso", &kPlainLayout,
         "extractraw -i p.chd -o out.bin -f",
         "createraw -i exp.bin -o e.chd" + dvd + "e.chd && chdman copy -i e.chd -o exp.chd -c zlib -f", false},
        {"dvd, copies of hunk 0", "createraw -i zero.iso -o p.chd" + dvd + "p.chd", "zero.iso", &kPlainLayout,
         "extractraw -i p.chd -o out.bin -f",
         "createraw -i exp.bin -o e.chd" + dvd + "e.chd && chdman copy -i e.chd -o exp.chd -c zlib -f", true},
    };
    writeFile(dir() / "exp.cue", text(cueOf("exp.bin", "  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n")));
    writeFile(dir() / "expm.cue", text(cueOf("exp.bin",
                                             "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                                             "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:30\r\n"
                                             "    INDEX 01 00:00:40\r\n")));
    const auto path = dir() / "p.chd";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(chdman(dir().path(), c.make));
        auto original = readFile(path);
        const auto source = readFile(dir() / c.source);
        if (c.shareZeroHunks) {  // every later hunk of zeros points where hunk 0 lies
            const auto mapAt = static_cast<std::size_t>(testing::bigEndian(original, 40, 8));
            std::size_t shared = 0;
            const auto zero = [](Byte b) { return b == 0; };
            ASSERT_TRUE(std::all_of(source.begin(), source.begin() + 4096, zero));
            for (std::size_t h = 1; h < source.size() / 4096; ++h)
                if (std::all_of(source.begin() + h * 4096, source.begin() + (h + 1) * 4096, zero)) {
                    std::copy_n(original.begin() + mapAt, 4, original.begin() + mapAt + 4 * h);
                    ++shared;
                }
            ASSERT_GT(shared, 10u);
        }
        ASSERT_TRUE(chdman(dir().path(), "copy -i p.chd -o z.chd -c zlib -f"));
        const auto hashed = readFile(dir() / "z.chd");
        std::copy_n(hashed.begin() + 64, 40, original.begin() + 64);
        writeFile(path, original);
        std::vector<Byte> expected = source;
        const auto logo = testing::buildDisc({.logo = testing::patternLogo(9), .sectors = kSectors}, *c.layout);
        const std::size_t length = c.layout->prefixLength;
        std::copy_n(logo.begin(), length, expected.begin() + static_cast<std::ptrdiff_t>(c.discStart));

        File file = File::openForUpdate(path);
        const std::uint64_t total = openChdFile(file, path).dataBytes();
        std::uint64_t last = 0;
        const ChdPatch patch =
            planned(file, path, 0, std::span<const Byte>(logo).first(length), [&](std::uint64_t done, std::uint64_t) {
                EXPECT_GT(done, last);
                last = done;
                return true;
            });
        EXPECT_EQ(last, total);
        writeChdPatch(file, patch);
        file.close();
        EXPECT_LE(std::filesystem::file_size(path), original.size() + 3 * 2 * 19584 + 4 * 100);
        ASSERT_TRUE(chdman(dir().path(), c.extract));
        EXPECT_TRUE(readFile(dir() / "out.bin") == expected);
        writeFile(dir() / "exp.bin", expected);
        ASSERT_TRUE(chdman(dir().path(), c.remake));
        const auto sha1s = [](const std::vector<Byte>& chd) { return slice(chd, 64, 40); };
        EXPECT_TRUE(sha1s(readFile(path)) == sha1s(readFile(dir() / "exp.chd")));

        undo(path, patch);
        EXPECT_TRUE(readFile(path) == original);
    }
}

// What cannot be patched or taken back is refused, and nothing is written: a
// compressed CHD (its map keeps the hunks in their order), and a patched CHD
// changed since (one byte appended, or copied again).
TEST_F(ChdPatches, WhatCannotBePatchedOrTakenBackIsRefused) {
    const auto compressed = copyOfKind("cd-mode2", "c.chd");
    const auto before = readFile(compressed);
    const std::vector<Byte> bytes(3000, 7);
    {
        File file = File::openForUpdate(compressed);
        const std::string message = failureOf([&] { planned(file, compressed, 0, bytes); });
        EXPECT_TRUE(message.starts_with("Nothing was written: " + quoted(compressed) +
                                        " cannot be patched in place: it is a compressed CHD"))
            << message;
    }
    EXPECT_TRUE(readFile(compressed) == before);

    const auto path = copyOfKind("cd-mode2-uncompressed", "u.chd");
    const auto original = readFile(path);
    // One the user may not write: the system's reason.
    injectFileFault(FileOperation::Open, EACCES);
    EXPECT_EQ(failureOf([&] { DiscImage::open(path, ImageAccess::Update); }),
              "Cannot open " + quoted(path) + " for writing: " + std::strerror(EACCES));
    clearFileFaults();
    ChdPatch patch;
    {
        File file = File::openForUpdate(path);
        EXPECT_THROW(planned(file, path, 0, bytes, [](std::uint64_t, std::uint64_t) { return false; }),
                     ChdPatchCancelled);
        std::uint64_t done = 0, total = 1;  // the pass reads only the hunk that changes, and says it is done
        patch = planned(file, path, 100, bytes,
                        [&](std::uint64_t d, std::uint64_t t) { return done = d, total = t, true; });
        EXPECT_EQ(done, total);
        writeChdPatch(file, patch);
    }
    const auto patched = readFile(path);
    for (const auto& change : std::vector<std::function<void(std::vector<Byte>&)>>{
             [](auto& b) { b.push_back(0); }, [](auto& b) { b[b.size() - 1] ^= 1; }, [](auto& b) { b[64] ^= 1; }}) {
        auto bytes = patched;
        change(bytes);
        writeFile(path, bytes);
        File file = File::openForUpdate(path);
        EXPECT_TRUE(failureOf([&] { undoChdPatch(file, path, traceOf(patch)); })
                        .ends_with("is no longer as the patch left it (its header, its length or the bytes the patch "
                                   "appended differ: recompressed, or changed by another program)"));
        file.close();
        EXPECT_TRUE(readFile(path) == bytes);
    }
    writeFile(path, patched);
    undo(path, patch);
    EXPECT_TRUE(readFile(path) == original);
}

// A patch or its undo stopped at any change (a kill, a power cut), or a full
// disk, leaves the old CHD or the new one, and the undo then gives the original.
TEST_F(ChdPatches, EveryInterruptionLeavesAWholeChdAndTheWayBack) {
    const auto path = copyOfKind("cd-mode2-uncompressed", "i.chd");
    const auto original = readFile(path);
    const ImagePrefix before = DiscImage::open(path).prefix();
    ImagePrefix after(before.layout());
    const auto logo = testing::buildDisc({.logo = testing::patternLogo(9), .sectors = kSectors}, before.layout());
    std::copy_n(logo.begin(), after.size(), after.bytes().begin());
    std::vector<Byte> trace;
    const auto patch = [&](std::size_t stop) {
        writeFile(path, original);
        DiscImage image = DiscImage::open(path, ImageAccess::Update);
        trace = image.prepareWrite(after);
        injectFileStop(stop);
        try {
            image.writePrefix(after, {});
        } catch (const FileStop&) {
        }
        const std::size_t steps = fileChangesCounted();
        clearFileFaults();
        return steps;
    };
    const std::size_t steps = patch(1000);
    ASSERT_GE(steps, 4u);  // append, flush, header, flush
    const auto patched = readFile(path);
    for (std::size_t stop = 0; stop <= steps; ++stop) {
        SCOPED_TRACE("patch stopped before change " + std::to_string(stop));
        patch(stop);
        DiscImage image = DiscImage::open(path, ImageAccess::Update);
        const bool isNew = image.prefix() == after;
        EXPECT_TRUE(isNew || image.prefix() == before);
        if (isNew) image.undoWrite(trace);
        image.close();
        if (isNew) {
            EXPECT_TRUE(readFile(path) == original);
        }
    }
    for (std::size_t stop = 0; stop <= 3; ++stop) {
        SCOPED_TRACE("undo stopped before change " + std::to_string(stop));
        writeFile(path, patched);
        {
            DiscImage image = DiscImage::open(path, ImageAccess::Update);
            injectFileStop(stop);
            try {
                image.undoWrite(trace);
            } catch (const FileStop&) {
            }
            clearFileFaults();
        }
        DiscImage image = DiscImage::open(path, ImageAccess::Update);
        EXPECT_TRUE(image.prefix() == after || image.prefix() == before);
        if (image.holdsWrite(trace)) image.undoWrite(trace);
        image.close();
        EXPECT_TRUE(readFile(path) == original);
    }
    // A full disk in the append: the file is cut back to its old length.
    writeFile(path, original);
    DiscImage image = DiscImage::open(path, ImageAccess::Update);
    injectFileFault(FileOperation::Write, ENOSPC, 5000);
    EXPECT_TRUE(failureOf([&] { image.writePrefix(after, {}); }).ends_with("; the CHD is as before"));
    clearFileFaults();
    image.close();
    EXPECT_TRUE(readFile(path) == original);
}

// SHA-1 as FIPS 180 gives it: the empty text, one block, a text whose padding
// takes a second block, and a million bytes added in uneven pieces.
TEST(ChdSha1, GivesTheStandardsDigests) {
    const auto hexOf = [](const chd::Sha1Digest& digest) {
        std::string text;
        for (const Byte b : digest) text += "0123456789abcdef"[b >> 4], text += "0123456789abcdef"[b & 15];
        return text;
    };
    const auto of = [](const std::string& s) { return std::vector<Byte>(s.begin(), s.end()); };
    EXPECT_EQ(hexOf(chd::sha1Of({})), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hexOf(chd::sha1Of(of("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hexOf(chd::sha1Of(of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    chd::Sha1 million;
    const std::vector<Byte> piece(997, 'a');
    for (std::size_t done = 0; done < 1000000; done += 997)
        million.add(std::span(piece).first(std::min<std::size_t>(997, 1000000 - done)));
    EXPECT_EQ(hexOf(million.finish()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

}  // namespace
}  // namespace tolvane
