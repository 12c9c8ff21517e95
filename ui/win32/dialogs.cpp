// Windows' file dialogs and message boxes for the window.
#include "dialogs.h"

#include "text.h"
#include "ui/common/file_dialogs.h"

#include <cderr.h>
#include <commdlg.h>

#include <cstdio>

namespace tolvane::win32 {

namespace {

// Label and patterns of each filter, each ended by a NUL, and a NUL after the last.
std::wstring filterList(const FileDialogDescription& description) {
    std::wstring list;
    for (const FileFilter& filter : description.filters) {
        list += wide(filter.label);
        list += L'\0';
        list += wide(filter.patterns);
        list += L'\0';
    }
    return list + L'\0';
}

std::wstring captionOf(HWND window) {
    std::wstring caption(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    caption.resize(std::size_t(GetWindowTextW(window, caption.data(), int(caption.size()))));
    return caption;
}

}  // namespace

ChosenFile chooseFile(HWND owner, Dialog dialog) {
    const FileDialogDescription description = fileDialogDescription(dialog);
    const std::wstring filters = filterList(description), title = wide(description.title),
                       extension = wide(description.defaultExtension);
    std::wstring file(32768, L'\0');  // room for a long path

    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    chooser.lpstrFilter = filters.c_str();
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = file.data();
    chooser.nMaxFile = DWORD(file.size());
    chooser.lpstrTitle = title.c_str();
    chooser.lpstrDefExt = extension.c_str();
    chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                    (description.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (description.save ? GetSaveFileNameW(&chooser) : GetOpenFileNameW(&chooser)) {
        file.resize(file.find(L'\0'));
        return {std::filesystem::path(file), {}};
    }
    // Zero: the person cancelled.
    if (const DWORD error = CommDlgExtendedError()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%04lX", static_cast<unsigned long>(error));
        return {{},
                "Cannot show the dialog \"" + std::string(description.title) +
                    "\": the common dialog failed with error " + code +
                    (error == FNERR_BUFFERTOOSMALL ? " (the file name is too long)" : "")};
    }
    return {};
}

void showFailure(HWND owner, const std::string& text) {
    MessageBoxW(owner, wide(text).c_str(), captionOf(owner).c_str(), MB_OK | MB_ICONERROR);
}

bool askYesNo(HWND owner, const std::string& question) {
    return MessageBoxW(owner, wide(question).c_str(), captionOf(owner).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

}  // namespace tolvane::win32
