#include "dropped_file.h"

#include <algorithm>
#include <cctype>

namespace tolvane {

namespace {

bool isBitmapName(const std::filesystem::path& path) {
    std::u8string extension = path.extension().u8string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char8_t c) { return static_cast<char8_t>(std::tolower(c)); });
    return extension == u8".bmp";
}

}  // namespace

void openDroppedFile(Editor& editor, WindowOperations& window, const std::filesystem::path& path) {
    if (!isBitmapName(path)) {
        editor.openImage(path);
    } else if (editor.isEnabled(Button::bnouvbmp)) {
        editor.openBitmap(path);
    } else {
        window.showStatus("Open a disc image first, then drop the bitmap on the window.");
    }
}

}  // namespace tolvane
