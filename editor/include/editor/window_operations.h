// What the editor asks of its window. The Qt window implements it; tests use a
// fake that records the calls, and the command line a console stand-in.
#pragma once

#include "logo/picture/grey_picture.h"

#include <filesystem>
#include <string>

namespace tolvane {

enum class Dialog { dialouvrir, dialsauvbmp, dialouvbmp, dialsauvpatch };
enum class Button { bnsauvbmp, bnouvbmp, bnpatch };

class WindowOperations {
public:
    virtual ~WindowOperations() = default;

    // The chosen file, or an empty path when the person cancels.
    virtual std::filesystem::path chooseFile(Dialog dialog) = 0;
    virtual void setEnabled(Button button, bool on) = 0;
    virtual void presentLogo(const LogoImage& logo) = 0;
    // The console's view of the logo, of its own shape.
    virtual void presentPicture(const GreyPicture& picture) = 0;
    // The view's settings changed (by the person, or by a newly opened disc).
    virtual void showViewOptions(bool consoleView, bool pal) = 0;
    // Tells the person what failed; the program goes on.
    virtual void reportFailure(const std::string& failure) = 0;
    // Asks a yes-or-no question before a step that may be a mistake; true is yes.
    virtual bool confirm(const std::string& question) = 0;
    virtual void endProgram() = 0;
    // One line on what the last command did.
    virtual void showStatus(const std::string& status) = 0;
};

}  // namespace tolvane
