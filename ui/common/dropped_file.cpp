#include "dropped_file.h"

#include "logo/picture/picture_file.h"

#include <algorithm>
#include <cctype>

namespace tolvane {

namespace {

// A picture by its name (so that a damaged one gets a picture's message) or,
// under a name that is no disc image's, by its first bytes.
bool isPicture(const std::filesystem::path& path) {
    std::u8string suffix = path.extension().u8string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](char8_t c) { return c < 0x80 ? static_cast<char8_t>(std::tolower(c)) : c; });
    if (suffix == u8".bmp" || suffix == u8".png") return true;
    return suffix != u8".bin" && suffix != u8".iso" && suffix != u8".cue" && startsAsPicture(path);
}

}  // namespace

void openDroppedFile(Editor& editor, WindowOperations& window, const std::filesystem::path& path) {
    if (!isPicture(path)) {
        editor.openImage(path);
    } else if (editor.isEnabled(Button::bnouvbmp)) {
        editor.openBitmap(path);
    } else {
        window.showStatus("Open a disc image first, then drop the bitmap on the window.");
    }
}

void openDroppedFiles(Editor& editor, WindowOperations& window, const std::vector<std::filesystem::path>& paths) {
    if (paths.size() != 1) {
        window.showStatus("Drop one file at a time: a disc image, or a bitmap to import.");
        return;
    }
    openDroppedFile(editor, window, paths.front());
}

}  // namespace tolvane
