// CUE sheets, as CDRWIN and most rippers write them beside a .bin:
//     FILE "game.bin" BINARY
//       TRACK 01 MODE2/2352
//         INDEX 01 00:00:00
// The disc's data lies in the file of its first data track.
#pragma once

#include "logo/files/file_io.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// Whether a file's first bytes read as a CUE sheet (its first keyword is one a
// sheet starts with), whatever the file is called.
bool looksLikeCueSheet(std::string_view start);

// The file named for the sheet's first data track (MODE1 or MODE2), as written
// in the sheet; nothing when it has none.
std::optional<std::string> firstDataTrackFile(std::string_view sheet);

// When the open file is a CUE sheet (small, and starting as a sheet does), the
// file of its first data track, beside it; nothing for any other file. Fails
// for a sheet that names no data track, or a name the system could not take.
std::optional<std::filesystem::path> cueSheetImage(File& file, const std::filesystem::path& path);

}  // namespace tolvane
