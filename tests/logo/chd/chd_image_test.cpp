// CHD files made by chdman, at test time, of our own discs: what they hold reads
// back byte for byte as the image they were made of, and damaged ones are
// refused with the file, the hunk and the reason.
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
#include <chrono>
#include <fstream>
#include <functional>
#include <random>

namespace tolvane {
namespace {

using testing::failureOf;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr std::size_t kSectors = 80;  // chdman 0.251 reads back some CHDs of fewer than 64 sectors wrongly

// chdman with these arguments, in folder; false (with a failure saying why) when it fails.
bool chdman(const std::filesystem::path& folder, const std::string& arguments) {
    const std::string command = "cd '" + folder.string() + "' && chdman " + arguments + " >chdman.log 2>&1";
    const bool done = std::system(command.c_str()) == 0;
    if (!done) ADD_FAILURE() << "failed: " << command;
    return done;
}

ChdImage openChd(const std::filesystem::path& path, File& file) {
    return ChdImage::open([&file](std::uint64_t at, std::span<Byte> out) { return file.readAt(at, out); }, file.size(),
                          path, [](std::span<Byte, kRawSectorSize> sector) { writeEccOf(sector); });
}

// Every byte of the CHD's disc.
std::vector<Byte> discOf(const std::filesystem::path& path) {
    File file = File::openForReading(path);
    ChdImage chd = openChd(path, file);
    std::vector<Byte> bytes(chd.disc().sectors * chd.disc().sectorSize);
    EXPECT_EQ(chd.readDisc(0, bytes), bytes.size());
    return bytes;
}

std::vector<Byte> slice(const std::vector<Byte>& bytes, std::size_t from, std::size_t length) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(from + length)};
}

std::string cueOf(const std::string& bin, const std::string& body) { return "FILE \"" + bin + "\" BINARY\r\n" + body; }

// Our discs, in the forms chdman makes CHDs of: a raw Mode 2 and a raw Mode 1
// image with their sheets, an ISO, an image whose data track follows an audio
// track and a pregap, and a DVD's ISO.
class ChdKinds : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        const auto& d = *dir_;
        const testing::DiscContents spec{.logo = testing::patternLogo(5), .sectors = kSectors};
        writeFile(d / "mode2.bin", testing::buildDisc(spec, kRawMode2Layout));
        writeFile(d / "mode2.cue", text(cueOf("mode2.bin", "  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n")));
        writeFile(d / "mode1.bin", testing::buildDisc(spec, kRawMode1Layout));
        writeFile(d / "mode1.cue", text(cueOf("mode1.bin", "  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n")));
        writeFile(d / "game.iso", testing::buildDisc(spec, kPlainLayout));
        // 30 frames of audio, then track 2 with a pregap of 10 frames in the file.
        std::vector<Byte> mixed(40 * kRawSectorSize);
        std::mt19937 noise(7);
        for (std::size_t i = 0; i < 30 * kRawSectorSize; ++i) mixed[i] = static_cast<Byte>(noise() >> 24 & 0x0F);
        const auto data = testing::buildDisc(spec, kRawMode2Layout);
        mixed.insert(mixed.end(), data.begin(), data.end());
        writeFile(d / "mixed.bin", mixed);
        writeFile(d / "mixed.cue", text(cueOf("mixed.bin",
                                              "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                                              "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:30\r\n"
                                              "    INDEX 01 00:00:40\r\n")));
        // A DVD: chdman 0.251 has no createdvd, so its raw form with the metadata entry, compressed after.
        writeFile(d / "dvd.iso", testing::buildDisc(spec, kPlainLayout));
        chdman(d.path(), "createraw -i dvd.iso -o dvd-raw.chd --unitsize 2048 --hunksize 4096 -c none -f");
        chdman(d.path(), "addmeta -i dvd-raw.chd --tag \"DVD \" --valuetext \"\"");
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override { TOLVANE_REQUIRE_PROGRAM("chdman"); }

    static std::vector<Byte> text(const std::string& s) { return {s.begin(), s.end()}; }
    const TempDir& dir() const { return *dir_; }

    static TempDir* dir_;
};
TempDir* ChdKinds::dir_ = nullptr;

struct Kind {
    const char* name;
    const char* source;   // what chdman reads, and what the CHD must read as
    const char* command;  // making kind.chd of it
    const ImageLayout* layout;
    std::size_t discStart;  // where the CHD's disc starts in the source's file
};

const Kind kKinds[] = {
    {"cd-mode2", "mode2.cue", "createcd -i mode2.cue -o kind.chd -f", &kRawMode2Layout, 0},
    {"cd-mode2-cdzl", "mode2.cue", "createcd -i mode2.cue -o kind.chd -c cdzl -f", &kRawMode2Layout, 0},
    {"cd-mode2-cdfl", "mode2.cue", "createcd -i mode2.cue -o kind.chd -c cdfl -f", &kRawMode2Layout, 0},
    {"cd-mode1", "mode1.cue", "createcd -i mode1.cue -o kind.chd -f", &kRawMode1Layout, 0},
    {"cd-iso", "game.iso", "createcd -i game.iso -o kind.chd -f", &kPlainLayout, 0},
    {"cd-audio-first", "mixed.cue", "createcd -i mixed.cue -o kind.chd -f", &kRawMode2Layout, 40 * kRawSectorSize},
    {"dvd", "dvd.iso", "copy -i dvd-raw.chd -o kind.chd -c lzma,zlib,huff,flac -f", &kPlainLayout, 0},
    {"dvd-lzma", "dvd.iso", "copy -i dvd-raw.chd -o kind.chd -c lzma -f", &kPlainLayout, 0},
    {"dvd-zlib", "dvd.iso", "copy -i dvd-raw.chd -o kind.chd -c zlib -f", &kPlainLayout, 0},
    {"dvd-huff", "dvd.iso", "copy -i dvd-raw.chd -o kind.chd -c huff -f", &kPlainLayout, 0},
    {"dvd-flac", "dvd.iso", "copy -i dvd-raw.chd -o kind.chd -c flac -f", &kPlainLayout, 0},
    {"dvd-uncompressed", "dvd.iso", "copy -i dvd-raw.chd -o kind.chd -c none -f", &kPlainLayout, 0},
    {"raw-2048-units", "dvd.iso", "createraw -i dvd.iso -o kind.chd --unitsize 2048 --hunksize 8192 -f", &kPlainLayout,
     0},
};

TEST_F(ChdKinds, EachReadsAsTheImageItWasMadeOf) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        ASSERT_TRUE(chdman(dir().path(), kind.command));
        const auto chd = dir() / "kind.chd";
        const DiscImage image = DiscImage::open(chd);
        const DiscImage source = DiscImage::open(dir() / kind.source);
        EXPECT_EQ(&image.layout(), kind.layout);
        EXPECT_TRUE(image.prefix() == source.prefix());
        EXPECT_EQ(image.identity().serial, "SLUS_200.01") << image.identity().unknownBecause;
        EXPECT_EQ(image.identity().videoMode, source.identity().videoMode);
        EXPECT_EQ(image.size(), std::filesystem::file_size(chd));
        ASSERT_TRUE(image.chd());

        // Every sector, every hunk: the whole data track as the source's file holds it.
        const auto whole = readFile(source.path());
        const auto disc = discOf(chd);
        ASSERT_EQ(disc.size(), kSectors * kind.layout->sectorSize);
        EXPECT_TRUE(disc == slice(whole, kind.discStart, disc.size()));
    }
}

// Older chdman versions described a CD's tracks in other metadata entries: CHTR
// (the text without the pregap), and before that CHCD (a binary table).
TEST_F(ChdKinds, OlderTrackMetadataReadsTheSame) {
    ASSERT_TRUE(chdman(dir().path(), "createcd -i mode2.cue -o new.chd -f"));
    const auto made = readFile(dir() / "new.chd");
    const ImagePrefix expected = DiscImage::open(dir() / "mode2.cue").prefix();

    auto chtr = made;
    const auto tag = std::search(chtr.begin(), chtr.end(), std::begin("CHT2"), std::end("CHT2") - 1);
    ASSERT_NE(tag, chtr.end());
    tag[3] = 'R';
    writeFile(dir() / "chtr.chd", chtr);

    // A CHCD entry at the end of the file, the only one: one track of raw Mode 2 sectors.
    auto chcd = made;
    const std::size_t at = chcd.size();
    const auto be32 = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) chcd.push_back(static_cast<Byte>(v >> shift));
    };
    const std::size_t tableLength = 4 + 99 * 6 * 4;
    chcd.insert(chcd.end(), {'C', 'H', 'C', 'D', 0, 0, static_cast<Byte>(tableLength >> 8),
                             static_cast<Byte>(tableLength), 0, 0, 0, 0, 0, 0, 0, 0});
    be32(1);
    for (const std::uint32_t field : {6u /* MODE2_RAW */, 2u, 2352u, 0u, std::uint32_t{kSectors}, 0u}) be32(field);
    chcd.resize(at + 16 + tableLength, 0);
    for (std::size_t i = 0; i < 8; ++i) chcd[48 + i] = static_cast<Byte>(std::uint64_t{at} >> (56 - 8 * i));
    writeFile(dir() / "chcd.chd", chcd);

    for (const char* name : {"chtr.chd", "chcd.chd"}) {
        const DiscImage image = DiscImage::open(dir() / name);
        EXPECT_TRUE(image.prefix() == expected) << name;
        EXPECT_EQ(image.chd()->trackType, "MODE2_RAW") << name;
        EXPECT_EQ(image.identity().serial, "SLUS_200.01") << name;
    }
}

TEST_F(ChdKinds, InfoNamesTheCodecsTheHunkSizeAndTheTrack) {
    ASSERT_TRUE(chdman(dir().path(), "createcd -i mixed.cue -o info.chd -f"));
    const auto summary = DiscImage::open(dir() / "info.chd").chd();
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->codecs, (std::vector<std::string>{"cdlz", "cdzl", "cdfl"}));
    EXPECT_EQ(summary->hunkBytes, 8u * 2448);
    EXPECT_EQ(summary->trackNumber, 2u);
    EXPECT_EQ(summary->trackType, "MODE2_RAW");
}

// Opening reads the header, the metadata, the map and the few hunks the logo,
// the volume descriptor, the root folder and SYSTEM.CNF lie in: a CHD of 5 MB
// costs what a small one does.
TEST_F(ChdKinds, OpeningReadsOnlyTheHunksItNeeds) {
    testing::DiscContents spec{.logo = testing::patternLogo(1), .sectors = 2200};
    auto bytes = testing::buildDisc(spec, kPlainLayout);
    std::mt19937 noise(3);
    for (std::size_t i = 30 * 2048; i < bytes.size(); ++i) bytes[i] = static_cast<Byte>(noise());
    writeFile(dir() / "big.iso", bytes);
    ASSERT_TRUE(chdman(dir().path(), "createcd -i big.iso -o big.chd -c cdzl -f"));
    ASSERT_GT(std::filesystem::file_size(dir() / "big.chd"), 4'000'000u);

    const auto bytesRead = [] {
        std::ifstream io("/proc/self/io");
        for (std::string key; io >> key;) {
            std::uint64_t value = 0;
            io >> value;
            if (key == "rchar:") return value;
        }
        return std::uint64_t{0};
    };
    const std::uint64_t before = bytesRead();
    const DiscImage image = DiscImage::open(dir() / "big.chd");
    const std::uint64_t read = bytesRead() - before;
    EXPECT_EQ(image.identity().serial, "SLUS_200.01");
    EXPECT_LT(read, 4 * 19584u + 8192u);  // a few hunks, the map of 275 hunks, the header and metadata
}

// Damage of every kind, each refused with the file, the hunk where there is one,
// and the reason, and quickly: a DVD whose logo sectors are noise, so that chdman
// stores their hunks as they are.
TEST_F(ChdKinds, DamagedFilesAreRefusedWithTheFileTheHunkAndTheReason) {
    testing::DiscContents spec{.sectors = kSectors};
    std::mt19937 noise(11);
    for (Byte& b : spec.logo) b = static_cast<Byte>(noise());
    const auto iso = testing::buildDisc(spec, kPlainLayout);
    writeFile(dir() / "noise.iso", iso);
    ASSERT_TRUE(
        chdman(dir().path(), "createraw -i noise.iso -o noise-raw.chd --unitsize 2048 --hunksize 4096 -c none -f"));
    ASSERT_TRUE(chdman(dir().path(), "addmeta -i noise-raw.chd --tag \"DVD \" --valuetext \"\""));
    ASSERT_TRUE(chdman(dir().path(), "copy -i noise-raw.chd -o noise.chd -c zlib -f"));
    const auto good = readFile(dir() / "noise.chd");
    const auto be64 = [&](std::size_t at) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < 8; ++i) v = v << 8 | good[at + i];
        return static_cast<std::size_t>(v);
    };
    const std::size_t mapAt = be64(40);
    const auto firstHunk = std::search(good.begin(), good.end(), iso.begin(), iso.begin() + 4096) - good.begin();
    ASSERT_LT(static_cast<std::size_t>(firstHunk), good.size()) << "hunk 0 is not stored as it is";

    const auto path = dir() / "damaged.chd";
    const std::string opening = "Cannot open " + quoted(path) + ": ", reading = "Cannot read " + quoted(path) + ": ";
    const struct {
        const char* name;
        std::function<void(std::vector<Byte>&)> damage;
        std::string message;  // the whole message; "..." stands for any text
    } cases[] = {
        {"cut in its header", [](auto& b) { b.resize(100); }, opening + "it ends inside its CHD header"},
        {"cut in its map", [](auto& b) { b.resize(b.size() - 8); },
         opening + "its hunk map lies past the end of the file: the file is cut short"},
        {"map's CRC", [&](auto& b) { b[mapAt + 11] ^= 0x40; },
         opening + "its hunk map is damaged: its CRC does not match"},
        {"a hunk's CRC", [&](auto& b) { b[firstHunk + 1000] ^= 0x01; },
         reading + "hunk 0 of 40 is damaged: its data does not match its CRC"},
        {"an unknown codec", [](auto& b) { std::copy_n("abcd", 4, b.begin() + 16); },
         reading + "hunk ... cannot be read: it is compressed with abcd, a codec this program does not read"},
        {"zstd", [](auto& b) { std::copy_n("zstd", 4, b.begin() + 16); },
         opening + "it is compressed with zstd, which this version does not read yet; compress it again first, for "
                   "example with chdman copy -i damaged.chd -o other.chd -c lzma,zlib,huff,flac"},
        {"a parent", [](auto& b) { b[104] = 0xAB; },
         opening + "it is a CHD that holds only what differs from its parent CHD (SHA-1 ab000000000000000000000000000"
                   "00000000000), which this program does not read; make one whole CHD of the two first, for "
                   "example with chdman copy -i damaged.chd -ip parent.chd -o whole.chd"},
        {"version 4", [](auto& b) { b[15] = 4; }, opening + "it is a CHD of version 4, ..."},
        {"more data than any disc", [](auto& b) { b[32] = 0x10; },
         opening + "its header gives it 1152921504607010816 bytes of data, which no disc holds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = good;
        c.damage(bytes);
        writeFile(path, bytes);
        const auto started = std::chrono::steady_clock::now();
        const std::string message = failureOf([&] { DiscImage::open(path); });
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
        const std::size_t any = c.message.find("...");
        if (any == std::string::npos) {
            EXPECT_EQ(message, c.message);
        } else {
            const std::string before = c.message.substr(0, any), after = c.message.substr(any + 3);
            EXPECT_TRUE(message.starts_with(before) && message.ends_with(after) &&
                        message.size() >= before.size() + after.size())
                << message;
        }
    }
}

// A patch of a CHD made without compression: chdman extracts the image it was
// made of with the new logo, byte for byte; where its header holds SHA-1s (here
// those of a compressed copy: chdman leaves them zero without compression, and
// checks none), they are those chdman gives a CHD of the image patched; and
// taking it back gives the original file. One CHD whose zero hunks share the
// place of hunk 0 (a logo of zeros), as copies do: they keep their old data.
TEST_F(ChdKinds, APatchIsWhatChdmanReadsAndComesBackByteForByte) {
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
            const auto be = [&](std::size_t at, std::size_t n) {
                std::size_t v = 0;
                for (std::size_t i = 0; i < n; ++i) v = v << 8 | original[at + i];
                return v;
            };
            const std::size_t mapAt = be(40, 8);
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

        ChdPatch patch;
        {
            File file = File::openForUpdate(path);
            ChdImage chd = openChd(path, file);
            const std::uint64_t total = chd.dataBytes();
            std::uint64_t last = 0;
            patch = planChdPatch(
                chd, [&file](std::uint64_t at, std::span<Byte> out) { return file.readAt(at, out); }, file.size(), path,
                0, std::span<const Byte>(logo).first(length),
                [&](std::uint64_t done, std::uint64_t) {
                    EXPECT_GT(done, last);
                    last = done;
                    return true;
                });
            EXPECT_EQ(last, total);
            writeChdPatch(file, path, patch);
            file.close();
        }
        EXPECT_LE(std::filesystem::file_size(path), original.size() + 3 * 2 * 19584 + 4 * 100);
        ASSERT_TRUE(chdman(dir().path(), c.extract));
        EXPECT_TRUE(readFile(dir() / "out.bin") == expected);
        writeFile(dir() / "exp.bin", expected);
        ASSERT_TRUE(chdman(dir().path(), c.remake));
        const auto sha1s = [](const std::vector<Byte>& chd) { return slice(chd, 64, 40); };
        EXPECT_TRUE(sha1s(readFile(path)) == sha1s(readFile(dir() / "exp.chd")));
        EXPECT_FALSE(sha1s(readFile(path)) == sha1s(original));
        EXPECT_TRUE(DiscImage::open(path).prefix().bytes().size() == length);

        File file = File::openForUpdate(path);
        undoChdPatch(file, path, traceOf(patch));
        file.close();
        EXPECT_TRUE(readFile(path) == original);
    }
}

// What cannot be patched or taken back is refused, and nothing is written: a
// compressed CHD (its map keeps the hunks in their order), and a patched CHD
// changed since (one byte appended, or copied again).
TEST_F(ChdKinds, WhatCannotBePatchedOrTakenBackIsRefused) {
    ASSERT_TRUE(chdman(dir().path(), "createcd -i mode2.cue -o c.chd -f"));
    const auto compressed = dir() / "c.chd";
    const auto before = readFile(compressed);
    {
        File file = File::openForUpdate(compressed);
        ChdImage chd = openChd(compressed, file);
        const std::vector<Byte> logo(100, 1);
        const std::string message = failureOf([&] {
            planChdPatch(
                chd, [&file](std::uint64_t at, std::span<Byte> out) { return file.readAt(at, out); }, file.size(),
                compressed, 0, logo);
        });
        EXPECT_TRUE(message.starts_with("Nothing was written: " + quoted(compressed) +
                                        " cannot be patched in place: it is a compressed CHD"))
            << message;
    }
    EXPECT_TRUE(readFile(compressed) == before);

    ASSERT_TRUE(chdman(dir().path(), "createcd -i mode2.cue -o u.chd -c none -f"));
    const auto path = dir() / "u.chd";
    const auto original = readFile(path);
    ChdPatch patch;
    {
        File file = File::openForUpdate(path);
        ChdImage chd = openChd(path, file);
        const std::vector<Byte> bytes(3000, 7);
        patch = planChdPatch(
            chd, [&file](std::uint64_t at, std::span<Byte> out) { return file.readAt(at, out); }, file.size(), path,
            100, bytes);
        // Cancelled: nothing written.
        EXPECT_FALSE(failureOf([&] {
                         planChdPatch(
                             chd, [&file](std::uint64_t at, std::span<Byte> out) { return file.readAt(at, out); },
                             file.size(), path, 0, bytes, [](std::uint64_t, std::uint64_t) { return false; });
                     }).empty());
        writeChdPatch(file, path, patch);
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
    File file = File::openForUpdate(path);
    undoChdPatch(file, path, traceOf(patch));
    file.close();
    EXPECT_TRUE(readFile(path) == original);
}

// A patch or its undo stopped at any change (a kill, a power cut), or a full
// disk, leaves the old CHD or the new one, and the undo then gives the original.
TEST_F(ChdKinds, EveryInterruptionLeavesAWholeChdAndTheWayBack) {
    ASSERT_TRUE(chdman(dir().path(), "createcd -i mode2.cue -o i.chd -c none -f"));
    const auto path = dir() / "i.chd";
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

// A hunk whose data decodes to more bytes than a hunk holds is damaged, whatever
// its CRC would say.
TEST(ChdCodecs, AHunkThatInflatesPastItsSizeIsRefused) {
    std::vector<Byte> data(4097, 0x5A), packed(8192);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = data.data();
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    packed.resize(z.total_out);
    deflateEnd(&z);

    std::vector<Byte> hunk(4096);
    const auto decoded = [&](chd::Codec codec, std::span<const Byte> in) -> std::string {
        try {
            chd::decompress(codec, in, hunk, {});
        } catch (const chd::Damage& damage) {
            return damage.what();
        }
        return "(no failure)";
    };
    EXPECT_EQ(decoded(chd::codecNamed("zlib"), packed), "its deflate data inflates past its size of 4096 bytes");
    hunk.resize(4097);
    EXPECT_EQ(decoded(chd::codecNamed("zlib"), packed), "(no failure)");
    hunk.resize(4098);
    EXPECT_EQ(decoded(chd::codecNamed("zlib"), packed),
              "its deflate data inflates to 4097 bytes, fewer than the 4098 bytes it must hold");
}

}  // namespace
}  // namespace tolvane
