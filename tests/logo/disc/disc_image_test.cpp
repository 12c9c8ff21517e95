#include "logo/disc/disc_image.h"

#include "logo/disc/disc_image_layout.h"
#include "logo/files/file_io.h"
#include "logo/disc/sector_checks.h"
#include "support/file_faults.h"
#include "support/disc_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace tolvane {
namespace {

using testing::buildDisc;
using testing::DiscContents;
using testing::discUserData;
using testing::failureOf;
using testing::patternLogo;
using testing::readFile;
using testing::storeInLayout;
using testing::TempDir;
using testing::writeFile;

class DiscImageTest : public ::testing::Test {
protected:
    std::filesystem::path write(const std::vector<Byte>& bytes, const std::string& name = "disc.img") {
        writeFile(dir / name, bytes);
        return dir / name;
    }
    DiscIdentity identityOf(const std::vector<Byte>& userData, const ImageLayout& layout = kPlainLayout) {
        return DiscImage::open(write(storeInLayout(userData, layout))).identity();
    }

    TempDir dir;
    DiscContents contents{.logo = patternLogo(2)};
};

TEST_F(DiscImageTest, RecognisesEachLayoutAndReadsPrefixAndSerialThroughIt) {
    for (const ImageLayout* layout : kImageLayouts) {
        const auto bytes = buildDisc(contents, *layout);
        const DiscImage image = DiscImage::open(write(bytes));
        ASSERT_EQ(&image.layout(), layout) << layout->description;
        EXPECT_EQ(image.size(), bytes.size());
        EXPECT_EQ(image.identity().serial, "SLUS_200.01")
            << layout->description << ": " << image.identity().unknownBecause;
        EXPECT_EQ(image.identity().videoMode, VideoMode::Ntsc);
        EXPECT_EQ(extractLogo(image.prefix()).logo, patternLogo(2)) << layout->description;
    }
    EXPECT_EQ(kRawMode1Layout.prefixLength, 28224u);
    EXPECT_EQ(kPlainLayout.prefixLength, 24576u);
}

TEST_F(DiscImageTest, AnImageWithoutADescriptorKeepsTheRawMode2Layout) {
    const DiscImage image = DiscImage::open(write(testing::makeRawImage(20, 1)));
    EXPECT_EQ(&image.layout(), &kRawMode2Layout);
    EXPECT_TRUE(image.identity().serial.empty());
    EXPECT_EQ(describe(image.identity()), "serial unknown: no ISO 9660 volume descriptor");
    EXPECT_EQ(&DiscImage::open(write(testing::makeImage(28248), "tiny.bin")).layout(), &kRawMode2Layout);
}

TEST_F(DiscImageTest, EveryLayoutGoesThroughAPatchTouchingOnlyTheLogoSectors) {
    for (const ImageLayout* layout : kImageLayouts) {
        const auto original = buildDisc(contents, *layout);
        const auto path = write(original);
        const ImagePrefix asRead = testing::readPrefix(path);
        ASSERT_EQ(&asRead.layout(), layout);
        ImagePrefix changed = asRead;
        insertLogo(patternLogo(7), changed);
        const std::size_t refreshed = refreshCheckFields(changed, asRead);
        EXPECT_EQ(refreshed, layout->sectorSize == 2048 ? 0u : 12u) << layout->description;
        testing::writePrefix(path, changed);

        const auto after = readFile(path);
        ASSERT_EQ(after.size(), original.size());
        EXPECT_EQ(extractLogo(testing::readPrefix(path)).logo, patternLogo(7));
        const std::size_t logoEnd = 12 * layout->sectorSize;
        EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(logoEnd), after.end(),
                               original.begin() + static_cast<std::ptrdiff_t>(logoEnd)))
            << layout->description;
        if (layout->sectorSize == kRawSectorSize) {
            for (std::size_t n = 0; n < 12; ++n)
                EXPECT_TRUE(inspectSector(rawSector(std::span<const Byte>(after), n)).checksValid())
                    << layout->description << " sector " << n;
        }
        EXPECT_EQ(DiscImage::open(path).identity().serial, "SLUS_200.01");
    }
}

TEST_F(DiscImageTest, MalformedDirectoriesGiveAnUnknownSerialWithTheReason) {
    const auto root = testing::kRootSector * 2048;
    {
        auto data = discUserData(contents);
        data[root + 34 + 34 + 40] = 20;  // SYSTEM.CNF's record claims 20 bytes: too short for a record
        EXPECT_EQ(identityOf(data).unknownBecause, "no SYSTEM.CNF in the root directory");
    }
    {
        auto data = discUserData(contents);
        data[root + 34 + 34 + 40 + 32] = 200;  // SYSTEM.CNF's name runs past its record
        EXPECT_EQ(identityOf(data).unknownBecause, "no SYSTEM.CNF in the root directory");
    }
    {
        auto data = discUserData(contents);
        data[16 * 2048 + 156 + 2] = 0x00;  // root directory at sector 0x7F000000: past the end
        data[16 * 2048 + 156 + 5] = 0x7F;
        data[16 * 2048 + 80 + 3] = 0x7F;  // of a volume that says it goes on that far
        EXPECT_EQ(identityOf(data, kRawMode2Layout).unknownBecause, "the root directory lies past the end of the file");
    }
    {
        auto data = discUserData(contents);
        data[16 * 2048 + 156 + 13] = 0x40;  // a root directory of a gigabyte, in a volume of 30 sectors
        EXPECT_EQ(identityOf(data).unknownBecause, "the root directory is damaged");
        data[16 * 2048 + 156 + 13] = 0;
        data[16 * 2048 + 156 + 11] = 0x58;  // 11 sectors from sector 20: one past the volume's 30
        EXPECT_EQ(identityOf(data).unknownBecause, "the root directory is damaged");
    }
    {
        auto bytes = storeInLayout(discUserData(contents), kPlainLayout);
        bytes.resize(testing::kSystemCnfSector * 2048 + 10);  // a file cut off inside SYSTEM.CNF
        EXPECT_EQ(DiscImage::open(write(bytes)).identity().unknownBecause, "SYSTEM.CNF lies past the end of the file");
    }
    {
        DiscContents noCnf = contents;
        noCnf.systemCnf.reset();
        EXPECT_EQ(identityOf(discUserData(noCnf)).unknownBecause, "no SYSTEM.CNF in the root directory");
    }
    {
        DiscContents noBoot = contents;
        noBoot.systemCnf = "VER = 1.00\nVMODE = PAL\n";
        const DiscIdentity identity = identityOf(discUserData(noBoot));
        EXPECT_EQ(describe(identity), "serial unknown: SYSTEM.CNF has no BOOT2 line, PAL");
    }
}

// A read that fails (a failing disk) is no "unknown": the open fails when it
// needs the bytes, and the game is "not read" when only the root directory or
// SYSTEM.CNF could not be, which fails what needs the game. An open reads the
// start of the file (for a CUE sheet), the first bytes, the root directory, SYSTEM.CNF.
TEST_F(DiscImageTest, AFailedReadLeavesTheGameNotReadRatherThanUnknown) {
    const auto path = write(buildDisc(contents, kPlainLayout));
    const std::string failed = "Cannot read " + quoted(path) + ": " + std::strerror(EIO);
    const struct {
        int read;
        std::string openFailure, identity;
    } cases[] = {
        {1, failed, ""},
        {2, failed, ""},
        {3, "(no failure)", "serial not read: " + failed},
        {4, "(no failure)", "serial not read: " + failed},
        {5, "(no failure)", "SLUS_200.01, NTSC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("read " + std::to_string(c.read) + " fails");
        for (int before = 1; before < c.read; ++before) injectFileFault(FileOperation::Read, 0);
        injectFileFault(FileOperation::Read, EIO);
        std::optional<DiscImage> image;
        EXPECT_EQ(failureOf([&] { image.emplace(DiscImage::open(path)); }), c.openFailure);
        clearFileFaults();
        if (!image) continue;
        EXPECT_EQ(describe(image->identity()), c.identity);
        EXPECT_EQ(failureOf([&] { readable(image->identity()); }),
                  c.identity.starts_with("serial not read") ? failed : "(no failure)");
    }
}

TEST(SystemCnf, TakesTheSerialFromTheBootFileAndTheVideoMode) {
    DiscIdentity pal = parseSystemCnf("boot2=cdrom0:\\sces_500.01;1\nvmode = pal\n");
    EXPECT_EQ(pal.serial, "SCES_500.01");
    EXPECT_EQ(pal.videoMode, VideoMode::Pal);
    EXPECT_EQ(describe(pal), "SCES_500.01, PAL");
    DiscIdentity noMode = parseSystemCnf("BOOT2 = cdrom0:\\SLPM_123.45;1\r\n");
    EXPECT_EQ(describe(noMode), "SLPM_123.45, video mode unknown");
    EXPECT_EQ(parseSystemCnf("BOOT2 = cdrom0:\\MAIN.ELF;1\n").unknownBecause,
              "the boot file MAIN.ELF is not named like a serial");
    EXPECT_EQ(parseSystemCnf(std::string("\0\0\xFF=\n=", 6)).unknownBecause, "SYSTEM.CNF has no BOOT2 line");
    // Saved by an editor that starts text with a byte order mark.
    EXPECT_EQ(describe(parseSystemCnf("\xEF\xBB\xBF"
                                      "BOOT2 = cdrom0:\\SCES_500.01;1\r\nVMODE = PAL\r\n")),
              "SCES_500.01, PAL");
}

// Root directories of thousands of files, as discs with many small files or
// long names (Joliet, Rock Ridge) have: SYSTEM.CNF listed at the end is found.
TEST_F(DiscImageTest, FindsSystemCnfInARootDirectoryOfAnySize) {
    for (const std::size_t files : {40u, 3000u}) {
        DiscContents many = contents;
        many.filesBefore = files;
        many.systemCnf = "BOOT2 = cdrom0:\\SCES_500.01;1\nVMODE = PAL\n";
        const auto data = discUserData(many);
        const std::uint32_t rootLength = readLe32(std::span<const Byte>(data), 16 * 2048 + 156 + 10);
        EXPECT_GT(rootLength, files > 100 ? 64u * 2048 : 0u) << "the root directory made is not that large";
        for (const ImageLayout* layout : {&kPlainLayout, &kRawMode2Layout}) {
            const DiscIdentity identity = identityOf(data, *layout);
            EXPECT_EQ(describe(identity), "SCES_500.01, PAL") << files << " files, " << layout->description;
        }
    }
}

TEST_F(DiscImageTest, AMultiGigabyteSparseIsoOpensAsFastAsASmallOne) {
    const auto path = write(buildDisc(contents, kPlainLayout), "big.iso");
    {
        File file = File::openForUpdate(path);
        const std::vector<Byte> last{0x55};
        file.writeAt(8ull * 1024 * 1024 * 1024, last);
        file.close();
    }
    const auto start = std::chrono::steady_clock::now();
    const DiscImage image = DiscImage::open(path);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(&image.layout(), &kPlainLayout);
    EXPECT_EQ(image.identity().serial, "SLUS_200.01");
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

std::vector<Byte> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(ImageFiles, ACueSheetOpensTheFileOfItsFirstDataTrack) {
    TempDir dir;
    std::filesystem::create_directory(dir / "disc");
    writeFile(dir / "disc" / "Game (Track 2).bin", buildDisc({.logo = patternLogo(4)}, kRawMode2Layout));
    writeFile(dir / "disc" / "game.cue", bytesOf("\xEF\xBB\xBFREM a comment\r\n"
                                                 "FILE \"Intro.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
                                                 "FILE \"Game (Track 2).bin\" BINARY\r\n  TRACK 02 MODE2/2352\r\n"
                                                 "    INDEX 01 00:00:00\r\n"));
    const DiscImage image = DiscImage::open(dir / "disc" / "game.cue");
    EXPECT_EQ(image.path(), dir / "disc" / "Game (Track 2).bin");
    EXPECT_EQ(image.identity().serial, "SLUS_200.01");
    EXPECT_EQ(extractLogo(image.prefix()).logo, patternLogo(4));

    writeFile(dir / "audio.cue", bytesOf("FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n"));
    EXPECT_EQ(failureOf([&] { DiscImage::open(dir / "audio.cue"); }),
              "Cannot open " + quoted(dir / "audio.cue") + ": the CUE sheet names no data track");
    writeFile(dir / "gone.cue", bytesOf("FILE \"gone.bin\" BINARY\n  TRACK 01 MODE1/2352\n"));
    EXPECT_EQ(
        failureOf([&] { DiscImage::open(dir / "gone.cue"); }),
        "Cannot open " + quoted(dir / "gone.cue") + ": the file of its data track, \"gone.bin\", is not beside it");
    // The system would open "disc/Game (Track 2).bin" for a name that goes on past a NUL.
    writeFile(dir / "zero.cue", bytesOf(std::string("FILE \"disc/Game (Track 2).bin\0evil\" BINARY\n"
                                                    "  TRACK 01 MODE2/2352\n",
                                                    65)));
    EXPECT_EQ(failureOf([&] { DiscImage::open(dir / "zero.cue"); }),
              "Cannot open " + quoted(dir / "zero.cue") + ": the CUE sheet names a file whose name holds a NUL byte");
}

TEST(ImageFiles, CompressedImagesAndArchivesAreRefusedWithWhatToDo) {
    TempDir dir;
    const std::pair<std::string, std::string> kinds[] = {
        {"MComprHD", "it is a CHD of version 0, which this program does not know"},  // a CHD is read, if known
        {"CISO", "it is a CSO image, which is compressed; decompress it first, for example with maxcso --decompress"},
        {"\x1F\x8B\x08", "it is compressed with gzip; decompress it first, for example with gunzip"},
        {"PK\x03\x04", "it is a ZIP archive; extract the image from it first, for example with unzip"},
        {"BZh9", "it is compressed with bzip2; decompress it first, for example with bunzip2"},
        {"\x28\xB5\x2F\xFD", "it is compressed with Zstandard; decompress it first, for example with unzstd"},
        {"Rar!\x1A\x07\x01", "it is a RAR archive; extract the image from it first, for example with unrar x"},
        {std::string(257, 'n') + "ustar",
         "it is a tar archive; extract the image from it first, for example with tar xf"},
    };
    for (const auto& [start, reason] : kinds) {
        std::vector<Byte> file = bytesOf(start);
        file.resize(40000, 0);
        writeFile(dir / "game.img", file);
        EXPECT_EQ(failureOf([&] { DiscImage::open(dir / "game.img"); }),
                  "Cannot open " + quoted(dir / "game.img") + ": " + reason);
    }
}

}  // namespace
}  // namespace tolvane
