#include "file_dialogs.h"

namespace tolvane {

FileDialogSpec fileDialogSpec(Dialog dialog) {
    switch (dialog) {
        case Dialog::dialouvrir:
            return {"dialouvrir",
                    "Open CDR-Win File     ",
                    {{"CDR-Win Files  (*.bin)", "*.bin"}, {"DVD images (*.iso)", "*.iso"}, {"All files (*)", "*"}},
                    "bin",
                    false};
        case Dialog::dialsauvbmp:
            return {"dialsauvbmp", "Sauver une image BMP", {{"Fichiers BMP (*.bmp)", "*.bmp"}}, "bmp", true};
        case Dialog::dialouvbmp:
            return {"dialouvbmp", " Open Bitmap Image  ", {{"Bitmap Files (*.bmp)", "*.bmp"}}, "bmp", false};
    }
    return {};
}

}  // namespace tolvane
