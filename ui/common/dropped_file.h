// A file dropped on the window, in either window.
#pragma once

#include "editor/editor.h"

#include <filesystem>

namespace tolvane {

// A picture (BMP or PNG) is imported into the open image (or the person is told
// to open an image first); any other file is opened as a disc image.
void openDroppedFile(Editor& editor, WindowOperations& window, const std::filesystem::path& path);

}  // namespace tolvane
