// CUE sheets, as CDRWIN, rippers and disc tools write them beside their .bin files:
//     FILE "game.bin" BINARY
//       TRACK 01 MODE2/2352
//         INDEX 01 00:00:00
// The disc's data lies in its first data track: in the file the sheet names for
// it, from the byte where that track's INDEX 01 points, which is not the file's
// first byte when other tracks or a pregap come before it in the same file.
#pragma once

#include "logo/files/file_io.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// A sheet is UTF-8 (or ASCII), with or without a byte order mark, or UTF-16 with
// its byte order mark, either byte order; the names it gives come out in UTF-8.

// Whether a file's first bytes read as a CUE sheet (its first keyword is one a
// sheet starts with), whatever the file is called.
bool looksLikeCueSheet(std::string_view start);

// A sheet's first data track (MODE1 or MODE2), as the sheet tells it.
struct CueDataTrack {
    std::string file;          // the file its INDEX 01 lies in, as written in the sheet
    int number = 0;            // TRACK 02: 2
    std::string mode;          // "MODE2/2352"
    std::uint64_t offset = 0;  // the byte of that file its INDEX 01 points to
};

// The sheet's first data track; nothing when it has none. A file's name may
// stand without quotes, blanks and all (FILE My Game.bin BINARY). Every earlier
// track in the same file counts at its own sector size (AUDIO 2352, MODE1/2048
// 2048, ...) from its first INDEX to the next track's, the data track's own
// pregap (INDEX 00) at its size; PREGAP and POSTGAP are not in the file and
// count nothing.
// Fails, with the reason, for a sheet whose times cannot be read or go back, or
// whose bytes before the data track cannot be counted (a track mode it does not know).
std::optional<CueDataTrack> firstDataTrack(std::string_view sheet);

// A CUE sheet's data track: the sheet, what it says of the track, and the file
// the track lies in, found.
struct CueImage {
    std::filesystem::path sheet;
    CueDataTrack track;
    std::filesystem::path file;
};

// When the open file is a CUE sheet (small, and starting as a sheet does), its
// first data track and the file that holds it; nothing for any other file. The
// file is looked for as the sheet names it (relative to the sheet's folder, "\"
// a separator too), then, for a name that is not there (a drive path written
// on another machine, a folder that was not copied), by its last part beside
// the sheet; in each place in any letter case when not in the case written.
// Fails for a sheet that names no data track, a file found nowhere, or a name
// the system could not take.
std::optional<CueImage> cueSheetImage(File& file, const std::filesystem::path& path);

}  // namespace tolvane
