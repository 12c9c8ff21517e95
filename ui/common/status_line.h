// The status line below the window's fixed layout: one line, as wide as the
// window. A text too long for it is shortened in the middle of the file names it
// holds, so the message around them stays whole; the window shows the whole text
// as a tooltip.
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

// The status text (UTF-8) in `width` pixels: first every file name in it is
// shortened in its middle, all to one width and no more than needed; if that is
// not enough, the end is cut.
std::u16string fitStatus(std::string_view status, const std::vector<std::string>& names, const TextWidth& measure,
                         int width);

// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::u16string utf16(std::string_view utf8);

}  // namespace tolvane
