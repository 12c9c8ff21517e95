// The file dialogs' titles, filters and extensions.
#include "ui/common/file_dialogs.h"

namespace tolvane {

FileDialogDescription fileDialogDescription(Dialog dialog) {
    switch (dialog) {
        case Dialog::dialouvrir:
            return {"dialouvrir",
                    "Open CDR-Win File     ",
                    {{"CDR-Win Files  (*.bin)", "*.bin"},
                     {"DVD images (*.iso)", "*.iso"},
                     {"CUE sheets (*.cue)", "*.cue"},
                     {"CHD images (*.chd)", "*.chd"},
                     {"All files (*)", "*"}},
                    "bin",
                    false};
        case Dialog::dialsauvbmp:
            return {"dialsauvbmp",
                    "Sauver une image BMP",
                    {{"Fichiers BMP (*.bmp)", "*.bmp"}, {"PNG image (*.png)", "*.png"}},
                    "bmp",
                    true};
        case Dialog::dialouvbmp:
            return {"dialouvbmp",
                    " Open Bitmap Image  ",
                    {{"Bitmap Files (*.bmp)", "*.bmp"}, {"PNG image (*.png)", "*.png"}},
                    "bmp",
                    false};
        case Dialog::dialsauvpatch:
            return {"dialsauvpatch",
                    "Save as patch file",
                    {{"xdelta patch (*.xdelta *.vcdiff)", "*.xdelta;*.vcdiff"}, {"PPF 3.0 patch (*.ppf)", "*.ppf"}},
                    "xdelta",
                    true};
    }
    return {};
}

}  // namespace tolvane
