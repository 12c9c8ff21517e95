// The window's modal dialogs: Windows' own file dialogs and message boxes.
#pragma once

#include "editor/window_operations.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace tolvane::win32 {

struct ChosenFile {
    std::filesystem::path path;  // empty when the person cancelled or the dialog failed
    std::string failure;         // why the dialog failed, empty otherwise
};

// The open or save dialog for this command: its title, filters and default
// extension; opening takes only files that exist, saving asks before replacing.
ChosenFile chooseFile(HWND owner, Dialog dialog);
// A failure, with an error icon; the caption is the owner's.
void showFailure(HWND owner, const std::string& text);
// A yes-or-no question, "no" preselected; true for yes.
bool askYesNo(HWND owner, const std::string& question);

}  // namespace tolvane::win32
