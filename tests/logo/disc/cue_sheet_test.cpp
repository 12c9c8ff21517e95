// CUE sheets as disc tools write them: where the data track starts, which file
// holds it, and the disc read and patched from there.
#include "logo/disc/cue_sheet.h"

#include "logo/disc/disc_image.h"
#include "logo/disc/disc_image_layout.h"
#include "logo/disc/sector_checks.h"
#include "support/disc_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using testing::failureOf;
using testing::patternLogo;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

std::vector<Byte> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// A sheet as Notepad saves it in UTF-16: its byte order mark, then its units.
std::string utf16(const std::u16string& text, bool little) {
    std::string bytes;
    for (char16_t unit : u"\uFEFF" + text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

TEST(CueSheet, FindsTheFirstDataTracksFileAndWhereItStartsInIt) {
    struct Case {
        const char* what;
        std::string sheet;
        std::string file;
        int track;
        std::string mode;
        std::uint64_t offset;
    };
    const Case cases[] = {
        {"one data track", "FILE \"game.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n", "game.bin", 1,
         "MODE2/2352", 0},
        {"an audio track first in the same file",
         "FILE \"game.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
         " TRACK 02 MODE2/2352\n  INDEX 01 00:10:00\n",
         "game.bin", 2, "MODE2/2352", 750 * 2352},
        {"the data track's pregap in the file, at its own sector size",
         "FILE \"game.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
         " TRACK 02 MODE1/2048\n  INDEX 00 00:10:00\n  INDEX 01 00:12:00\n",
         "game.bin", 2, "MODE1/2048", 750 * 2352 + 150 * 2048},
        {"track 1's pregap in the file",
         "FILE \"g.bin\" BINARY\n TRACK 01 MODE2/2352\n  INDEX 00 00:00:00\n"
         "  INDEX 01 00:02:00\n",
         "g.bin", 1, "MODE2/2352", 150 * 2352},
        {"track 1 from 00:02:00", "FILE \"g.bin\" BINARY\n TRACK 01 MODE2/2336\n  INDEX 01 00:02:00\n", "g.bin", 1,
         "MODE2/2336", 150 * 2336},
        {"PREGAP and POSTGAP, which are not in the file",
         "FILE \"g.bin\" BINARY\n TRACK 01 AUDIO\n  PREGAP 00:02:00\n  INDEX 01 00:00:00\n  POSTGAP 00:02:00\n"
         " TRACK 02 MODE2/2352\n  PREGAP 00:03:00\n  INDEX 01 01:00:00\n",
         "g.bin", 2, "MODE2/2352", 4500 * 2352},
        {"earlier tracks of other sizes",
         "FILE \"g.bin\" BINARY\n TRACK 01 CDG\n  INDEX 01 00:00:00\n"
         " TRACK 02 MODE2/2336\n  INDEX 01 00:00:10\n"
         " TRACK 03 AUDIO\n  INDEX 01 00:00:30\n"
         " TRACK 04 MODE1/2352\n  INDEX 01 00:00:31\n",
         "g.bin", 2, "MODE2/2336", 10 * 2448},
        {"tracks in files of their own, the data track's second in its file",
         "FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
         "FILE \"b.bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n TRACK 03 MODE2/2352\n  INDEX 01 00:01:00\n",
         "b.bin", 3, "MODE2/2352", 75 * 2352},
        {"the data track's pregap at the end of the file before",
         "FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 MODE2/2352\n  INDEX 00 00:05:00\n"
         "FILE \"b.bin\" BINARY\n  INDEX 01 00:00:00\n",
         "b.bin", 2, "MODE2/2352", 0},
        {"a byte order mark, CRLF, lower case and a name without quotes",
         "\xEF\xBB\xBF"
         "file game.bin binary\r\n  track 1 mode1/2352\r\n    index 1 0:02:00\r\n",
         "game.bin", 1, "MODE1/2352", 150 * 2352},
        {"a name without quotes, blanks and all",
         "FILE  My Game (USA).bin  BINARY\n TRACK 01 MODE2/2352\n  INDEX 01 00:00:00\n", "My Game (USA).bin", 1,
         "MODE2/2352", 0},
        {"UTF-16, little-endian, and a name beyond ASCII",
         utf16(u"FILE \"jeu \u00E9t\u00E9 \U0001F3AE.bin\" BINARY\r\n TRACK 01 MODE2/2352\r\n", true),
         "jeu \xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xAE.bin", 1, "MODE2/2352", 0},
        {"UTF-16, big-endian", utf16(u"FILE game.bin BINARY\n TRACK 01 MODE1/2048\n", false), "game.bin", 1,
         "MODE1/2048", 0},
        {"a short sheet without INDEX", "FILE \"game.bin\" BINARY\n  TRACK 01 MODE2/2352\n", "game.bin", 1,
         "MODE2/2352", 0},
        {"an audio file, then a short data track's file",
         "FILE \"a.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\nFILE \"game.bin\" BINARY\n TRACK 02 MODE2/2352\n",
         "game.bin", 2, "MODE2/2352", 0},
        {"a data track without INDEX that the sheet leaves for another file",
         "FILE \"game.bin\" BINARY\n TRACK 01 MODE1/2048\nFILE \"b.bin\" BINARY\n TRACK 02 AUDIO\n", "game.bin", 1,
         "MODE1/2048", 0},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(looksLikeCueSheet(c.sheet.substr(0, 64))) << c.what;  // as a file's first bytes are read
        const auto track = firstDataTrack(c.sheet);
        ASSERT_TRUE(track) << c.what;
        EXPECT_EQ(track->file, c.file) << c.what;
        EXPECT_EQ(track->number, c.track) << c.what;
        EXPECT_EQ(track->mode, c.mode) << c.what;
        EXPECT_EQ(track->offset, c.offset) << c.what;
    }
    EXPECT_FALSE(firstDataTrack("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"));
    EXPECT_FALSE(firstDataTrack("REM only a comment\n"));
}

// Where the data track's start cannot be told, nothing is read from a guess.
TEST(CueSheet, RefusesASheetWhoseDataTrackCannotBePlaced) {
    const std::pair<std::string, std::string> cases[] = {
        {"FILE \"g.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:10:00\n TRACK 02 MODE2/2352\n  INDEX 01 00:05:00\n",
         "its times go back at track 2"},
        {"FILE \"g.bin\" BINARY\n TRACK 01 MODE2/2352\n  INDEX 00 00:04:00\n  INDEX 01 00:02:00\n",
         "its times go back at track 1"},
        {"FILE \"g.bin\" BINARY\n TRACK 01 MP3\n  INDEX 01 00:00:00\n TRACK 02 MODE2/2352\n  INDEX 01 00:01:00\n",
         "its track 1 has the mode MP3, which this program does not know, so its length in bytes is not known"},
        {"FILE \"g.bin\" BINARY\n TRACK 01 MODE2/2352\n  INDEX 01 00:61:00\n",
         "\"INDEX 01 00:61:00\" is not an index number and a time (minutes:seconds:frames)"},
        {"FILE \"g.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 MODE2/2352\n  INDEX 00 00:01:00\n"
         " TRACK 03 AUDIO\n  INDEX 01 00:09:00\n",
         "its data track 2 has no INDEX 01"},
        {"FILE \"g.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 MODE2/2352\n",
         "its data track 2 has no INDEX 01"},
    };
    for (const auto& [sheet, reason] : cases) EXPECT_EQ(failureOf([&] { firstDataTrack(sheet); }), reason) << sheet;

    // Through the sheet's file, the message names it.
    TempDir dir;
    writeFile(dir / "g.cue", bytesOf(cases[0].first));
    File sheet = File::openForReading(dir / "g.cue");
    EXPECT_EQ(failureOf([&] { cueSheetImage(sheet, dir / "g.cue"); }),
              "Cannot open " + quoted(dir / "g.cue") + ": the CUE sheet is damaged: its times go back at track 2");
}

// Sheets made on Windows or on another machine name their files as found there.
TEST(CueSheet, FindsTheFileWhereverTheSheetWasWritten) {
    struct Case {
        std::string named;  // in the sheet
        std::string file;   // where the file is, from the sheet's folder
    };
    const Case cases[] = {
        {"bins\\game.bin", "bins/game.bin"},          {"C:\\Games\\PS2\\game.bin", "game.bin"},
        {"/media/old disk/game.bin", "game.bin"},     {"game.bin", "Game.BIN"},
        {"BINS\\GAME.bin", "bins/Game.bin"},          {"D:\\Rips\\GAME.BIN", "Game.bin"},
        {"Disc (Track 1).bin", "Disc (Track 1).bin"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::filesystem::create_directories((dir / c.file).parent_path());
        writeFile(dir / c.file, bytesOf("data"));
        writeFile(dir / "game.cue", bytesOf("FILE \"" + c.named + "\" BINARY\n TRACK 01 MODE2/2352\n"));
        File sheet = File::openForReading(dir / "game.cue");
        std::optional<CueImage> cue;
        const std::string failure = failureOf([&] { cue = cueSheetImage(sheet, dir / "game.cue"); });
        ASSERT_TRUE(cue) << c.named << ": " << failure;
        EXPECT_TRUE(sameFile(cue->file, dir / c.file)) << c.named << ": " << pathText(cue->file);
        EXPECT_EQ(cue->track.file, c.named);
    }

    TempDir dir;
    const auto missing = [&](const std::string& named) {
        writeFile(dir / "game.cue", bytesOf("FILE \"" + named + "\" BINARY\n TRACK 01 MODE2/2352\n"));
        File sheet = File::openForReading(dir / "game.cue");
        return failureOf([&] { cueSheetImage(sheet, dir / "game.cue"); });
    };
    EXPECT_EQ(missing("gone.bin"), "Cannot open " + quoted(dir / "game.cue") +
                                       ": the file of its data track, \"gone.bin\", is not beside it");
    EXPECT_EQ(missing("C:\\Games\\gone.bin"), "Cannot open " + quoted(dir / "game.cue") +
                                                  ": the file of its data track, \"C:\\Games\\gone.bin\", is neither "
                                                  "there nor beside it");
#ifndef _WIN32  // names that differ only in letter case are one name there
    writeFile(dir / "GAME.bin", bytesOf("a"));
    writeFile(dir / "game.BIN", bytesOf("b"));
    EXPECT_EQ(missing("Game.bin"), "Cannot open " + quoted(dir / "game.cue") +
                                       ": the file of its data track, \"Game.bin\", is not beside it (several files "
                                       "there have that name in other letter cases)");
#endif
}

// Audio before the data track in its file: every layout is found, read and
// patched from the track's start, and no byte before it changes.
TEST(CueSheet, TheDiscStartsWhereItsDataTrackDoes) {
    struct Case {
        const ImageLayout* layout;
        const char* mode;
    };
    for (const Case& c : {Case{&kRawMode2Layout, "MODE2/2352"}, Case{&kRawMode1Layout, "MODE1/2352"},
                          Case{&kMode2Sector2336Layout, "MODE2/2336"}, Case{&kPlainLayout, "MODE1/2048"}}) {
        TempDir dir;
        const std::uint64_t audioSectors = 300, pregap = 150;
        std::vector<Byte> file = testing::makeImage(audioSectors * 2352 + pregap * c.layout->sectorSize);
        const std::uint64_t start = file.size();
        const auto disc = testing::buildDisc({.logo = patternLogo(3)}, *c.layout);
        file.insert(file.end(), disc.begin(), disc.end());
        writeFile(dir / "Game.bin", file);
        writeFile(dir / "game.cue", bytesOf(std::string("FILE \"game.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
                                                        "    INDEX 01 00:00:00\r\n  TRACK 02 ") +
                                            c.mode + "\r\n    INDEX 00 00:04:00\r\n    INDEX 01 00:06:00\r\n"));

        const DiscImage image = DiscImage::open(dir / "game.cue");
        ASSERT_EQ(&image.layout(), c.layout) << c.mode;
        EXPECT_EQ(image.start(), start) << c.mode;
        EXPECT_EQ(image.size(), file.size());
        EXPECT_EQ(image.cueSheet()->track.number, 2);
        EXPECT_EQ(image.identity().serial, "SLUS_200.01") << c.mode << ": " << image.identity().unknownBecause;
        EXPECT_EQ(extractLogo(image.prefix()).logo, patternLogo(3)) << c.mode;

        const ImagePrefix asRead = image.prefix();
        ImagePrefix changed = asRead;
        insertLogo(patternLogo(9), changed);
        refreshCheckFields(changed, asRead);
        ASSERT_TRUE(testing::writePrefix(dir / "game.cue", changed)) << c.mode;
        const auto after = readFile(dir / "Game.bin");
        ASSERT_EQ(after.size(), file.size());
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + std::ptrdiff_t(start), after.begin())) << c.mode;
        const std::ptrdiff_t logoEnd = std::ptrdiff_t(start + 12 * c.layout->sectorSize);
        EXPECT_TRUE(std::equal(file.begin() + logoEnd, file.end(), after.begin() + logoEnd)) << c.mode;
        EXPECT_EQ(extractLogo(testing::readPrefix(dir / "game.cue")).logo, patternLogo(9)) << c.mode;
        for (std::size_t n = 0; c.layout->storesRawSectors() && n < 12; ++n)
            EXPECT_TRUE(inspectSector(wholeSector(testing::readPrefix(dir / "game.cue"), n)).checksValid())
                << c.mode << " sector " << n;
    }
}

// A track that shows no volume descriptor is read in the layout its mode says.
TEST(CueSheet, ATrackWithoutAVolumeDescriptorTakesTheLayoutOfItsMode) {
    TempDir dir;
    writeFile(dir / "game.bin", testing::makeImage(2352 * 20));
    for (const auto& [mode, layout] : {std::pair{"MODE2/2336", &kMode2Sector2336Layout},
                                       {"MODE1/2048", &kPlainLayout},
                                       {"MODE1/2352", &kRawMode1Layout},
                                       {"MODE2/2352", &kRawMode2Layout}}) {
        writeFile(dir / "game.cue",
                  bytesOf("FILE \"game.bin\" BINARY\n TRACK 01 " + std::string(mode) + "\n  INDEX 01 00:00:00\n"));
        EXPECT_EQ(&DiscImage::open(dir / "game.cue").layout(), layout) << mode;
    }
}

// A track that starts where the file ends, or too near it, is told as such.
TEST(CueSheet, ADataTrackTooShortForTheLogoNamesWhereItStarts) {
    TempDir dir;
    writeFile(dir / "game.bin", testing::makeImage(2352 * 20));
    writeFile(dir / "game.cue", bytesOf("FILE \"game.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                        " TRACK 02 MODE2/2352\n  INDEX 01 00:00:10\n"));
    EXPECT_EQ(failureOf([&] { DiscImage::open(dir / "game.cue"); }),
              quoted(dir / "game.bin") +
                  " is too short: the logo lies in the first 28248 bytes of a disc's data "
                  "track, and the track that starts at byte 23520 of this file has only 23520; "
                  "check the CUE sheet");
}

}  // namespace
}  // namespace tolvane
