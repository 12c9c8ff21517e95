#include "editor/editor_state.h"

#include "logo/base/failure.h"
#include "logo/files/file_io.h"
#include "history/patch_history.h"
#include "logo/disc/sector_checks.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <new>

namespace tolvane {

namespace {

std::string checkFieldsNote(std::size_t refreshed) {
    if (refreshed == 0) return "";
    return " (" + std::to_string(refreshed) + (refreshed == 1 ? " sector gets" : " sectors get") + " new EDC/ECC)";
}

// Reads a picture; one of the PAL console's shape, read in any other view, fails
// with a word on how to import it.
template <typename Read>
auto readWithShapeHint(const EditorState& s, Read&& read) {
    try {
        return read();
    } catch (const WrongPictureShape& wrong) {
        if (wrong.found() != consoleShape(true) || (s.consoleView && s.pal)) throw;
        throw Failure(std::string(wrong.what()) +
                      ". That is the shape of the logo as a PAL console shows it: import it in console view with PAL "
                      "(--console --pal, or tick Console view and PAL)");
    }
}

}  // namespace

Editor::Editor(WindowOperations& window) : window_(window), state_(std::make_unique<EditorState>()) {}

void Editor::Form_Load() { enable(Enablement{}); }

void Editor::bnouvimg_Click() {
    const auto path = window_.chooseFile(Dialog::dialouvrir);
    if (!path.empty()) openImage(path);
}

void Editor::bnsauvbmp_Click() {
    if (!enabled_.saveBitmap) return;
    const auto path = window_.chooseFile(Dialog::dialsauvbmp);
    if (!path.empty()) saveBitmap(path);
}

void Editor::bnouvbmp_Click() {
    if (!enabled_.openBitmap) return;
    const auto path = window_.chooseFile(Dialog::dialouvbmp);
    if (!path.empty()) openBitmap(path);
}

void Editor::bnpatch_Click() { patch(); }

void Editor::bnquitter_Click() { window_.endProgram(); }

bool Editor::isEnabled(Button button) const {
    switch (button) {
        case Button::bnsauvbmp: return enabled_.saveBitmap;
        case Button::bnouvbmp: return enabled_.openBitmap;
        case Button::bnpatch: return enabled_.patch;
    }
    return false;
}

// Each command works on locals and commits them only when every step has
// succeeded, so a failure leaves the state and the buttons as they were.
template <typename Command>
bool Editor::attempt(const std::string& doing, Command&& command) {
    try {
        command();
        return true;
    } catch (const std::bad_alloc&) {
        const std::string failure = "Out of memory while " + doing;
        window_.showStatus(failure);
        window_.reportFailure(failure);
    } catch (const std::exception& failure) {
        window_.showStatus(failure.what());
        window_.reportFailure(failure.what());
    }
    return false;
}

bool Editor::openImage(const std::filesystem::path& path) {
    return attempt("opening " + quoted(path), [&] {
        DiscImage image = DiscImage::open(path);
        image.close();
        ExtractedLogo extracted = extractLogo(image.prefix());

        EditorState& s = *state_;
        s.imagePrefix = image.prefix();
        s.imageOnDisk = image.prefix();
        s.sectorPayloads = extracted.payloads;
        s.logo = extracted.logo;
        shownLogo_ = s.logo;
        s.imagePath = image.path();  // for a CUE sheet, the file it names
        s.identity = image.identity();
        s.looksLikeDisc = image.looksLikeDisc();
        s.key = chooseKey(s.identity, *s.logo);
        s.pal = s.identity.videoMode == VideoMode::Pal;
        window_.showViewOptions(s.consoleView, s.pal);
        present();
        enable({true, true, enabled_.patch});
        std::string status = "Opened " + displayName(image.path()) + ": " + std::string(image.layout().description) +
                             ", " + describe(s.identity);
        if (!s.looksLikeDisc) status += "; it " + notADiscReason();
        if (s.consoleView) status += "; console view with " + describe(s.key, s.identity);
        window_.showStatus(status);
    });
}

bool Editor::saveBitmap(const std::filesystem::path& path) {
    if (!enabled_.saveBitmap) return false;
    return attempt("saving " + quoted(path), [&] {
        EditorState& s = *state_;
        if (sameFile(path, s.imagePath))
            throw Failure("Cannot save the logo to " + quoted(path) +
                          ": it is the disc image the logo comes from; choose another name");
        if (s.consoleView) {
            writePictureFile(path, decodeLogo(*s.logo, s.key.key, s.pal));
            window_.showStatus("Saved the logo as the console shows it to " + displayName(path));
            return;
        }
        ExportedBitmap exported = exportBitmap(path, *s.logo);
        s.bitmapHeader = exported.header;
        s.bitmapPixels = exported.pixels;
        window_.showStatus("Saved the logo to " + displayName(path));
    });
}

bool Editor::openBitmap(const std::filesystem::path& path) {
    if (!enabled_.openBitmap) return false;
    return attempt("reading " + quoted(path), [&] {
        const EditorState& s = *state_;
        if (s.consoleView) {
            const GreyPicture shown = readWithShapeHint(s, [&] { return readPictureFile(path, consoleShape(s.pal)); });
            const LogoImage logo = encodeLogo(shown, s.key.key, *s.logo);
            ImportedBitmap imported{logo, s.bitmapHeader.value_or(BitmapHeader{}), toBitmapRows(logo)};
            importLogo(path, imported, " in console view (" + describe(s.key, s.identity) + ")");
            return;
        }
        importLogo(path, readWithShapeHint(s, [&] { return importBitmap(path); }), "");
    });
}

// The rest of Open Bitmap, once the new logo is known: into a copy of the prefix,
// check fields recomputed, then committed.
void Editor::importLogo(const std::filesystem::path& path, const ImportedBitmap& imported, const std::string& how) {
    ImagePrefix prefix = *state_->imagePrefix;
    const SectorPayloads payloads = insertLogo(imported.logo, prefix);
    const std::size_t refreshed = refreshCheckFields(prefix, *state_->imageOnDisk);

    EditorState& s = *state_;
    s.imagePrefix = std::move(prefix);
    s.sectorsWithNewChecks = refreshed;
    s.sectorPayloads = payloads;
    s.logo = imported.logo;
    s.bitmapPixels = imported.pixels;
    s.bitmapHeader = imported.header;
    enable({enabled_.saveBitmap, enabled_.openBitmap, true});
    std::string status = "Imported " + displayName(path) + how + " - press Patch to write it into " +
                         displayName(s.imagePath) + checkFieldsNote(refreshed);
    if (s.consoleView) status += ". Note: Japanese and European consoles may refuse a disc whose logo was changed";
    window_.showStatus(status);
}

void Editor::setConsoleView(bool on) {
    state_->consoleView = on;
    window_.showViewOptions(on, state_->pal);
    if (state_->imagePath.empty()) return;
    present();
    window_.showStatus(on ? "Console view: " + describe(state_->key, state_->identity)
                          : "Stored view: the logo's bytes as grey levels");
}

void Editor::setPal(bool pal) {
    state_->pal = pal;
    window_.showViewOptions(state_->consoleView, pal);
    if (!state_->imagePath.empty() && state_->consoleView) present();
}

void Editor::setKey(Byte key) {
    state_->key.key = key;
    state_->key.source = KeySource::Given;
    if (!state_->imagePath.empty() && state_->consoleView) present();
}

void Editor::present() {
    if (state_->consoleView) {
        window_.presentPicture(decodeLogo(*shownLogo_, state_->key.key, state_->pal));
    } else {
        window_.presentLogo(*shownLogo_);
    }
}

bool Editor::confirmNotADisc() {
    // Bytes the file already holds are not written again: nothing to ask then.
    return state_->looksLikeDisc || state_->imagePrefix == state_->imageOnDisk ||
           window_.confirm(displayName(state_->imagePath) + " " + notADiscReason() +
                           ". Patching writes the logo into its first bytes. Patch it anyway?");
}

PatchOutcome Editor::checkPatch() {
    if (!enabled_.patch) return PatchOutcome::Failed;
    if (!confirmNotADisc()) return PatchOutcome::Declined;
    const EditorState& s = *state_;
    const auto check = [&] {
        verifyImagePrefix(s.imagePath, *s.imageOnDisk);
        if (s.imagePrefix != s.imageOnDisk) PatchHistory::forUser().checkUsable(s.imagePath);
    };
    if (!attempt("checking " + quoted(s.imagePath), check)) return PatchOutcome::Failed;
    return s.imagePrefix == s.imageOnDisk ? PatchOutcome::NothingToPatch : PatchOutcome::Patched;
}

PatchOutcome Editor::patch() {
    if (!enabled_.patch) return PatchOutcome::Failed;
    if (!confirmNotADisc()) {
        window_.showStatus("Nothing was written to " + displayName(state_->imagePath));
        return PatchOutcome::Declined;
    }
    bool wrote = false;
    const bool done = attempt("patching " + quoted(state_->imagePath), [&] {
        EditorState& s = *state_;
        try {
            wrote = PatchHistory::forUser().patch(s.imagePath, *s.imagePrefix, *s.imageOnDisk);
        } catch (const FailureAfterWrite&) {  // the image holds the new logo all the same
            s.imageOnDisk = s.imagePrefix;
            enable({});
            throw;
        }
        if (!wrote) {
            window_.showStatus("Nothing to patch: " + displayName(s.imagePath) + " already holds this logo");
            return;
        }
        s.imageOnDisk = s.imagePrefix;
        enable({});
        window_.showStatus("Patched " + displayName(s.imagePath) + "; Ctrl+Z takes the patch back");
    });
    if (!done) return PatchOutcome::Failed;
    return wrote ? PatchOutcome::Patched : PatchOutcome::NothingToPatch;
}

bool Editor::takeBackLastPatch() {
    const std::filesystem::path image = state_->imagePath;
    if (image.empty()) {
        window_.showStatus("Open a disc image first: Ctrl+Z takes back the last patch of the open image.");
        return false;
    }
    const std::string dropped = enabled_.patch ? " The imported logo, not yet patched, is dropped." : "";
    if (!window_.confirm("Take the last patch of " + displayName(image) + " back? The image gets the logo it had " +
                         "before that patch." + dropped))
        return false;
    RestoreResult result;
    bool written = false;  // a failure after the write leaves the image restored all the same
    if (!attempt("taking back the last patch of " + quoted(image), [&] {
            try {
                result = PatchHistory::forUser().restore(image);
            } catch (const FailureAfterWrite&) {
                written = true;
                throw;
            }
        })) {
        if (written && openImage(image)) enable({true, true, false});
        return false;
    }
    // The image as it is now, read again; nothing is left to patch.
    if (!openImage(image)) return false;
    enable({true, true, false});
    const std::size_t left = result.left;
    window_.showStatus((result.finishedEarlierRestore ? "Finished taking back the patch of " : "Took back the patch of ") +
                       localTimeText(result.restored.time) + ": " + displayName(image) +
                       " holds the logo it had before it" +
                       (left == 0   ? ""
                        : left == 1 ? "; Ctrl+Z takes back 1 earlier patch"
                                    : "; Ctrl+Z takes back " + std::to_string(left) + " earlier patches, one at a time"));
    return true;
}

void Editor::enable(const Enablement& next) {
    enabled_ = next;
    window_.setEnabled(Button::bnsauvbmp, next.saveBitmap);
    window_.setEnabled(Button::bnouvbmp, next.openBitmap);
    window_.setEnabled(Button::bnpatch, next.patch);
}

}  // namespace tolvane
