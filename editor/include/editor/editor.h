// The editor as a window drives it: one handler per button, each choosing its
// file through the window, running one command of the core, and telling the
// window what to show. The buttons' enablement follows from the core's state.
#pragma once

#include "editor/editor_commands.h"
#include "editor/window_operations.h"

#include <filesystem>
#include <string>

namespace tolvane {

class Editor {
public:
    explicit Editor(WindowOperations& window) : window_(window) {}

    // The switched buttons off, and the build's version in the status.
    void Form_Load();
    void bnouvimg_Click();
    void bnsauvbmp_Click();
    void bnouvbmp_Click();
    void bnpatch_Click();
    void bnquitter_Click();
    // The logo view's context menu: "Save as patch file...", with Patch.
    void mnusauvpatch_Click();

    // The commands after their dialogs, for a path that came another way (a
    // dropped file, the program's command line). Each gives whether it
    // succeeded; a failed one has been reported and has changed nothing.
    bool openImage(const std::filesystem::path& path);
    bool saveBitmap(const std::filesystem::path& path);
    bool openBitmap(const std::filesystem::path& path);
    PatchOutcome patch();
    // Writes what Patch would write as a patch file of the kind the name asks
    // for, leaving the image as it is; gives whether the file was written.
    bool savePatchFile(const std::filesystem::path& path);
    // Takes the last patch of the open image back, once the person says so: the
    // image holds the logo it had before that patch, the view shows it, and an
    // imported logo not yet patched is dropped. Gives whether it was taken back.
    bool takeBackLastPatch();

    // Switching the view redraws the logo; it changes nothing in the image bytes.
    void setConsoleView(bool on);
    void setPal(bool pal);
    // A key given by the person, in place of the one worked out.
    void setKey(Byte key);

    const EditorState& state() const { return commands_.state(); }
    Enablement enablement() const { return enablementOf(commands_.state()); }
    bool isEnabled(Button button) const;

private:
    // Runs a command of the core; a failure is shown with what was being done,
    // and the state and the buttons stay as they were.
    template <typename Command>
    bool attempt(const std::string& doing, Command&& command);
    void present();
    // The three switched buttons as the state gives them, in the order Save
    // Bitmap, Open Bitmap, Patch.
    void showEnablement();

    WindowOperations& window_;
    EditorCommands commands_;
};

}  // namespace tolvane
