// The status area below the window's fixed layout: a few lines, as wide as the
// window. The editor's status is one text: its first line says what the command
// did, each further line is a warning of its own ("Warning: ..."). Each starts a
// line of the area; a line too long for one wraps, at a blank, onto lines the
// others leave free; what still does not fit is shortened in the middle of the
// file names it holds, all to one width and no more than needed, so the message
// around them stays whole; and only then is the end cut. The window offers the
// whole text to copy, and shows it as a tooltip when something was shortened.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// The width in pixels a text takes in the status line's font.
using TextWidth = std::function<int(std::u16string_view)>;

// The names the editor's status texts give these files by: the full path (in a
// failure) and the file name alone (otherwise), UTF-8. Empty paths are skipped.
std::vector<std::string> statusFileNames(const std::vector<std::filesystem::path>& files);

struct FittedStatus {
    std::vector<std::u16string> lines;  // at most as many as the area has, none wider than it
    bool shortened = false;             // a name shortened or an end cut somewhere
};

// The status text (UTF-8) in `lines` lines of `width` pixels. A status of more
// lines than that has its last ones joined on the area's last line.
FittedStatus fitStatus(std::string_view status, const std::vector<std::string>& names, const TextWidth& measure,
                       int width, int lines);

// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::u16string utf16(std::string_view utf8);

}  // namespace tolvane
