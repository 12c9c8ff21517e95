// The editor without a window: opens an image, exports and imports its logo as a
// picture, patches it into the image and takes a patch back. Each command gives
// its result or throws a Failure, and a failed one changes nothing in the state.
// The windows and the command line drive the same core.
#pragma once

#include "editor/editor_state.h"
#include "history/patch_history.h"
#include "logo/disc/disc_image.h"
#include "logo/patch/patch_file.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tolvane {

// A patch file written, or that a dry run would write.
struct PatchFileSaved {
    PatchFileKind kind;
    std::uint64_t size;  // in bytes
};

class EditorCommands {
public:
    EditorCommands() = default;
    EditorCommands(const EditorCommands&) = delete;
    EditorCommands& operator=(const EditorCommands&) = delete;

    // Opens the image (for a CUE sheet, its data track, wherever it starts in its
    // file): its layout, game, key and logo. The later commands open it again
    // through the same path, sheet or image. An access other than Read keeps the
    // file open under its lock, for a command that goes on at once: Update until
    // the patch, ReadLocked until a patch file is made of it; nothing can change
    // it between. A CHD image, which can be read but not written, is then
    // refused with the reason. The view's settings follow the disc's video mode. In console
    // view, a disc whose game could not be read (a read error) is not opened.
    void open(const std::filesystem::path& image, ImageAccess access = ImageAccess::Read);
    // The layout of the open image, for people.
    const std::string& layoutDescription() const { return layout_; }
    // What the open image's CHD is made of, when it is one.
    const std::optional<ChdSummary>& chd() const { return chd_; }

    // Writes the picture the view stands for: the logo Patch would write as a
    // BMP headed by the template (or a PNG, by the name), or in console view the
    // picture the console shows, in its shape. Never over the image itself, nor
    // over the CUE sheet it was opened through.
    void exportPicture(const std::filesystem::path& file);
    // Reads a picture of the view's shape and puts it into the image's first
    // bytes in memory (encoded with the key in console view), recomputing the
    // check fields of the sectors where they were valid.
    void importPicture(const std::filesystem::path& file);

    // After an import in console view, a warning when the picture's border (its
    // top-left pixel) is not black; empty otherwise.
    std::string borderWarning() const;

    // Whether Patch would write into a file that does not look like a disc image:
    // the front end asks the person first.
    bool patchNeedsConsent() const { return !state_.looksLikeDisc && !(*state_.imagePrefix == *state_.imageOnDisk); }
    // Everything Patch checks before it writes, writing nothing anywhere: false
    // when the image already holds these bytes.
    bool checkPatch() const;
    // Writes the imported logo into the image and keeps a record of it to take
    // it back; false when the image already holds it. A CHD's patch first reads
    // every hunk, telling `progress`, which stops it, writing nothing, by giving
    // false (PatchHistory::patch).
    bool patch(const PatchProgress& progress = {});
    // Writes the change Patch would make as a patch file of the kind its name asks
    // for (patchFileKindFor), for people who hold the same image: a VCDIFF delta
    // whose source is the image file (for a CUE sheet, its data track's file), or
    // a PPF 3.0 patch of that file, described by the game's serial (a disc whose
    // game could not be read fails). The image is only read, under a reader's
    // lock (opened again, unless open holds it), so that one on a read-only mount
    // or that the user may not write does; it is checked
    // unchanged since it was opened, and let go before the patch file replaces
    // `file` whole (as export replaces a picture); the image stays as it is and
    // no record is kept. Never over the image, its CUE sheet or the picture
    // imported. Gives nothing, writing nothing, when the image already holds
    // these bytes; a dry run checks everything, the room for the file too, and
    // writes nothing.
    std::optional<PatchFileSaved> savePatchFile(const std::filesystem::path& file, bool dryRun = false);
    // Takes the last patch of the open image back and reads the image again.
    RestoreResult takeBackLastPatch();

    // The view's settings; they change nothing in the image's bytes. The console
    // view of an open disc whose game could not be read fails, staying off.
    void setConsoleView(bool on);
    void setPal(bool pal) { state_.pal = pal; }
    // A key given by the person, in place of the one worked out.
    void setKey(Byte key);
    // What the view shows: the logo the file holds, as stored or as the console
    // shows it.
    GreyPicture shownPicture() const;

    const EditorState& state() const { return state_; }
    bool imageOpen() const { return state_.imageOnDisk.has_value(); }

private:
    EditorState state_;
    std::string layout_;
    std::optional<ChdSummary> chd_;
    std::filesystem::path opened_;   // the path open was given: the image, or its CUE sheet
    std::filesystem::path picture_;  // the picture imported last
    std::optional<DiscImage> held_;  // the image, open and locked for the patch or patch file to come
    bool holdsForUpdate() const { return held_ && held_->access() == ImageAccess::Update; }
    // The image opened again, as it is not held: the one check that it is
    // unchanged since open read it (held, it is under its lock since).
    DiscImage reopen(ImageAccess access) const;
};

}  // namespace tolvane
