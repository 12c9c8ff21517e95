// The editor's file dialogs as both windows show them: title, filters and
// the extension added to a name typed without one.
#pragma once

#include "editor/window_operations.h"

#include <vector>

namespace tolvane {

struct FileFilter {
    const char* label;     // as listed, e.g. "Bitmap Files (*.bmp)"
    const char* patterns;  // e.g. "*.bmp", "*.xdelta;*.vcdiff"; "*" for every file
};

struct FileDialogDescription {
    const char* name;
    const char* title;
    std::vector<FileFilter> filters;
    const char* defaultExtension;  // without the dot
    bool save;                     // a save dialog asks before replacing; an open dialog takes only existing files
};

FileDialogDescription fileDialogDescription(Dialog dialog);

}  // namespace tolvane
