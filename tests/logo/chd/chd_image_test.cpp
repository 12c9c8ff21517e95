// CHD files made by chdman, at test time, of our own discs: what they hold reads
// back byte for byte as the image they were made of, and damaged ones are
// refused with the file, the hunk and the reason.
#include "logo/chd/chd_image.h"

#include "logo/disc/disc_image.h"
#include "logo/disc/sector_checks.h"
#include "support/disc_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
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
        const testing::DiscSpec spec{.logo = testing::patternLogo(5), .sectors = kSectors};
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
    testing::DiscSpec spec{.logo = testing::patternLogo(1), .sectors = 2200};
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

}  // namespace
}  // namespace tolvane
