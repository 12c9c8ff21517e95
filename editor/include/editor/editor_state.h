// The editor: the state held between commands, and one handler per button.
#pragma once

#include "editor/window_operations.h"
#include "logo/picture/bitmap_exchange.h"
#include "logo/picture/picture_file.h"
#include "logo/disc/console_view.h"
#include "logo/disc/disc_image_layout.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace tolvane {

// Every field starts empty; a buffer's memory is not written until a command
// fills it, so that a command that needs few of them (as the command line's)
// touches no more.
struct EditorState {
    EditorState() {}  // provided, so that the empty buffers are not zeroed first either

    std::optional<ImagePrefix> imagePrefix;  // the image's first bytes, with an imported logo in its user data
    std::optional<SectorPayloads> sectorPayloads;
    std::optional<LogoImage> logo;
    std::optional<BitmapPixels> bitmapPixels;
    std::optional<BitmapHeader> bitmapHeader;
    std::filesystem::path imagePath;
    // The image's first bytes as they are in the file; Patch writes only over these.
    std::optional<ImagePrefix> imageOnDisk;
    // The game the open image holds, as far as its SYSTEM.CNF tells.
    DiscIdentity identity;
    // The key the disc's logo is stored with, as far as can be told.
    LogoKey key;
    // The view: the stored bytes as grey levels, or the picture the console shows
    // (in the PAL shape or the NTSC one).
    bool consoleView = false;
    bool pal = false;
    // How many logo sectors of imagePrefix got their EDC/ECC recomputed at the last import.
    std::size_t sectorsWithNewChecks = 0;
    // False for a file that shows nothing of a disc image; Patch asks before writing it.
    bool looksLikeDisc = true;
};

enum class PatchOutcome {
    Patched,
    NothingToPatch,  // the image already holds these bytes: nothing was written
    Declined,        // the person chose not to patch a file that does not look like a disc
    Failed,          // reported; nothing was written, or the message says what was
};

struct Enablement {
    bool saveBitmap = false;
    bool openBitmap = false;
    bool patch = false;
    friend bool operator==(const Enablement&, const Enablement&) = default;
};

class Editor {
public:
    explicit Editor(WindowOperations& window);

    void Form_Load();
    void bnouvimg_Click();
    void bnsauvbmp_Click();
    void bnouvbmp_Click();
    void bnpatch_Click();
    void bnquitter_Click();

    // The commands after their dialogs, for a path that came another way (a
    // dropped file, the command line). Each gives whether it succeeded; a failed
    // one has been reported and has changed nothing.
    bool openImage(const std::filesystem::path& path);
    bool saveBitmap(const std::filesystem::path& path);
    bool openBitmap(const std::filesystem::path& path);
    PatchOutcome patch();
    // Everything Patch checks and asks before it writes, without writing: gives
    // what Patch would do.
    PatchOutcome checkPatch();
    // Takes the last patch of the open image back, once the person says so: the
    // image holds the logo it had before that patch, the view shows it, and an
    // imported logo not yet patched is dropped. Gives whether it was taken back.
    bool takeBackLastPatch();

    // Switching the view redraws the logo; it changes nothing in the image bytes.
    void setConsoleView(bool on);
    void setPal(bool pal);
    // A key given by the person, in place of the one worked out.
    void setKey(Byte key);

    const EditorState& state() const { return *state_; }
    const Enablement& enablement() const { return enabled_; }
    bool isEnabled(Button button) const;

private:
    // Runs a command that works on locals and commits last; a failure is reported
    // with what was being done and leaves state and buttons as they were.
    template <typename Command>
    bool attempt(const std::string& doing, Command&& command);
    bool confirmNotADisc();
    void enable(const Enablement& next);
    void present();
    void importLogo(const std::filesystem::path& path, const ImportedBitmap& imported, const std::string& how);

    WindowOperations& window_;
    std::unique_ptr<EditorState> state_;
    Enablement enabled_;
    std::optional<LogoImage> shownLogo_;  // the logo of the last opened image: what the view shows
};

}  // namespace tolvane
