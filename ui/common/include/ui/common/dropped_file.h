// Files dropped on the window, in either window.
#pragma once

#include "editor/editor.h"

#include <filesystem>
#include <vector>

namespace tolvane {

// A picture (BMP or PNG) is imported into the open image (or the person is told
// to open an image first); any other file is opened as a disc image.
void openDroppedFile(Editor& editor, WindowOperations& window, const std::filesystem::path& path);
// One file as above; several at once are refused with a word why.
void openDroppedFiles(Editor& editor, WindowOperations& window, const std::vector<std::filesystem::path>& paths);

}  // namespace tolvane
