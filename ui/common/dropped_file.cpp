// What a file dropped on the window means.
#include "ui/common/dropped_file.h"

#include "logo/base/ascii_text.h"
#include "logo/picture/picture_file.h"

namespace tolvane {

namespace {

// A picture by its name (so that a damaged one gets a picture's message) or,
// under a name that is no disc image's, by its first bytes.
bool isPicture(const std::filesystem::path& path) {
    const std::string suffix = lowerAscii(pathText(path.extension()));
    if (suffix == ".bmp" || suffix == ".png") return true;
    return suffix != ".bin" && suffix != ".iso" && suffix != ".cue" && startsAsPicture(path);
}

}  // namespace

void openDroppedFile(Editor& editor, WindowOperations& window, const std::filesystem::path& path) {
    if (!isPicture(path)) {
        editor.openImage(path);
    } else if (editor.state().editing) {  // an image open for this edit: the picture goes into it
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
