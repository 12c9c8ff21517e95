// The state the editor holds between commands: the open image's first bytes as
// the file holds them and as Patch would write them, the last bitmap header, the
// view's settings and where the edit cycle stands. Everything else is derived.
#pragma once

#include "logo/console/console_view.h"
#include "logo/disc/disc_image_layout.h"
#include "logo/picture/bitmap_exchange.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace tolvane {

struct EditorState {
    std::filesystem::path imagePath;  // for a CUE sheet, the file of its data track
    // The image's first bytes as Patch would write them: with an imported logo in
    // their user data and the check fields recomputed where they were valid.
    std::optional<ImagePrefix> imagePrefix;
    // The same bytes as the file holds them; Patch writes only over these.
    std::optional<ImagePrefix> imageOnDisk;
    // The header of the last bitmap saved or read.
    std::optional<BitmapHeader> bitmapHeader;
    // The game the open image holds, as far as its SYSTEM.CNF tells, and the key
    // its logo is stored with, as far as can be told.
    DiscIdentity identity;
    LogoKey key;
    // The view: the stored bytes as grey levels, or the picture the console shows
    // (in the PAL shape or the NTSC one).
    bool consoleView = false;
    bool pal = false;
    // False for a file that shows nothing of a disc image; Patch asks before writing it.
    bool looksLikeDisc = true;
    // How many logo sectors got their check fields recomputed at the last import.
    std::size_t sectorsWithNewChecks = 0;
    // Where the edit cycle stands: an image open and not patched since it was
    // opened (Save and Open Bitmap), and a bitmap read since the last Patch (Patch).
    bool editing = false;
    bool imported = false;

    // The logo Patch would write, its 12 sector payloads, and its rows as a
    // bitmap stores them (bottom row first): all read out of imagePrefix.
    LogoImage logo() const { return extractLogo(*imagePrefix).logo; }
    SectorPayloads sectorPayloads() const { return extractLogo(*imagePrefix).payloads; }
    std::vector<Byte> bitmapPixels() const { return toBitmapRows(pictureOf(logo())); }
};

// Which of the three switched buttons are enabled: Save Bitmap, Open Bitmap, Patch.
struct Enablement {
    bool saveBitmap = false;
    bool openBitmap = false;
    bool patch = false;
    friend bool operator==(const Enablement&, const Enablement&) = default;
};

// The buttons as the state gives them.
inline Enablement enablementOf(const EditorState& s) { return {s.editing, s.editing, s.imported}; }

enum class PatchOutcome {
    Patched,
    NothingToPatch,  // the image already holds these bytes: nothing was written
    Declined,        // the person chose not to patch a file that does not look like a disc
    Failed,          // reported; nothing was written, or the message says what was
};

}  // namespace tolvane
