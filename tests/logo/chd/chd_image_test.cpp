// CHD files made by chdman of our own discs (by make_chd_kinds.sh on the build
// machine, before this program runs; the Windows build reads the same files):
// what they hold reads back byte for byte as the image they were made of, and
// damaged ones are refused with the file, the hunk and the reason.
#include "logo/chd/chd_image.h"
#include "logo/chd/chd_patch.h"
#include "logo/disc/chd_writes.h"

#include "logo/chd/chd_discs.h"
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

namespace tolvane {
namespace {

using testing::failureOf;
using testing::readFile;
using testing::slice;
using testing::TempDir;
using testing::writeFile;

constexpr std::size_t kSectors = kChdDiscSectors;

// Every byte of the CHD's disc.
std::vector<Byte> discOf(const std::filesystem::path& path) {
    File file = File::openForReading(path);
    ChdImage chd = openChdFile(file, path);
    std::vector<Byte> bytes(chd.disc().sectors * chd.disc().sectorSize);
    EXPECT_EQ(chd.readDisc(0, bytes), bytes.size());
    return bytes;
}

// The CHDs and the discs they were made of, made before this program runs:
// each test reads them, and writes what it changes into a folder of its own.
class ChdKinds : public ::testing::Test {
protected:
    void SetUp() override { TOLVANE_REQUIRE_CHD_KINDS(); }
    static std::filesystem::path kinds() { return testing::chdKind(""); }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
};

struct Kind {
    const char* name;    // of NAME.chd, as make_chd_kinds.sh made it
    const char* source;  // what chdman read, and what the CHD must read as
    const ImageLayout* layout;
    std::size_t discStart;  // where the CHD's disc starts in the source's file
};

const Kind kKinds[] = {
    {"cd-mode2", "mode2.cue", &kRawMode2Layout, 0},
    {"cd-mode2-cdzl", "mode2.cue", &kRawMode2Layout, 0},
    {"cd-mode2-cdfl", "mode2.cue", &kRawMode2Layout, 0},
    {"cd-mode2-uncompressed", "mode2.cue", &kRawMode2Layout, 0},
    {"cd-mode1", "mode1.cue", &kRawMode1Layout, 0},
    {"cd-iso", "game.iso", &kPlainLayout, 0},
    {"cd-audio-first", "mixed.cue", &kRawMode2Layout, 40 * kRawSectorSize},
    {"dvd", "dvd.iso", &kPlainLayout, 0},
    {"dvd-lzma", "dvd.iso", &kPlainLayout, 0},
    {"dvd-zlib", "dvd.iso", &kPlainLayout, 0},
    {"dvd-huff", "dvd.iso", &kPlainLayout, 0},
    {"dvd-flac", "dvd.iso", &kPlainLayout, 0},
    {"dvd-uncompressed", "dvd.iso", &kPlainLayout, 0},
    {"raw-2048-units", "dvd.iso", &kPlainLayout, 0},
};

TEST_F(ChdKinds, EachReadsAsTheImageItWasMadeOf) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const auto chd = kinds() / (std::string(kind.name) + ".chd");
        const DiscImage image = DiscImage::open(chd);
        const DiscImage source = DiscImage::open(kinds() / kind.source);
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
    const auto made = readFile(kinds() / "cd-mode2.chd");
    const ImagePrefix expected = DiscImage::open(kinds() / "mode2.cue").prefix();

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
    const auto summary = DiscImage::open(kinds() / "cd-audio-first.chd").chd();
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
    const auto big = kinds() / "big.chd";
    ASSERT_GT(std::filesystem::file_size(big), 4'000'000u);

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
    ASSERT_GT(before, 0u) << "no count of the bytes read in /proc/self/io";
    const DiscImage image = DiscImage::open(big);
    const std::uint64_t read = bytesRead() - before;
    EXPECT_EQ(image.identity().serial, "SLUS_200.01");
    EXPECT_LT(read, 4 * 19584u + 8192u);  // a few hunks, the map of 275 hunks, the header and metadata
}

// Damage of every kind, each refused with the file, the hunk where there is one,
// and the reason, and quickly: a DVD whose logo sectors are noise, so that chdman
// stores their hunks as they are.
TEST_F(ChdKinds, DamagedFilesAreRefusedWithTheFileTheHunkAndTheReason) {
    const auto iso = readFile(kinds() / "noise.iso");
    const auto good = readFile(kinds() / "noise.chd");
    const auto mapAt = static_cast<std::size_t>(testing::bigEndian(good, 40, 8));
    const auto firstHunk = std::search(good.begin(), good.end(), iso.begin(), iso.begin() + 4096) - good.begin();
    ASSERT_LT(static_cast<std::size_t>(firstHunk), good.size()) << "hunk 0 is not stored as it is";

    const auto path = dir() / "damaged.chd";
    const std::string opening = "Cannot open " + quoted(path) + ": ", reading = "Cannot read " + quoted(path) + ": ";
    const struct {
        const char* name;
        std::function<void(std::vector<Byte>&)> damage;
        std::string message;         // the whole message; "..." stands for any text
        const char* kind = "noise";  // the CHD damaged
    } cases[] = {
        {"cut in its header", [](auto& b) { b.resize(100); }, opening + "it ends inside its CHD header"},
        {"cut in its map", [](auto& b) { b.resize(b.size() - 8); },
         opening + "its hunk map lies past the end of the file: the file is cut short"},
        {"uncompressed, cut in its hunks", [](auto& b) { b.resize(b.size() - 100); },
         opening + "hunk ... of 40 lies past the end of the file: the file is cut short", "dvd-uncompressed"},
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
        auto bytes = readFile(kinds() / (std::string(c.kind) + ".chd"));
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
