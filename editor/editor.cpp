// The window's handlers over the editor's core.
#include "editor/editor.h"

#include "logo/base/failure.h"
#include "logo/disc/disc_image.h"
#include "tolvane_version.h"

#include <new>

namespace tolvane {

namespace {

std::string checkFieldsNote(std::size_t refreshed) {
    if (refreshed == 0) return "";
    return " (" + std::to_string(refreshed) + (refreshed == 1 ? " sector gets" : " sectors get") + " new EDC/ECC)";
}

// A warning takes a line of its own in the status.
std::string warningLine(const std::string& warning) { return warning.empty() ? "" : "\nWarning: " + warning; }

constexpr const char* kConsolesRefuse = "Japanese and European consoles may refuse a disc whose logo was changed";

// When the view's shape is not the one the disc's console shows.
std::string shapeWarning(const EditorState& s) {
    if (!s.consoleView || s.identity.videoMode == VideoMode::Unknown ||
        (s.identity.videoMode == VideoMode::Pal) == s.pal)
        return "";
    const bool palDisc = s.identity.videoMode == VideoMode::Pal;
    return std::string("this is ") + (palDisc ? "a PAL" : "an NTSC") +
           " disc (its SYSTEM.CNF says so): its console shows the logo as " + (palDisc ? "344 x 71" : "384 x 64") +
           ", so the " + (palDisc ? "NTSC" : "PAL") +
           " picture shown here is scrambled; untick or tick PAL to see it as the console does";
}

}  // namespace

// The build's version, which a person reporting a fault quotes: the window's
// title names another, and stays as it is.
void Editor::Form_Load() {
    showEnablement();
    window_.showStatus("Tolvane Editor " TOLVANE_VERSION ": open a disc image to begin");
}

void Editor::bnouvimg_Click() {
    const auto path = window_.chooseFile(Dialog::dialouvrir);
    if (!path.empty()) openImage(path);
}

void Editor::bnsauvbmp_Click() {
    if (!enablement().saveBitmap) return;
    const auto path = window_.chooseFile(Dialog::dialsauvbmp);
    if (!path.empty()) saveBitmap(path);
}

void Editor::bnouvbmp_Click() {
    if (!enablement().openBitmap) return;
    const auto path = window_.chooseFile(Dialog::dialouvbmp);
    if (!path.empty()) openBitmap(path);
}

void Editor::bnpatch_Click() { patch(); }

void Editor::bnquitter_Click() { window_.endProgram(); }

void Editor::mnusauvpatch_Click() {
    if (!enablement().patch) return;
    const auto path = window_.chooseFile(Dialog::dialsauvpatch);
    if (!path.empty()) savePatchFile(path);
}

bool Editor::isEnabled(Button button) const {
    const Enablement e = enablement();
    switch (button) {
        case Button::bnsauvbmp: return e.saveBitmap;
        case Button::bnouvbmp: return e.openBitmap;
        case Button::bnpatch: return e.patch;
    }
    return false;
}

template <typename Command>
bool Editor::attempt(const std::string& doing, Command&& command) {
    try {
        command();
        return true;
    } catch (const ChdNotWritable& refused) {  // the whole reason in the message, its gist in the status
        window_.showStatus(refused.brief());
        window_.reportFailure(refused.what());
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
        commands_.open(path);
        const EditorState& s = commands_.state();
        window_.showViewOptions(s.consoleView, s.pal);
        present();
        showEnablement();
        std::string status =
            "Opened " + displayName(s.imagePath) + ": " + commands_.layoutDescription() + ", " + describe(s.identity);
        const std::optional<ChdSummary>& chd = commands_.chd();
        if (chd) status += chd->compressed ? "; a compressed CHD image" : "; a CHD image";
        if (s.consoleView) status += "; console view with " + describeSource(s.key, s.identity);
        if (chd && chd->compressed)
            status += warningLine(
                "it can be read but not patched in place; to patch it, open a copy made with "
                "chdman copy -c none");
        if (!s.looksLikeDisc) status += warningLine("it " + notADiscReason());
        if (s.consoleView) status += warningLine(keyWarning(s.key));
        window_.showStatus(status);
    });
}

bool Editor::saveBitmap(const std::filesystem::path& path) {
    if (!enablement().saveBitmap) return false;
    return attempt("saving " + quoted(path), [&] {
        commands_.exportPicture(path);
        window_.showStatus(
            std::string(state().consoleView ? "Saved the logo as the console shows it to " : "Saved the logo to ") +
            displayName(path));
    });
}

bool Editor::openBitmap(const std::filesystem::path& path) {
    if (!enablement().openBitmap) return false;
    return attempt("reading " + quoted(path), [&] {
        commands_.importPicture(path);
        showEnablement();
        const EditorState& s = commands_.state();
        const std::string how = s.consoleView ? " in console view (" + describeSource(s.key, s.identity) + ")" : "";
        std::string status = "Imported " + displayName(path) + how + " - press Patch to write it into " +
                             displayName(s.imagePath) + checkFieldsNote(s.sectorsWithNewChecks);
        if (s.consoleView)
            status +=
                warningLine(commands_.borderWarning()) + warningLine(keyWarning(s.key)) + warningLine(kConsolesRefuse);
        window_.showStatus(status);
    });
}

PatchOutcome Editor::patch() {
    if (!enablement().patch) return PatchOutcome::Failed;
    const EditorState& s = commands_.state();
    if (commands_.patchNeedsConsent() &&
        !window_.confirm(displayName(s.imagePath) + " " + notADiscReason() +
                         ". Patching writes the logo into its first bytes. Patch it anyway?")) {
        window_.showStatus("Nothing was written to " + displayName(s.imagePath));
        return PatchOutcome::Declined;
    }
    bool wrote = false;
    const bool done = attempt("patching " + quoted(s.imagePath), [&] {
        try {
            wrote = commands_.patch();
        } catch (const FailureAfterWrite&) {  // the image holds the new logo all the same
            showEnablement();
            throw;
        }
        if (!wrote) {
            window_.showStatus("Nothing to patch: " + displayName(s.imagePath) + " already holds this logo");
            return;
        }
        showEnablement();
        window_.showStatus("Patched " + displayName(s.imagePath) + "; Ctrl+Z takes the patch back");
    });
    if (!done) return PatchOutcome::Failed;
    return wrote ? PatchOutcome::Patched : PatchOutcome::NothingToPatch;
}

bool Editor::savePatchFile(const std::filesystem::path& path) {
    if (!enablement().patch) return false;
    const EditorState& s = commands_.state();
    if (commands_.patchNeedsConsent() &&
        !window_.confirm(displayName(s.imagePath) + " " + notADiscReason() +
                         ". The patch file writes the logo into its first bytes. Save it anyway?")) {
        window_.showStatus("No patch file was written");
        return false;
    }
    bool wrote = false;
    attempt("saving " + quoted(path), [&] {
        const std::optional<PatchFileSaved> saved = commands_.savePatchFile(path);
        if (!saved) {
            window_.showStatus("Nothing to patch: " + displayName(s.imagePath) +
                               " already holds this logo; no patch file was written");
            return;
        }
        wrote = true;
        window_.showStatus("Saved " + displayName(path) + ", a " + describe(saved->kind) + " of " +
                           std::to_string(saved->size) + " bytes for " + displayName(s.imagePath) +
                           ", which was not changed");
    });
    return wrote;
}

bool Editor::takeBackLastPatch() {
    if (!commands_.imageOpen()) {
        window_.showStatus("Open a disc image first: Ctrl+Z takes back the last patch of the open image.");
        return false;
    }
    const std::filesystem::path image = state().imagePath;
    const std::string dropped = enablement().patch ? " The imported logo, not yet patched, is dropped." : "";
    if (!window_.confirm("Take the last patch of " + displayName(image) + " back? The image gets the logo it had " +
                         "before that patch." + dropped))
        return false;
    RestoreResult result;
    bool readAgain = false;  // the image was taken back, whatever failed after
    const bool done = attempt("taking back the last patch of " + quoted(image), [&] {
        try {
            result = commands_.takeBackLastPatch();
        } catch (const FailureAfterWrite&) {
            readAgain = true;
            throw;
        }
    });
    if (done || readAgain) {
        window_.showViewOptions(state().consoleView, state().pal);
        present();
        showEnablement();
    }
    if (!done) return false;
    const std::size_t left = result.left;
    window_.showStatus(
        (result.finishedEarlierRestore ? "Finished taking back the patch of " : "Took back the patch of ") +
        localTimeText(result.restored.time) + ": " + displayName(image) + " holds the logo it had before it" +
        (left == 0   ? ""
         : left == 1 ? "; Ctrl+Z takes back 1 earlier patch"
                     : "; Ctrl+Z takes back " + std::to_string(left) + " earlier patches, one at a time"));
    return true;
}

void Editor::setConsoleView(bool on) {
    const bool done = attempt("changing the view", [&] { commands_.setConsoleView(on); });
    const EditorState& s = commands_.state();
    window_.showViewOptions(s.consoleView, s.pal);
    if (!done || !commands_.imageOpen()) return;
    present();
    window_.showStatus(on ? "Console view: " + describeSource(s.key, s.identity) + warningLine(keyWarning(s.key)) +
                                warningLine(shapeWarning(s))
                          : "Stored view: the logo's bytes as grey levels");
}

void Editor::setPal(bool pal) {
    commands_.setPal(pal);
    const EditorState& s = commands_.state();
    window_.showViewOptions(s.consoleView, pal);
    if (!commands_.imageOpen() || !s.consoleView) return;
    present();
    window_.showStatus(std::string("Console view as a ") +
                       (pal ? "PAL console shows it, 344 x 71" : "NTSC console shows it, 384 x 64") +
                       warningLine(shapeWarning(s)));
}

void Editor::setKey(Byte key) {
    commands_.setKey(key);
    if (commands_.imageOpen() && state().consoleView) present();
}

void Editor::present() {
    const GreyPicture shown = commands_.shownPicture();
    if (state().consoleView)
        window_.presentPicture(shown);
    else
        window_.presentLogo(logoOf(shown));
}

void Editor::showEnablement() {
    const Enablement e = enablement();
    window_.setEnabled(Button::bnsauvbmp, e.saveBitmap);
    window_.setEnabled(Button::bnouvbmp, e.openBitmap);
    window_.setEnabled(Button::bnpatch, e.patch);
}

}  // namespace tolvane
